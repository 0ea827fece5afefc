# the virtual port component on pty pairs, with the test as the application.
lumivex_add_test(test_virtual_port
    ${CMAKE_CURRENT_LIST_DIR}/VirtualPortTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/PortTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TerminalRate.cpp)
