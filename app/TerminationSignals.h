#pragma once

// Brings SIGTERM, SIGINT and SIGHUP (shutdown, Ctrl+C, log-out) into the event loop, so that the
// program can end the ordinary way: the signal handler only writes one byte to a socket pair,
// and a socket notifier on the other end emits Received() on the user-interface thread.

#include <QObject>

class QSocketNotifier;

class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the socket pair or a handler could not be set up; the signals then keep their
    // default action.
    bool IsActive() const { return notifier_ != nullptr; }

signals:
    void Received();

private:
    void Drain();

    QSocketNotifier *notifier_ = nullptr;
};
