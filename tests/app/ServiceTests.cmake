# ServiceTests
lumivex_add_test(ServiceTests
    AutoStartTests.cpp
    ServiceControlTests.cpp
    ServiceNotifyTests.cpp)
