#pragma once

// SerialPort on QSerialPort. Port n is the device PortDevicePath names. Everything QSerialPort
// receives is kept (up to 1 MiB, after which the operating system holds the sender off) until the
// receive tick reads it.
//
// A device that goes away while open (an adapter pulled out, the far side of a pseudo-terminal
// closed) makes QSerialPort report read errors in a tight loop without ever closing. The first
// such report closes the port and calls the lost handler once; bytes received before it stay
// readable, later reads count as no input.

#include "serial/SerialPort.h"

#include <QObject>
#include <QSerialPort>

#include <cstddef>
#include <functional>
#include <string>

class QtSerialPort final : public QObject, public SerialPort
{
    Q_OBJECT

public:
    // What the port keeps between receive ticks and through a hold; when it is full the device
    // is held off by the operating system. QSerialPort itself keeps only a small buffer: it
    // allocates a fresh block for every short read while its buffer is not empty, so letting it
    // hold the data would cost many times the data's size in memory.
    static constexpr qint64 kReceiveBufferBytes = 1 << 20;
    static constexpr qint64 kQSerialPortBufferBytes = 16 * 1024;

    explicit QtSerialPort(std::string programFolder, QObject *parent = nullptr);
    ~QtSerialPort() override;

    void SetPortLostHandler(std::function<void(const std::string &reason)> handler);

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

    void OnError(QSerialPort::SerialPortError error);
    void HandleLoss();
    std::string LossReason() const;
    // A modem-line call that QSerialPort refused; a device without modem lines counts as done.
    bool ModemLineDone(bool applied);
    bool Fail(std::string reason);
    bool FailWithSystemReason(const std::string &what = {});
    std::size_t HeldCount() const { return held_.size() - heldRead_; }
    void TakeReceived(qint64 limit);

    std::string programFolder_;
    std::string device_;
    mutable QSerialPort port_;
    mutable int ownCalls_ = 0;
    bool lossPending_ = false;
    std::function<void(const std::string &)> lostHandler_;
    std::string error_;
    bool rts_ = false;
    bool dtr_ = true;
    qint64 readLength_ = 1;
    // Received bytes taken over from QSerialPort (also those it had when the device went away);
    // read before anything still in QSerialPort's buffer.
    std::string held_;
    std::size_t heldRead_ = 0;
};
