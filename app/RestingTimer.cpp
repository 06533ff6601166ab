#include "app/RestingTimer.h"

#include "session/Session.h"

RestingTimer::RestingTimer(std::chrono::milliseconds interval, Tick tick, QObject *parent)
    : QObject(parent), interval_(interval), tick_(std::move(tick))
{
    connect(&timer_, &QTimer::timeout, this, &RestingTimer::RunTick);
}

void RestingTimer::Wake()
{
    if (!ended_ && Resting())
        timer_.start(interval_);
}

void RestingTimer::End()
{
    ended_ = true;
    timer_.stop();
}

void RestingTimer::RunTick()
{
    const std::chrono::milliseconds rest = tick_();
    if (ended_)
        return;
    if (rest == Session::kRestUntilActivity)
        timer_.stop();
    else if (rest > interval_)
        timer_.start(rest);
    else if (timer_.interval() != interval_.count())
        timer_.start(interval_); // after a rest, back at the interval
}
