# The socket element, the socket array, error numbers and local addresses.
lumivex_add_test(socket_tests
    SocketTestPeers.h
    SocketTcpTests.cpp
    SocketServerTests.cpp
    SocketUdpTests.cpp
    SocketContractTests.cpp)
