#pragma once
// One 50 ms timer for every session's heartbeat tick, instead of one timer per session. It
// runs only while some session has something to do: every 50 ms while one has (a light is
// lit, bytes are held), and otherwise it sleeps until the next tick that one is waiting for
// (a link monitor's next ping pass), so that an idle program wakes rarely or not at all.
// Each tick tells the members how many periods have gone by since the last one.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <vector>

class SessionHeartbeat : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds interval{50};

    struct Member {
        // periods: heartbeat periods since the member's last tick, at least 1.
        std::function<void(int periods)> tick;
        // In how many periods the member next has something to do: 1 for every tick, 0 for
        // nothing until it wakes the heartbeat again.
        std::function<int()> ticksUntilDue;
    };

    static SessionHeartbeat& instance();

    // key identifies the member for leave().
    void join(const void* key, Member member);
    void leave(const void* key);
    // Ticks again within one period; members call this when they get something to do.
    void wake();
    bool isRunning() const { return timer_.isActive(); }
    // When the next tick comes, while running.
    std::chrono::milliseconds nextTickIn() const { return timer_.intervalAsDuration(); }
    // While held the timer does not run, so that tests call the ticks themselves.
    void hold(bool held);
    // What the timer fires: every member's tick, then sleep until the next one is due.
    void tick();

private:
    SessionHeartbeat();
    int periodsSinceLastTick() const;

    QTimer timer_;
    QElapsedTimer sinceLastTick_;
    bool held_ = false;
    std::vector<std::pair<const void*, Member>> members_;
};
