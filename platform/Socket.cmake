# The socket element and the session's socket array.
target_sources(lumivex_core PRIVATE
    Socket.h
    WinsockErrors.h WinsockErrors.cpp
    PendingConnections.h PendingConnections.cpp
    QtSocket.h QtSocket.cpp QtSocketTcp.cpp QtSocketUdp.cpp
    SocketArray.h SocketArray.cpp)
