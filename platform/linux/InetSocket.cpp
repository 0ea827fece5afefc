#include "platform/linux/InetSocket.h"

#include "platform/WinsockErrors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>

UniqueFd bindInetSocket(int type, const QHostAddress& address, int port, ComponentResult& failure) {
    UniqueFd fd(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        failure = winsockFailureFromErrno(errno);
        return {};
    }
    if (type == SOCK_STREAM) {
        const int on = 1;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    const sockaddr_in local = inetAddress(address, port);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        failure = winsockFailureFromErrno(errno);
        return {};
    }
    failure = ComponentResult::success();
    return fd;
}

int localPortOf(int fd) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

sockaddr_in inetAddress(const QHostAddress& address, int port) {
    sockaddr_in inet{};
    inet.sin_family = AF_INET;
    inet.sin_port = htons(quint16(port));
    inet.sin_addr.s_addr = htonl(address.toIPv4Address());
    return inet;
}

QHostAddress hostOf(const sockaddr_in& address) {
    return QHostAddress(ntohl(address.sin_addr.s_addr));
}
