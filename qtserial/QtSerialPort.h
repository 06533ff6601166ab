#pragma once

// SerialPort on QSerialPort. Port n is the device PortDevicePath names. QSerialPort opens and
// configures the device, writes to it and drives its modem lines; the receiving is done here, so
// that a slow line does not wake the program for every few bytes. Everything received is kept (up
// to 1 MiB, after which the operating system holds the sender off) until the receive tick reads
// it.
//
// A device that goes away while open (an adapter pulled out, the far side of a pseudo-terminal
// closed) is noticed by the next collection: the port is closed and the lost handler called
// once; bytes received before it stay readable, later reads count as no input.

#include "serial/SerialPort.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

class QSocketNotifier;

class QtSerialPort final : public QObject, public SerialPort
{
    Q_OBJECT

public:
    // What the port keeps between receive ticks and through a hold; when it is full the device
    // is held off by the operating system.
    static constexpr qint64 kReceiveBufferBytes = 1 << 20;
    // How often received bytes are collected from the operating system on a slow line: as often
    // as the lamps are refreshed, so both share one wake-up. A device that hangs up takes what
    // the system still held for it along, so collecting rarely would risk those bytes.
    static constexpr std::chrono::milliseconds kCollectInterval{50};
    // From this many bytes in one collect interval (40 KB/s, about 400,000 baud) bytes are taken
    // as they arrive: the system's own line buffer (4 KiB) stays far from full, so a line with
    // handshaking is not slowed down and one without cannot overrun.
    static constexpr std::size_t kFastLineBytes = 2048;

    explicit QtSerialPort(std::string programFolder, QObject *parent = nullptr);
    ~QtSerialPort() override;

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

    std::string DeviceName() const override;
    std::string ErrorString() const override;

private:
    // QSerialPort reports every failure through errorOccurred, also those of our own calls. Those
    // are answered by the call itself; only a report that arrives from the event loop while no
    // call of ours runs can mean that the device went away.
    class OwnCall
    {
    public:
        explicit OwnCall(const QtSerialPort &port) : port_(port) { ++port_.ownCalls_; }
        ~OwnCall() { --port_.ownCalls_; }
        OwnCall(const OwnCall &) = delete;
        OwnCall &operator=(const OwnCall &) = delete;

    private:
        const QtSerialPort &port_;
    };

    bool TakeOverReceiving();
    void CloseDevice();
    void OnCollectTick();
    void Collect();
    bool Drain();
    void UpdateArrivalWatch();
    std::size_t Waiting();
    void OnError(QSerialPort::SerialPortError error);
    void ReportLoss();
    void HandleLoss();
    std::string LossReason() const;
    // A modem-line call that QSerialPort refused; a device without modem lines counts as done.
    bool ModemLineDone(bool applied);
    bool Fail(std::string reason);
    bool FailWithSystemReason(const std::string &what = {});
    std::size_t HeldCount() const { return held_.size() - heldRead_; }
    std::size_t Room() const;

    std::string programFolder_;
    std::string device_;
    mutable QSerialPort port_;
    mutable int ownCalls_ = 0;
    // Watches for arriving bytes while the line is fast; off on a slow line, where the collect
    // timer takes them.
    QSocketNotifier *arrivalWatch_ = nullptr;
    QTimer collectTimer_;
    std::size_t collected_ = 0; // since the last collect tick
    bool fastLine_ = false;
    mutable bool modemLinesAbsent_ = false;
    bool lossPending_ = false;
    LostHandler lostHandler_;
    std::string error_;
    bool rts_ = false;
    bool dtr_ = true;
    qint64 readLength_ = 1;
    // Received bytes not yet read; read from heldRead_ on.
    std::string held_;
    std::size_t heldRead_ = 0;
};
