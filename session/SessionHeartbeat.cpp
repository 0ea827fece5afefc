#include "session/SessionHeartbeat.h"

#include <algorithm>

SessionHeartbeat& SessionHeartbeat::instance() {
    static SessionHeartbeat heartbeat;
    return heartbeat;
}

SessionHeartbeat::SessionHeartbeat() {
    timer_.setInterval(interval);
    connect(&timer_, &QTimer::timeout, this, &SessionHeartbeat::tick);
}

void SessionHeartbeat::join(const void* key, Member member) {
    members_.emplace_back(key, std::move(member));
}

void SessionHeartbeat::leave(const void* key) {
    std::erase_if(members_, [key](const auto& m) { return m.first == key; });
}

void SessionHeartbeat::wake() {
    if (!held_ && !timer_.isActive())
        timer_.start();
}

void SessionHeartbeat::hold(bool held) {
    held_ = held;
    if (held)
        timer_.stop();
}

void SessionHeartbeat::tick() {
    // A tick may close a session (and so leave): walk a copy of the keys.
    std::vector<const void*> keys;
    keys.reserve(members_.size());
    for (const auto& m : members_)
        keys.push_back(m.first);
    bool busy = false;
    for (const void* key : keys) {
        auto it = std::find_if(members_.begin(), members_.end(),
                               [key](const auto& m) { return m.first == key; });
        if (it == members_.end())
            continue;
        const Member member = it->second;
        member.tick();
        busy = busy || member.needsTicks();
    }
    if (!busy)
        timer_.stop();
}
