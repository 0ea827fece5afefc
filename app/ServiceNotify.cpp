#include "app/ServiceNotify.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/UnixSocketAddress.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

bool notifyServiceManager(const QByteArray& state) {
    // An absolute path or an abstract name; anything else is not a service manager's socket.
    const QByteArray name = qgetenv("NOTIFY_SOCKET");
    const UnixSocketPath address(name);
    if (!(name.startsWith('/') || name.startsWith('@')) || !address.valid())
        return false;
    const UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket)
        return false;
    ssize_t sent = -1;
    do {
        sent = ::sendto(socket.get(), state.constData(), std::size_t(state.size()), MSG_NOSIGNAL,
                        address.get(), address.length());
    } while (sent < 0 && errno == EINTR);
    return sent == state.size();
}

void reportServiceRunning() {
    notifyServiceManager("READY=1");
}

void reportServiceStopping() {
    notifyServiceManager("STOPPING=1");
}
