#include "tests/support/OpenDescriptors.h"

#include <cstdlib>
#include <dirent.h>
#include <limits.h>
#include <unistd.h>

OpenDescriptors openDescriptors() {
    OpenDescriptors open;
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder)
        return open;
    const int own = ::dirfd(folder); // the listing's own descriptor is no one's leak
    while (const dirent* entry = ::readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || end == entry->d_name || fd == own)
            continue;
        char target[PATH_MAX];
        const std::string link = "/proc/self/fd/" + std::string(entry->d_name);
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        open[static_cast<int>(fd)] = n < 0 ? std::string("?") : std::string(target, size_t(n));
    }
    ::closedir(folder);
    return open;
}

std::string descriptorsOpened(const OpenDescriptors& before, const OpenDescriptors& after) {
    std::string opened;
    for (const auto& [fd, target] : after) {
        const auto old = before.find(fd);
        if (old == before.end() || old->second != target)
            opened += "fd " + std::to_string(fd) + " -> " + target + "\n";
    }
    return opened;
}
