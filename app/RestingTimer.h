#pragma once

// A front end's tick that runs at its interval while it has work and rests when it has none, so
// that a quiet program wakes nobody. Each tick says how long it may rest: none (the next tick
// comes at the interval), a time (a lost port's next attempt), or Session::kRestUntilActivity
// (until Wake). Wake brings the next tick within the interval: bytes arrived, a loss, a click.
// End stops it for good: a wake or a tick that comes after (a message box's own event loop may
// run one) starts nothing.

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class RestingTimer final : public QObject
{
public:
    using Tick = std::function<std::chrono::milliseconds()>;

    RestingTimer(std::chrono::milliseconds interval, Tick tick, QObject *parent = nullptr);

    void Wake();
    void End();
    bool Resting() const { return !timer_.isActive() || timer_.interval() > interval_.count(); }

private:
    void RunTick();

    std::chrono::milliseconds interval_;
    Tick tick_;
    QTimer timer_;
    bool ended_ = false;
};
