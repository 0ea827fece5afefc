# The socket element, the socket array, error numbers and local addresses.
lumivex_add_test(test_sockets
    SocketTestPeers.h
    SocketTcpTests.cpp
    SocketServerTests.cpp
    SocketUdpTests.cpp
    SocketContractTests.cpp)
