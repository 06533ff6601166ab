#include "dialogs/NetworkPortDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

NetworkPortDialog::NetworkPortDialog(const std::optional<NetworkAddress> &current, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DialogNetwerkpoort"));
    setWindowTitle(QStringLiteral("Netwerkpoort"));
    setAttribute(Qt::WA_DeleteOnClose);
    host_ = new QLineEdit(this);
    host_->setObjectName(QStringLiteral("TxtHost"));
    port_ = new QLineEdit(this);
    port_->setObjectName(QStringLiteral("TxtPoortnummer"));
    protocol_ = new QComboBox(this);
    protocol_->setObjectName(QStringLiteral("ComboProtocol"));
    // In the order of NetworkAddress::Protocol.
    protocol_->addItems({QStringLiteral("RFC 2217 (telnet, met instellingen)"),
                         QStringLiteral("TCP (alleen de bytes)")});
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("LabProbleem"));
    if (current) {
        host_->setText(QString::fromStdString(current->host));
        port_->setText(QString::number(current->port));
        protocol_->setCurrentIndex(static_cast<int>(current->protocol));
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkPortDialog::Check);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Host:"), host_);
    form->addRow(QStringLiteral("Poortnummer:"), port_);
    form->addRow(QStringLiteral("Protocol:"), protocol_);
    form->addRow(problem_);
    form->addRow(buttons);
}

NetworkAddress NetworkPortDialog::Address() const
{
    return {static_cast<NetworkAddress::Protocol>(protocol_->currentIndex()),
            host_->text().trimmed().toStdString(),
            static_cast<std::uint16_t>(port_->text().trimmed().toUInt())};
}

void NetworkPortDialog::Check()
{
    const std::string problem = NetworkAddressProblem(host_->text().trimmed().toStdString(),
                                                      port_->text().trimmed().toStdString());
    if (problem.empty()) {
        accept();
        return;
    }
    problem_->setText(QStringLiteral("Niet te gebruiken: ") + QString::fromStdString(problem));
}
