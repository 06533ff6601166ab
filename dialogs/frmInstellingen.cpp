#include "dialogs/frmInstellingen.h"

#include "dialogs/NetworkPortDialog.h"

#include "conversions/diversen.h"
#include "qtcommon/Charset.h"
#include "qtcommon/EditorLook.h"
#include "serial/NetworkAddress.h"
#include "serial/PortName.h"
#include "session/Session.h"
#include "settings/PortLists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QWheelEvent>

using EditorLook::Twips;

// A list that, while locked, still shows its item but cannot be opened or changed by the wheel
// or the keys; Tab still moves on.
class LockableComboBox final : public QComboBox
{
public:
    using QComboBox::QComboBox;

    void SetLocked(bool locked) { locked_ = locked; }
    bool IsLocked() const { return locked_; }

    void showPopup() override
    {
        if (!locked_)
            QComboBox::showPopup();
    }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        if (locked_)
            event->ignore();
        else
            QComboBox::wheelEvent(event);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (locked_)
            event->ignore();
        else
            QComboBox::keyPressEvent(event);
    }

private:
    bool locked_ = false;
};

namespace
{

const QColor kButtonFace(255, 224, 192);
// How many characters the user can type into the port box and into each start value box.
constexpr int kPortDigits = 2;
constexpr int kStartDigits = 4;

QLabel *AddLabel(QWidget *parent, int index, const QString &text, const QRect &where)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("Text1_%1").arg(index));
    label->setGeometry(where);
    return label;
}

// Typing limits are set with the text, by UpdateScherm.
QLineEdit *AddBox(QWidget *parent, int index, const QRect &where)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QStringLiteral("TxtInstelling_%1").arg(index));
    box->setGeometry(where);
    EditorLook::SetBackground(*box, Qt::white);
    return box;
}

template <std::size_t N>
LockableComboBox *AddList(QWidget *parent, const char *name, const PortLists::List<N> &items,
                          const QRect &where)
{
    auto *list = new LockableComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(where);
    for (const PortLists::Item &item : items.items)
        list->addItem(
            QString::fromLatin1(item.text.data(), static_cast<qsizetype>(item.text.size())));
    return list;
}

} // namespace

frmInstellingen::frmInstellingen(Session &session, QWidget *parent, SerialDeviceLister listDevices)
    : QWidget(parent, Qt::Dialog), session_(session), listDevices_(std::move(listDevices))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Setup"));
    setFixedSize(Twips(0, 0, 7185, 5205).size());
    EditorLook::UseLayoutFont(*this);
    BuildControls();

    buttons_.SetEditing(false);
    LockInputs();
    UpdateScherm();
    buttons_.edit->setFocus();
}

void frmInstellingen::BuildControls()
{
    AddLabel(this, 0, QStringLiteral("Comport:"), Twips(240, 120, 1695, 285));
    txtInstelling_[0] = AddBox(this, 0, Twips(2160, 120, 735, 285));
    labPoort_ = new QLabel(this);
    labPoort_->setObjectName(QStringLiteral("LabPoort"));
    labPoort_->setGeometry(Twips(3000, 120, 3675, 285));
    // The devices are read when the user opens the list, not before.
    buttonKiesPoort_ = new QToolButton(this);
    buttonKiesPoort_->setObjectName(QStringLiteral("ButtonKiesPoort"));
    buttonKiesPoort_->setGeometry(Twips(6720, 105, 375, 315));
    buttonKiesPoort_->setText(QStringLiteral("\u2026"));
    buttonKiesPoort_->setToolTip(QStringLiteral("Kies het apparaat voor deze poort"));
    buttonKiesPoort_->setPopupMode(QToolButton::InstantPopup);
    auto *devices = new QMenu(buttonKiesPoort_);
    devices->setObjectName(QStringLiteral("MenuApparaten"));
    buttonKiesPoort_->setMenu(devices);
    connect(devices, &QMenu::aboutToShow, this, &frmInstellingen::ListDevices);

    AddLabel(this, 1, QStringLiteral("LogFilePath:"), Twips(240, 480, 1695, 285));
    txtInstelling_[1] = AddBox(this, 1, Twips(2160, 480, 4935, 285));

    AddLabel(this, 2, QStringLiteral("Baudrate:"), Twips(240, 840, 1695, 285));
    comboBaudRate_ =
        AddList(this, "ComboBaudRate", PortLists::kBaudRates, Twips(2160, 840, 975, 315));
    comboParity_ = AddList(this, "ComboParity", PortLists::kParities, Twips(3360, 840, 615, 315));
    comboBits_ = AddList(this, "ComboBits", PortLists::kDataBits, Twips(4200, 840, 615, 315));
    comboStopBits_ =
        AddList(this, "ComboStopBits", PortLists::kStopBits, Twips(5040, 840, 615, 315));

    AddLabel(this, 11, QStringLiteral("HandShake:"), Twips(240, 1320, 1695, 285));
    comboHandShake_ =
        AddList(this, "ComBoHandShake", PortLists::kHandShakes, Twips(2160, 1320, 1935, 315));

    for (int i = 0; i < 5; ++i) {
        const int top = 1920 + 360 * i;
        AddLabel(this, 6 + i, QStringLiteral("StartCmd%1 (dec):").arg(i + 1),
                 Twips(240, top, 1695, 285));
        txtInstelling_[2 + i] = AddBox(this, 2 + i, Twips(2160, top, 735, 285));
    }

    AddLabel(this, 12, QStringLiteral("Ansi Log"), Twips(240, 3840, 1695, 285));
    checkAnsiLog_ = new QCheckBox(this);
    checkAnsiLog_->setObjectName(QStringLiteral("CheckAnsiLog"));
    checkAnsiLog_->setGeometry(Twips(2160, 3840, 615, 255));

    buttons_ = EditorLook::AddEditButtons(*this, 4680, 3240);
    for (QPushButton *button : buttons_.All())
        EditorLook::SetBackground(*button, kButtonFace);

    connect(txtInstelling_[0], &QLineEdit::textChanged, this, &frmInstellingen::ShowPortDevice);
    connect(checkAnsiLog_, &QCheckBox::toggled, this, &frmInstellingen::KeepCheckInViewMode);
    connect(buttons_.edit, &QPushButton::clicked, this, &frmInstellingen::OnEdit);
    connect(buttons_.cancel, &QPushButton::clicked, this, &frmInstellingen::OnCancel);
    connect(buttons_.save, &QPushButton::clicked, this, &frmInstellingen::OnSave);
    connect(buttons_.exit, &QPushButton::clicked, this, &QWidget::close);
}

