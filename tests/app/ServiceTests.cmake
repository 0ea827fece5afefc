# The service unit, the service manager notification and the autostart entry.
lumivex_add_test(test_service ServiceTests.cpp)
