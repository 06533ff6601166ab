#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <chrono>

// Runs the event loop as the program does, blocking until something happens, until `done` or the
// timeout. QTest::qWaitFor sleeps between rounds, which would throttle a fast device to a few
// kilobytes per round.
template <typename Predicate>
bool RunEventLoopUntil(Predicate done, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}