void frmInstellingen::UpdateScherm()
{
    const SettingsRecord &record = session_.Settings();
    EditorLook::ShowStored(*txtInstelling_[0],
                           QString::fromStdString(diversen::NumberText(record.compoort)),
                           kPortDigits);
    txtInstelling_[1]->setText(FromWindows1252(record.logfilepath));
    const auto starts = record.Starts();
    for (std::size_t i = 0; i < starts.size(); ++i)
        EditorLook::ShowStored(*txtInstelling_[2 + i], FromWindows1252(*starts[i]), kStartDigits);

    comboHandShake_->setCurrentIndex(PortLists::kHandShakes.ShownIndex(record.HandShake));
    comboParity_->setCurrentIndex(PortLists::kParities.ShownIndex(record.parity));
    comboStopBits_->setCurrentIndex(PortLists::kStopBits.ShownIndex(record.stopbits));
    comboBits_->setCurrentIndex(PortLists::kDataBits.ShownIndex(record.bits));
    comboBaudRate_->setCurrentIndex(PortLists::kBaudRates.ShownIndex(record.baudrate));
    checkAnsiLog_->setChecked(record.AnsiLogMode);
}

Session::Saved frmInstellingen::SchermNaarVariabelen()
{
    SettingsRecord record = session_.Settings();
    record.compoort = PortInBox();
    record.logfilepath = ToWindows1252(txtInstelling_[1]->text());
    record.baudrate = static_cast<std::int16_t>(comboBaudRate_->currentIndex());
    record.parity = static_cast<std::int16_t>(comboParity_->currentIndex());
    record.stopbits = static_cast<std::int16_t>(comboStopBits_->currentIndex());
    record.bits = static_cast<std::int16_t>(comboBits_->currentIndex());
    const auto starts = record.Starts();
    for (std::size_t i = 0; i < starts.size(); ++i)
        *starts[i] = ToWindows1252(txtInstelling_[2 + i]->text());
    record.HandShake = static_cast<std::int16_t>(comboHandShake_->currentIndex());
    record.AnsiLogMode = checkAnsiLog_->isChecked();
    const Session::Saved saved =
        session_.ApplySettings(record, QFile::encodeName(chosenDevice_).toStdString());
    chosenDevice_.clear();
    return saved;
}

void frmInstellingen::LockInputs()
{
    SetInputsLocked(true);
}

void frmInstellingen::UnLockInputs()
{
    SetInputsLocked(false);
}

void frmInstellingen::SetInputsLocked(bool locked)
{
    for (LockableComboBox *list :
         {comboHandShake_, comboBaudRate_, comboParity_, comboBits_, comboStopBits_}) {
        list->SetLocked(locked);
        EditorLook::SetTextGrey(*list, locked);
    }
    for (QLineEdit *box : txtInstelling_)
        EditorLook::SetBoxLocked(*box, locked);
    checkAnsiLog_->setEnabled(!locked);
    buttonKiesPoort_->setEnabled(!locked);
}

// In view mode the check box always shows the record, whatever clicked or set it.
void frmInstellingen::KeepCheckInViewMode()
{
    const bool stored = session_.Settings().AnsiLogMode;
    if (comboHandShake_->IsLocked() && checkAnsiLog_->isChecked() != stored)
        checkAnsiLog_->setChecked(stored);
}

// The number typed into the port box; no number, or one out of range, is port 0.
std::int16_t frmInstellingen::PortInBox() const
{
    return diversen::ReadDecimal(ToWindows1252(txtInstelling_[0]->text())).value_or(0);
}

