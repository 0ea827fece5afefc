# the serial port component on test-made pty pairs, its settings text and the
# COMn names.
lumivex_add_test(test_serial_port
    ${CMAKE_CURRENT_LIST_DIR}/SerialPortTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/PortTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TerminalRate.cpp)
