#pragma once

// Waits for a device's CTS to change without polling it: a thread of its own sits in the
// driver's TIOCMIWAIT and posts each change to the event loop. It shares nothing with the port
// but the descriptor it waits on, which the port keeps open until the waiter is gone. A driver
// that cannot wait says so once (Unsupported); the port then reads the lines at every lamp tick.

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

class ModemWaiter final : public QObject
{
    Q_OBJECT

public:
    // Blocks until the line changes: 0, or -1 with errno (EINTR when interrupted). The real one is
    // TIOCMIWAIT on CTS; a test gives its own.
    using Wait = std::function<int(int fd)>;
    static int WaitForCts(int fd);

    explicit ModemWaiter(int fd, Wait wait = WaitForCts, QObject *parent = nullptr);
    // Interrupts the wait and joins the thread.
    ~ModemWaiter() override;
    ModemWaiter(const ModemWaiter &) = delete;
    ModemWaiter &operator=(const ModemWaiter &) = delete;

signals:
    void Changed();
    void Unsupported();

private:
    void Run(int fd, const Wait &wait);

    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};
