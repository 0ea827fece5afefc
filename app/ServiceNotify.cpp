#include "app/ServiceNotify.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Owns the datagram socket for one message.
class Socket {
public:
    Socket()
        : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Fills `address` from the variable's text; false when the name does not fit.
bool socketAddress(const QByteArray& name, sockaddr_un* address, socklen_t* length) {
    const bool abstract = name.startsWith('@');
    if (name.size() < 2 && abstract)
        return false;
    if (name.isEmpty() || (name[0] != '/' && !abstract))
        return false;
    if (std::size_t(name.size()) >= sizeof address->sun_path)
        return false;
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, name.constData(), std::size_t(name.size()));
    if (abstract)
        address->sun_path[0] = '\0'; // an abstract name has no terminating NUL
    *length =
        socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(name.size()) + (abstract ? 0 : 1));
    return true;
}

} // namespace

bool notifyServiceManager(const QByteArray& state) {
    const QByteArray name = qgetenv("NOTIFY_SOCKET");
    sockaddr_un address{};
    socklen_t length = 0;
    if (!socketAddress(name, &address, &length))
        return false;
    const Socket socket;
    if (socket.get() < 0)
        return false;
    ssize_t sent = -1;
    do {
        sent = ::sendto(socket.get(), state.constData(), std::size_t(state.size()), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length);
    } while (sent < 0 && errno == EINTR);
    return sent == state.size();
}

void reportServiceRunning() {
    notifyServiceManager("READY=1");
}

void reportServiceStopping() {
    notifyServiceManager("STOPPING=1");
}
