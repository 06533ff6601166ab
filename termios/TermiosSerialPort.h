#pragma once

// SerialPort on a terminal device of the system. Port n is the device PortDevicePath names. The
// port owns the device's descriptor: it opens it locked for itself, in raw mode, sets the line
// and the modem lines through termios, and does its own reading and writing, watched by the event
// loop. A line setting the device does not take leaves the line as it was in that respect and is
// noted (SettingsNotTaken); the other settings still apply. Bytes are taken from the system as
// they arrive and kept (up to 4 MiB, after which the operating system holds the sender off)
// until the receive tick reads them; Close and Open start with nothing kept, but for what a lost
// port received.
//
// Port n may also be a serial device server's port (its link holds a network address): Open
// then starts connecting and returns at once; the port counts as open while it connects and
// agrees on the line with the server, what is written waits, and the opened handler tells the
// outcome. Its line settings, RTS and DTR go to the server as requests, CTS comes from the
// server's notifications, and a connection that ends is a loss like a device's hang-up.
//
// A device that goes away while open (an adapter pulled out, the far side of a pseudo-terminal
// closed) is noticed at once: what the system still holds is read, the port is closed and the
// lost handler called once. The bytes received before stay readable until they are read, through
// any Close and Open, failed or not.

#include "serial/DeviceServerLine.h"
#include "serial/ParityMarks.h"
#include "serial/SerialPort.h"
#include "settings/PortLists.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <termios.h>
#include <vector>

class ModemWaiter;
class NetworkConnector;
class QSocketNotifier;

class TermiosSerialPort final : public QObject, public SerialPort
{
    Q_OBJECT

public:
    // What the port keeps between receive ticks and through a hold; when it is full the device
    // is held off by the operating system. A line at a pseudo-terminal's full speed brings about
    // 4 MB in one receive tick: a smaller hold would hold it off for the rest of the tick.
    static constexpr std::int64_t kReceiveBufferBytes = 4 << 20;
    // How long Close waits for the device to send what it was given. Closing a device with bytes
    // still to send waits until they are out (up to 30 s on a serial driver, forever while the
    // far side holds a handshake line off); what is left then is discarded instead.
    static constexpr std::chrono::milliseconds kCloseSendLimit{250};

    // The line settings as a device's attributes, every flag defined but the handshaking, which
    // is kept: raw bytes in and out, the baud rate, parity, data and stop bits, and with parity
    // E or O input parity checking that marks each damaged byte (ParityMarks). False for a baud
    // rate the system has no speed for.
    static bool SetLineAttributes(termios &attributes, const PortLists::LineSettings &settings);

    explicit TermiosSerialPort(std::string programFolder, QObject *parent = nullptr);
    ~TermiosSerialPort() override;

    // How long a server may take to answer the line settings before the port opens without
    // its answers.
    static constexpr std::chrono::seconds kAnswerLimit{3};

    void SetLostHandler(LostHandler handler) override;
    void SetOpenedHandler(OpenedHandler handler) override;
    bool Opening() const override;

    bool SetPortNumber(std::int16_t n) override;
    bool Open() override;
    bool Close() override;
    bool IsOpen() const override;
    bool SetSettings(const std::string &text) override;
    bool SetNullDiscard(bool on) override;
    bool SetHandshaking(Handshaking mode) override;
    void SetRts(bool on) override;
    bool GetRts() const override;
    bool SetDtr(bool on) override;
    bool SetEofEnable(bool on) override;
    bool SetReadLength(std::int16_t n) override;
    std::optional<int> WaitingCount() override;
    std::optional<std::string> Read() override;
    bool Write(const std::string &oneChar) override;
    bool GetCts() const override;
    bool PollsModemLines() const override;

    std::vector<NotTaken> SettingsNotTaken() const override;
    std::string DeviceName() const override;
    std::string ErrorString() const override;

signals:
    // Bytes arrived, the device went away, or its modem lines changed: the ticks have something
    // to do.
    void Activity();

private:
    bool OpenDevice();
    bool OpenNetwork(const NetworkAddress &address);
    void Connected(int socket);
    void FinishOpening(std::optional<std::string> failure);
    void ReportOpened();
    void SendToServer(const std::string &bytes);
    void SetServerLine();
    void StartWatching();
    void WaitForModemLines();
    void CloseDevice();
    void SendWhatIsLeft();
    void Forget();
    bool ApplyAttributes(const termios &before, const termios &wanted);
    bool SetModemLine(int line, bool on);
    bool SendQueued();
    void Collect();
    std::string Drain();
    void Keep(const char *bytes, std::size_t count);
    void UpdateWatches();
    std::size_t Waiting();
    void ReportLoss(std::string reason);
    void HandleLoss();
    bool Fail(std::string reason);
    bool FailWithSystemReason(const std::string &what = {});
    std::size_t HeldCount() const { return held_.size() - heldRead_; }
    std::size_t Room() const;

    std::string programFolder_;
    std::string device_;
    int fd_ = -1;
    // Watches for arriving bytes while there is room for them.
    QSocketNotifier *arrivalWatch_ = nullptr;
    // Watches for room to send while bytes the device could not take at once are queued.
    QSocketNotifier *sendWatch_ = nullptr;
    mutable bool modemLinesAbsent_ = false;
    // Waits for CTS to change on a device that has modem lines; its driver may not be able to.
    std::unique_ptr<ModemWaiter> modemWaiter_;
    bool modemWaitUnsupported_ = false;
    bool lossPending_ = false;
    bool keptFromLoss_ = false; // held_ begins with what a lost port received, not read yet
    std::string lossReason_;
    LostHandler lostHandler_;
    // A serial device server's port: the connection under way, then what the line puts around
    // the bytes. Opening while connecting and agreeing on the line; the outcome waits for the
    // event loop to reach the handler.
    NetworkConnector *connector_ = nullptr;
    std::unique_ptr<DeviceServerLine> server_;
    Rfc2217Client::Line serverLine_;
    bool opening_ = false;
    QTimer answerLimit_;
    bool outcomePending_ = false;
    std::optional<std::string> openFailure_;
    OpenedHandler openedHandler_;
    std::string error_;
    std::vector<NotTaken> notTaken_; // since the last Open
    bool rts_ = false;
    bool dtr_ = true;
    Handshaking handshaking_ = Handshaking::None;
    std::int16_t readLength_ = 1;
    // On while the line checks parity: what is read then passes through the decoder.
    bool parityMarking_ = false;
    ParityMarks parityMarks_;
    // Bytes written that the device could not take yet.
    std::string queued_;
    // Received bytes not yet read; read from heldRead_ on.
    std::string held_;
    std::size_t heldRead_ = 0;
};
