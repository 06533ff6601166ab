#pragma once

// Connects to a serial device server without holding up the event loop: the host's name is
// looked up in the background, each of its addresses is tried in turn with a connect that does
// not block, and the whole takes at most kLimit. The connected socket then is the receiver's.

#include "serial/NetworkAddress.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <string>

class QHostInfo;
class QSocketNotifier;

class NetworkConnector final : public QObject
{
    Q_OBJECT

public:
    // Long enough for a server across a slow network; short enough that a host that does not
    // answer is reported while the user still waits for it.
    static constexpr std::chrono::seconds kLimit{5};

    explicit NetworkConnector(NetworkAddress address, QObject *parent = nullptr);
    ~NetworkConnector() override;

signals:
    // Once, either of them. The socket is connected, non-blocking, and the receiver's to close.
    void Connected(int socket);
    void Failed(const std::string &reason);

private:
    void Resolved(const QHostInfo &info);
    void TryNext();
    void Check();
    void Fail(const std::string &reason);
    void Drop(bool closeSocket = true);

    NetworkAddress address_;
    int lookupId_ = -1;
    QList<QHostAddress> addresses_;
    int socket_ = -1;
    QSocketNotifier *watch_ = nullptr;
    std::string lastReason_;
    QTimer limit_;
};
