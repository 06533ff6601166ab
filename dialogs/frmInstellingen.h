#pragma once

#include "qtcommon/EditorLook.h"
#include "session/Session.h"
#include "settings/LeesIniFile.h"
#include "termios/SerialDevices.h"

#include <QWidget>

#include <array>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;
class LockableComboBox;

// "Setup": the port and logging settings of the record. Opens in view mode with every entry
// locked and grey; Edit unlocks them, Cancel reloads them from the record, Save stores them,
// rewrites the settings file and reopens the port. Shown modeless; Exit or the close box
// deletes it.
class frmInstellingen final : public QWidget
{
    Q_OBJECT

public:
    // `listDevices` tells the serial devices the user can choose from.
    explicit frmInstellingen(Session &session, QWidget *parent = nullptr,
                             SerialDeviceLister listDevices = AvailableSerialDevices);

    void UpdateScherm(); // record into the controls
    // Controls into the record, which the session applies: log folder, port link, settings
    // file, port.
    Session::Saved SchermNaarVariabelen();
    void LockInputs();
    void UnLockInputs();

private:
    void BuildControls();
    void SetInputsLocked(bool locked);
    void KeepCheckInViewMode();
    void ShowPortDevice();
    void ListDevices();
    void ChooseDevice(const QString &path);
    void ChooseNetworkPort();
    std::int16_t PortInBox() const;
    std::vector<EditorLook::NamedEntry> Entries() const;

    void OnEdit();
    void OnCancel();
    void OnSave();

    Session &session_;
    // 0: port, 1: log folder, 2..6: start values.
    std::array<QLineEdit *, 7> txtInstelling_{};
    QLabel *labPoort_ = nullptr;
    QToolButton *buttonKiesPoort_ = nullptr;
    SerialDeviceLister listDevices_;
    QString chosenDevice_; // bound to the number in the port box by the next Save
    LockableComboBox *comboBaudRate_ = nullptr;
    LockableComboBox *comboParity_ = nullptr;
    LockableComboBox *comboBits_ = nullptr;
    LockableComboBox *comboStopBits_ = nullptr;
    LockableComboBox *comboHandShake_ = nullptr;
    QCheckBox *checkAnsiLog_ = nullptr;
    EditorLook::EditButtons buttons_;
};
