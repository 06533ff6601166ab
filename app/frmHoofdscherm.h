#pragma once

// The main window: the 25-line log view, the quick-send and command buttons, the four lamps and
// the menu. It shows what the session says and forwards every event to it; StartUp() runs the
// session's start-up, and the two ticks drive it from then on, each resting while it has nothing
// to do: a key or a click anywhere in the program, and WakeTicks (the port's activity), start
// them again.

#include "app/RestingTimer.h"
#include "session/Session.h"
#include "session/View.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <string>

class Lamp;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class frmAbout;
class frmInstellingen;
class frmSnelkeuze;
class frmHoofdscherm final : public QMainWindow, public View
{
    Q_OBJECT

public:
    // Shows `session`, which outlives the window.
    explicit frmHoofdscherm(Session &session, QWidget *parent = nullptr);
    ~frmHoofdscherm() override;

    // Runs the session's start-up, then starts the timers. Closing the window while start-up's
    // message box is up (a termination signal) ends the run once start-up is through.
    void StartUp();
    // A window whose run has ended is not shown again.
    void setVisible(bool visible) override;

    // View
    void SetCaption(const std::string &text) override;
    void SetModeCaption(const std::string &text) override;
    void SetHoldCaption(const std::string &text) override;
    void SetQuickButton(int index, bool visible, const std::string &caption) override;
    void ShowMessage(const std::string &text) override;
    void ShowWarning(const std::string &text) override;
    void ShowLogFailure(const std::string &text) override;
    void EndLogFailure() override;

signals:
    // The program has ended: the session quit and every window of it is closed.
    void Ended();

public slots:
    void ReceiveTick(); // Timer1, every 200 ms while it has work
    void LampTick();    // TimerLed, every 50 ms while a lamp may change
    // Bytes arrived, the port was lost, or its modem lines changed: both ticks run again.
    void WakeTicks();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildLogView(QWidget *client);
    void BuildButtons(QWidget *client);
    void BuildLamps(QWidget *client);
    void BuildMenu();
    void WatchTypedKeys();
    void KeepFocusOnDummy(QWidget *client);

    void ShowLogLines();
    std::size_t RowsScrolled(const RSinput::Lines &lines) const;
    void MoveBoxesUp(std::size_t rows);
    void PlaceLogBox(std::size_t row);
    bool SendTypedBytes(const std::string &bytes); // false when there is nothing to send
    void FocusDummy();

    template <typename Dialog, typename... Args>
    void ShowSingle(QPointer<Dialog> &dialog, Args &...args);

    Session &session_;

    std::array<QLineEdit *, RSinput::kLines> txtLog_{};
    std::array<std::string, RSinput::kLines> shownLines_;
    std::array<QPushButton *, 8> cmdTx1_{};
    QPushButton *cmdMode_ = nullptr;
    QPushButton *cmdStartStop_ = nullptr;
    QPushButton *cmdWisLog_ = nullptr;
    Lamp *shpTx_ = nullptr;
    Lamp *shpRx_ = nullptr;
    Lamp *shpRts_ = nullptr;
    Lamp *shpCts_ = nullptr;
    LampStates lampsShown_; // all off, as the lamps are built
    QLabel *labLinkStatus_ = nullptr;
    QLineEdit *txtDummy_ = nullptr;

    RestingTimer timer1_;
    RestingTimer timerLed_;

    QPointer<frmInstellingen> settingsDialog_;
    QPointer<frmSnelkeuze> quickSendDialog_;
    QPointer<frmAbout> aboutDialog_;
    QPointer<QMessageBox> logFailureBox_;
    bool logFailureShown_ = false; // also after the user closed its window
    bool rtsDoubleClick_ = false;  // the next release on the RTS label ends a double click
    bool startingUp_ = false;
    bool endAfterStartUp_ = false;
    bool ended_ = false;
};
