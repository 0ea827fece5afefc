# The socket element, the socket array, error numbers and local addresses.
lumivex_add_test(test_sockets SocketTestPeers.h SocketTcpTests.cpp SocketUdpTests.cpp)
# Datagrams the kernel refuses for want of buffer space: on a loopback slowed down in a
# network namespace of its own, where a fast sender fills its send buffer.
add_test(NAME test_sockets_slow_loopback
    COMMAND ${PROJECT_SOURCE_DIR}/tests/net/in-own-network.sh --slow-loopback
        $<TARGET_FILE:test_sockets> --gtest_filter=Udp.DatagramsTheKernelRefuses*)
set_tests_properties(test_sockets_slow_loopback PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMIVEX_HEADLESS=1;LUMIVEX_SLOW_LOOPBACK=1")
