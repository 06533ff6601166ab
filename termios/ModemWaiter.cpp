#include "termios/ModemWaiter.h"

#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>

namespace
{

// The signal that interrupts a waiting thread. Its handler does nothing: what matters is that the
// wait returns EINTR, so it is installed without SA_RESTART.
int InterruptSignal()
{
    static const int signal = [] {
        struct sigaction action = {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(SIGRTMIN, &action, nullptr);
        return SIGRTMIN;
    }();
    return signal;
}

} // namespace

int ModemWaiter::WaitForCts(int fd)
{
    return ::ioctl(fd, TIOCMIWAIT, TIOCM_CTS);
}

ModemWaiter::ModemWaiter(int fd, Wait wait, QObject *parent) : QObject(parent)
{
    InterruptSignal();
    thread_ = std::thread([this, fd, wait = std::move(wait)] { Run(fd, wait); });
}

// The thread may be just about to wait when the signal comes: it is sent again until the thread
// has seen that it is to stop.
ModemWaiter::~ModemWaiter()
{
    stopping_ = true;
    while (!finished_) {
        pthread_kill(thread_.native_handle(), InterruptSignal());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread_.join();
}

void ModemWaiter::Run(int fd, const Wait &wait)
{
    while (!stopping_) {
        if (wait(fd) == 0) {
            QMetaObject::invokeMethod(this, &ModemWaiter::Changed, Qt::QueuedConnection);
            continue;
        }
        if (errno == EINTR)
            continue;
        // EIO: the device went away, which its reading reports; anything else: no such wait.
        if (errno != EIO)
            QMetaObject::invokeMethod(this, &ModemWaiter::Unsupported, Qt::QueuedConnection);
        break;
    }
    finished_ = true;
}
