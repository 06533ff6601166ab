#pragma once

#include "logfile/logfile.h"

// A clock that stands still at whatever time a test sets:
//   FakeClock clock;
//   clock.Set({2026, 12, 8, 14, 5, 9}); // 8 December 2026, 14:05:09
class FakeClock final : public logfile::Clock
{
public:
    FakeClock() = default;
    explicit FakeClock(const logfile::DateTime &now) : now_(now) {}

    logfile::DateTime Now() const override { return now_; }
    void Set(const logfile::DateTime &now) { now_ = now; }

private:
    logfile::DateTime now_;
};
