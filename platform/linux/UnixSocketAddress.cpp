#include "platform/linux/UnixSocketAddress.h"

#include <cstddef>
#include <cstring>

std::optional<UnixSocketAddress> unixSocketAddress(const QByteArray& name) {
    const bool abstract = name.startsWith('@');
    UnixSocketAddress result{};
    if (name.size() < (abstract ? 2 : 1) ||
        static_cast<std::size_t>(name.size()) >= sizeof result.address.sun_path)
        return std::nullopt;
    result.address.sun_family = AF_UNIX;
    std::memcpy(result.address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    if (abstract)
        result.address.sun_path[0] = '\0'; // an abstract name has no terminating NUL
    result.length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                               static_cast<std::size_t>(name.size()) + (abstract ? 0 : 1));
    return result;
}
