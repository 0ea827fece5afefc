#include "platform/linux/UnixSocketAddress.h"

#include <cstddef>
#include <cstring>
#include <fcntl.h>

UnixSocketPath::UnixSocketPath(const QByteArray& name)
    : name_(name) {
    const qsizetype slash = name.lastIndexOf('/');
    if (setAddress(name) || name.startsWith('@') || slash < 0)
        return;
    const QByteArray folder = slash == 0 ? QByteArray("/") : name.left(slash);
    folder_.reset(::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder_)
        return;
    name_ = "/proc/self/fd/" + QByteArray::number(folder_.get()) + name.mid(slash);
    setAddress(name_);
}

bool UnixSocketPath::setAddress(const QByteArray& name) {
    const bool abstract = name.startsWith('@');
    if (name.size() < (abstract ? 2 : 1) ||
        static_cast<std::size_t>(name.size()) >= sizeof address_.sun_path)
        return false;
    address_.sun_family = AF_UNIX;
    std::memcpy(address_.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    if (abstract)
        address_.sun_path[0] = '\0'; // an abstract name has no terminating NUL
    length_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                     static_cast<std::size_t>(name.size()) + (abstract ? 0 : 1));
    return true;
}
