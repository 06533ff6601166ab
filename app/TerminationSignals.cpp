#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr std::array kSignals = {SIGTERM, SIGINT, SIGHUP};

// A signal handler can reach nothing but a global; it is set once, before any handler exists.
int signalWriteFd = -1;
int signalReadFd = -1;

void OnSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // Non-blocking: when the socket is full a byte is waiting already, and that is enough.
    [[maybe_unused]] const ssize_t ignored = ::write(signalWriteFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    int fds[2];
    if (signalWriteFd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    signalWriteFd = fds[0];
    signalReadFd = fds[1];
    ::fcntl(signalWriteFd, F_SETFL, ::fcntl(signalWriteFd, F_GETFL) | O_NONBLOCK);
    ::fcntl(signalReadFd, F_SETFL, ::fcntl(signalReadFd, F_GETFL) | O_NONBLOCK);

    notifier_ = new QSocketNotifier(signalReadFd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::Drain);

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    delete notifier_;
    ::close(signalWriteFd);
    ::close(signalReadFd);
    signalWriteFd = -1;
    signalReadFd = -1;
}

void TerminationSignals::Drain()
{
    char bytes[16];
    bool received = false;
    while (::read(signalReadFd, bytes, sizeof bytes) > 0)
        received = true;
    if (received)
        emit Received();
}