// On Linux "3" says little: show the device the number stands for and whether it is there.
void frmInstellingen::ShowPortDevice()
{
    const std::int16_t port = PortInBox();
    if (port < kFirstPort || port > kLastPort) {
        labPoort_->setText(QStringLiteral("geen poort (1..25)"));
        labPoort_->setToolTip({});
        return;
    }
    const QString builtIn = QFile::decodeName(BuiltInPortPath(port).c_str());
    const auto linkedTo = [port](const QString &target) {
        return QStringLiteral("= ports/com%1 \u2192 %2").arg(port).arg(target);
    };
    QString text;
    if (chosenDevice_ == builtIn) {
        text = QStringLiteral("= ") + builtIn;
    } else if (!chosenDevice_.isEmpty()) {
        text = linkedTo(chosenDevice_);
    } else {
        const std::string path = PortDevicePath(session_.ProgramFolder(), port);
        const QFileInfo info(QFile::decodeName(path.c_str()));
        // A link's text is an address as it stands, not a path to resolve.
        const std::optional<NetworkAddress> server = NetworkAddressAt(path);
        text = server             ? linkedTo(QString::fromStdString(server->Text()))
               : info.isSymLink() ? linkedTo(info.symLinkTarget())
                                  : QStringLiteral("= ") + info.filePath();
        if (!server && !info.exists())
            text += QStringLiteral(" (niet gevonden)");
    }
    labPoort_->setText(text);
    labPoort_->setToolTip(text);
}

void frmInstellingen::ListDevices()
{
    QMenu *menu = buttonKiesPoort_->menu();
    menu->clear();
    const std::vector<SerialDevice> devices = listDevices_();
    for (const SerialDevice &device : devices) {
        const QString text =
            device.description.isEmpty()
                ? device.path
                : device.path + QStringLiteral("  (") + device.description + QStringLiteral(")");
        connect(menu->addAction(text), &QAction::triggered, this,
                [this, path = device.path] { ChooseDevice(path); });
    }
    if (devices.empty())
        menu->addAction(QStringLiteral("geen seri\u00eble apparaten gevonden"))->setEnabled(false);
    menu->addSeparator();
    QAction *network = menu->addAction(QStringLiteral("Netwerkpoort (RFC 2217 of TCP)\u2026"));
    network->setObjectName(QStringLiteral("ActionNetwerkpoort"));
    connect(network, &QAction::triggered, this, &frmInstellingen::ChooseNetworkPort);
}

// Starts with the server the port names now, the one chosen or else its link's.
void frmInstellingen::ChooseNetworkPort()
{
    std::optional<NetworkAddress> current = ParseNetworkAddress(chosenDevice_.toStdString());
    if (!current && chosenDevice_.isEmpty())
        current = NetworkAddressAt(PortDevicePath(session_.ProgramFolder(), PortInBox()));
    auto *dialog = new NetworkPortDialog(current, this);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { ChooseDevice(QString::fromStdString(dialog->Address().Text())); });
    dialog->open();
}

void frmInstellingen::ChooseDevice(const QString &path)
{
    chosenDevice_ = path;
    ShowPortDevice();
}

void frmInstellingen::OnEdit()
{
    buttons_.SetEditing(true);
    UnLockInputs();
}

void frmInstellingen::OnCancel()
{
    chosenDevice_.clear();
    buttons_.SetEditing(false);
    LockInputs();
    UpdateScherm();
    ShowPortDevice();
}

// The boxes by the names of their labels.
std::vector<EditorLook::NamedEntry> frmInstellingen::Entries() const
{
    std::vector<EditorLook::NamedEntry> entries = {
        {QStringLiteral("Comport"), txtInstelling_[0]->text()},
        {QStringLiteral("LogFilePath"), txtInstelling_[1]->text()}};
    for (int i = 2; i < static_cast<int>(txtInstelling_.size()); ++i)
        entries.push_back({QStringLiteral("StartCmd%1").arg(i - 1), txtInstelling_[i]->text()});
    return entries;
}

// The session saves and reopens the port in one go, so no receive tick falls in between; a
// failed save is reported only after the port is back. Entries that the settings file cannot
// hold save nothing and stay in edit mode to be corrected.
void frmInstellingen::OnSave()
{
    if (!EditorLook::Storable(this, Entries()))
        return;
    const Session::Saved saved = SchermNaarVariabelen();
    buttons_.SetEditing(false);
    LockInputs();
    ShowPortDevice();
    if (!saved.link.ok)
        EditorLook::ReportFailure(this,
                                  QStringLiteral("Poort niet gekoppeld, de poort blijft dicht"),
                                  saved.link.path, saved.link.reason);
    else if (!saved.link.synced)
        EditorLook::ReportFailure(this,
                                  QStringLiteral("Poort gekoppeld, nog niet vastgelegd op schijf"),
                                  saved.link.path, saved.link.reason);
    EditorLook::ReportSaveFailure(this, saved.settings);
}
