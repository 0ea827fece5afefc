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
    if (held_)
        return;
    // From a stop the periods count afresh; from a long sleep the time slept still counts.
    if (!timer_.isActive())
        sinceLastTick_.start();
    if (!timer_.isActive() || timer_.intervalAsDuration() > interval)
        timer_.start(interval);
}

void SessionHeartbeat::hold(bool held) {
    held_ = held;
    if (held)
        timer_.stop();
}

int SessionHeartbeat::periodsSinceLastTick() const {
    if (!sinceLastTick_.isValid())
        return 1;
    const qint64 periods = (sinceLastTick_.elapsed() + interval.count() / 2) / interval.count();
    return int(std::clamp<qint64>(periods, 1, std::numeric_limits<int>::max()));
}

void SessionHeartbeat::tick() {
    const int periods = periodsSinceLastTick();
    sinceLastTick_.start();
    // A tick may close a session (and so leave): walk a copy of the keys.
    std::vector<const void*> keys;
    keys.reserve(members_.size());
    for (const auto& m : members_)
        keys.push_back(m.first);
    int due = 0;
    for (const void* key : keys) {
        auto it = std::find_if(members_.begin(), members_.end(),
                               [key](const auto& m) { return m.first == key; });
        if (it == members_.end())
            continue;
        const Member member = it->second;
        member.tick(periods);
        if (const int next = member.ticksUntilDue(); next > 0)
            due = due == 0 ? next : std::min(due, next);
    }
    if (due == 0)
        timer_.stop();
    else if (!held_)
        timer_.start(interval * due);
}
