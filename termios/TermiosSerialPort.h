#pragma once

// SerialPort on a terminal device of the system. Port n is the device PortDevicePath names. The
// port owns the device's descriptor: it opens it locked for itself, in raw mode, sets the line
// and the modem lines through termios, and does its own reading and writing, watched by the event
// loop. A line setting the device does not take leaves the line as it was in that respect and is
// noted (SettingsNotTaken); the other settings still apply. A slow line is read every collect
// interval, so that it does not wake the program for every few bytes. Everything received is
// kept (up to 1 MiB, after which the operating system holds the sender off) until the receive
// tick reads it; Close and Open start with nothing kept.
//
// A device that goes away while open (an adapter pulled out, the far side of a pseudo-terminal
// closed) is noticed by the next collection: the port is closed and the lost handler called
// once; bytes received before it stay readable until the next Open or Close, later reads count as
// no input.

#include "serial/ParityMarks.h"
#include "serial/SerialPort.h"
#include "settings/PortLists.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>
#include <vector>

class QSocketNotifier;

class TermiosSerialPort final : public QObject, public SerialPort
{
    Q_OBJECT

public:
    // What the port keeps between receive ticks and through a hold; when it is full the device
    // is held off by the operating system.
    static constexpr std::int64_t kReceiveBufferBytes = 1 << 20;
    // How often received bytes are collected from the operating system on a slow line: as often
    // as the lamps are refreshed, so both share one wake-up. A device that hangs up takes what
    // the system still held for it along, so collecting rarely would risk those bytes.
    static constexpr std::chrono::milliseconds kCollectInterval{50};
    // From this many bytes in one collect interval (40 KB/s, about 400,000 baud) bytes are taken
    // as they arrive: the system's own line buffer (4 KiB) stays far from full, so a line with
    // handshaking is not slowed down and one without cannot overrun.
    static constexpr std::size_t kFastLineBytes = 2048;
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

    void SetLostHandler(LostHandler handler) override;

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

    std::vector<NotTaken> SettingsNotTaken() const override;
    std::string DeviceName() const override;
    std::string ErrorString() const override;

private:
    bool OpenDevice();
    void StartWatching();
    void CloseDevice();
    void SendWhatIsLeft();
    void Forget();
    bool ApplyAttributes(const termios &before, const termios &wanted);
    bool SetModemLine(int line, bool on);
    bool SendQueued();
    void OnCollectTick();
    void Collect();
    bool Drain();
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
    // Watches for arriving bytes while the line is fast; off on a slow line, where the collect
    // timer takes them.
    QSocketNotifier *arrivalWatch_ = nullptr;
    // Watches for room to send while bytes the device could not take at once are queued.
    QSocketNotifier *sendWatch_ = nullptr;
    QTimer collectTimer_;
    std::size_t collected_ = 0; // since the last collect tick
    bool fastLine_ = false;
    mutable bool modemLinesAbsent_ = false;
    bool lossPending_ = false;
    bool keptFromLoss_ = false; // held_ is what a lost port received; an Open keeps it
    std::string lossReason_;
    LostHandler lostHandler_;
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
