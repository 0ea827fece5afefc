#pragma once
// One 50 ms timer for every session's heartbeat tick, instead of one timer per session. It
// runs only while some session has something to do on a tick (it is active, a light is lit,
// or a buffer holds bytes), so an idle program sleeps.

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
        std::function<void()> tick;
        std::function<bool()> needsTicks;
    };

    static SessionHeartbeat& instance();

    // key identifies the member for leave(); its functions are called on every tick.
    void join(const void* key, Member member);
    void leave(const void* key);
    // Starts the timer if it is idle; members call this when they get something to do.
    void wake();
    bool isRunning() const { return timer_.isActive(); }
    // While held the timer does not run, so that tests call the ticks themselves.
    void hold(bool held);
    // What the timer fires: every member's tick; the timer stops when none needs more.
    void tick();

private:
    SessionHeartbeat();

    QTimer timer_;
    bool held_ = false;
    std::vector<std::pair<const void*, Member>> members_;
};
