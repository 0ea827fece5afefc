#include "tests/support/OpenDescriptors.h"

#include <filesystem>
#include <vector>

OpenDescriptors openDescriptors() {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", error))
        names.push_back(entry.path().filename().string());
    // The listing's own descriptor is closed by now: its link is gone, and it is no one's leak.
    OpenDescriptors open;
    for (const std::string& name : names) {
        const fs::path target = fs::read_symlink("/proc/self/fd/" + name, error);
        if (!error)
            open[std::stoi(name)] = target.string();
    }
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
