#include "platform/linux/TcpKeepAlive.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

bool set(int fd, int level, int option, int value) {
    return ::setsockopt(fd, level, option, &value, sizeof value) == 0;
}

} // namespace

bool TcpKeepAlive::apply(int fd) {
    using std::chrono::seconds;
    return set(fd, SOL_SOCKET, SO_KEEPALIVE, 1) &&
           set(fd, IPPROTO_TCP, TCP_KEEPIDLE, int(seconds(idle).count())) &&
           set(fd, IPPROTO_TCP, TCP_KEEPINTVL, int(seconds(interval).count())) &&
           set(fd, IPPROTO_TCP, TCP_KEEPCNT, probes) &&
           set(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, int(userTimeout.count()));
}
