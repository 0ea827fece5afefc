# The socket element (one role object at a time) and the session's socket array.
target_sources(lumivex_platform PRIVATE
    Socket.h
    WinsockErrors.h WinsockErrors.cpp
    PendingConnections.h PendingConnections.cpp
    QtSocket.h QtSocket.cpp
    SocketEvents.h SocketRole.h
    TcpStream.h TcpStream.cpp
    StreamCloser.h StreamCloser.cpp
    TcpListener.h TcpListener.cpp
    UdpEndpoint.h UdpEndpoint.cpp
    linux/InetSocket.h linux/InetSocket.cpp
    linux/TcpKeepAlive.h linux/TcpKeepAlive.cpp
    SocketArray.h SocketArray.cpp)
