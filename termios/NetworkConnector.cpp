#include "termios/NetworkConnector.h"

#include <QHostInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace
{

std::string SystemMessage(int error)
{
    return std::system_category().message(error);
}

// A cable pulled out of a quiet line is noticed within half a minute, and a server that stops
// taking what is sent likewise; a typed character goes out at once, not held for more.
void SetUpConnected(int socket)
{
    const int on = 1;
    const int idleSeconds = 10;
    const int probeSeconds = 5;
    const int probes = 3;
    const unsigned int unacknowledgedMs = 30000;
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &probeSeconds, sizeof probeSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

NetworkConnector::NetworkConnector(NetworkAddress address, QObject *parent)
    : QObject(parent), address_(std::move(address))
{
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        Fail(lastReason_.empty() ? "no answer within " + std::to_string(kLimit.count()) + " s"
                                 : lastReason_);
    });
    limit_.start(kLimit);
    const QString host = QString::fromStdString(address_.host);
    if (QHostAddress numeric; numeric.setAddress(host)) {
        addresses_ = {numeric};
        QMetaObject::invokeMethod(this, &NetworkConnector::TryNext, Qt::QueuedConnection);
    } else {
        lookupId_ = QHostInfo::lookupHost(host, this, &NetworkConnector::Resolved);
    }
}

NetworkConnector::~NetworkConnector()
{
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    Drop();
}

void NetworkConnector::Resolved(const QHostInfo &info)
{
    lookupId_ = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        Fail("host not found: " + info.errorString().toStdString());
        return;
    }
    addresses_ = info.addresses();
    TryNext();
}

// The addresses in the order the system gave them; the reason of the last one that failed is
// what is reported when none connects.
void NetworkConnector::TryNext()
{
    while (!addresses_.isEmpty()) {
        const QHostAddress address = addresses_.takeFirst();
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            auto &in = reinterpret_cast<sockaddr_in &>(storage);
            in.sin_family = AF_INET;
            in.sin_port = htons(address_.port);
            in.sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof in;
        } else {
            auto &in6 = reinterpret_cast<sockaddr_in6 &>(storage);
            in6.sin6_family = AF_INET6;
            in6.sin6_port = htons(address_.port);
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::copy(std::begin(bytes.c), std::end(bytes.c), in6.sin6_addr.s6_addr);
            in6.sin6_scope_id = address.scopeId().toUInt();
            length = sizeof in6;
        }
        socket_ = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket_ < 0) {
            lastReason_ = SystemMessage(errno);
            continue;
        }
        if (::connect(socket_, reinterpret_cast<sockaddr *>(&storage), length) == 0) {
            Check();
            return;
        }
        if (errno == EINPROGRESS) {
            watch_ = new QSocketNotifier(socket_, QSocketNotifier::Write, this);
            connect(watch_, &QSocketNotifier::activated, this, &NetworkConnector::Check);
            return;
        }
        lastReason_ = SystemMessage(errno);
        Drop();
    }
    Fail(lastReason_);
}

void NetworkConnector::Check()
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        lastReason_ = SystemMessage(error);
        Drop();
        TryNext();
        return;
    }
    Drop(false);
    limit_.stop();
    SetUpConnected(socket_);
    emit Connected(std::exchange(socket_, -1));
}

void NetworkConnector::Fail(const std::string &reason)
{
    limit_.stop();
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(std::exchange(lookupId_, -1));
    Drop();
    addresses_.clear();
    emit Failed(reason);
}

// The watch may be the one whose event runs now: it goes from the event loop.
void NetworkConnector::Drop(bool closeSocket)
{
    if (watch_) {
        watch_->setEnabled(false);
        watch_->deleteLater();
        watch_ = nullptr;
    }
    if (closeSocket && socket_ >= 0)
        ::close(std::exchange(socket_, -1));
}
