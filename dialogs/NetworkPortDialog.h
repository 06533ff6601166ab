#pragma once

// "Netwerkpoort": a port on a serial device server, as host, port number and protocol. OK is
// checked before the dialog closes: what cannot make an address is named and the dialog stays.

#include "serial/NetworkAddress.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;

class NetworkPortDialog final : public QDialog
{
    Q_OBJECT

public:
    // Starts with `current` when the port names a server already.
    NetworkPortDialog(const std::optional<NetworkAddress> &current, QWidget *parent);

    // The address typed; valid once the dialog was accepted.
    NetworkAddress Address() const;

private:
    void Check();

    QLineEdit *host_ = nullptr;
    QLineEdit *port_ = nullptr;
    QComboBox *protocol_ = nullptr;
    QLabel *problem_ = nullptr;
};
