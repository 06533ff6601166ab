#pragma once

#include "serial/SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A serial port in memory. It records every call in order as readable text, so a test can
// compare a whole call sequence:
//   FakeSerialPort port;
//   port.Fail("SetSettings", "Invalid argument"); // that operation now fails with this reason
//   port.Feed("A\x02" "B");                       // bytes waiting to be read
//   ... port.calls == {"SetPortNumber(3)", "Open()", "SetSettings(9600,N,8,1)", ...}
//   ... port.written == "\x02" "AB"                // bytes that Write queued
// Call texts: SetPortNumber(3), Open(), Close(), SetSettings(9600,N,8,1), SetNullDiscard(off),
// SetHandshaking(None|RtsCts), SetRts(on|off), GetRts(), SetDtr(on|off), SetEofEnable(on|off),
// SetReadLength(1), WaitingCount(), Read(), Write(0x41), GetCts(). IsOpen, SettingsNotTaken,
// DeviceName and ErrorString are not recorded.
// Like the real port it reads and writes only while open, and a close throws away what was not
// read (a lost port keeps it readable until read, through any Close and Open); RTS keeps its
// level open or closed; CTS reads false while closed.
class FakeSerialPort final : public SerialPort
{
public:
    // Recorded calls; set recordCalls to false where millions of reads would only fill memory.
    mutable std::vector<std::string> calls;
    bool recordCalls = true;

    std::string written;                 // every byte that Write accepted, in order
    std::string device = "/dev/ttyFAKE"; // what DeviceName() reports
    bool open = false;
    bool rts = false;
    bool cts = false;          // the CTS input while open
    bool modemPolling = false; // a device whose CTS changes cannot be waited for
    bool opensLater = false;   // Open() starts an open that FinishOpening completes
    bool opening = false;
    bool dtr = false;
    std::int16_t portNumber = 0;
    Handshaking handshaking = Handshaking::None;
    std::vector<NotTaken> notTaken; // what SettingsNotTaken() reports

    // From now on `operation` (a call text's name, "Open", "Read" ...) fails with `reason`,
    // until Heal(operation).
    void Fail(const std::string &operation, const std::string &reason)
    {
        failing_[operation] = reason;
    }
    void Heal(const std::string &operation) { failing_.erase(operation); }

    // Bytes arrive on the line.
    void Feed(std::string_view bytes)
    {
        if (readPos_ == input_.size()) {
            input_.clear();
            readPos_ = 0;
        }
        input_.append(bytes);
    }
    std::size_t Waiting() const { return input_.size() - readPos_; }

    // The device goes away, as the real port reports it: the port is closed, the lost handler
    // called, and the bytes received before stay readable.
    void Lose(const std::string &reason)
    {
        open = false;
        keptAfterLoss_ = Waiting();
        if (lostHandler_)
            lostHandler_(reason);
    }
    void SetLostHandler(LostHandler handler) override { lostHandler_ = std::move(handler); }

    // The open under way completes, as the real port reports it from the event loop.
    void FinishOpening(const std::optional<std::string> &failure)
    {
        opening = false;
        open = !failure;
        if (openedHandler_)
            openedHandler_(failure);
    }
    void SetOpenedHandler(OpenedHandler handler) override { openedHandler_ = std::move(handler); }
    bool Opening() const override { return opening; }

    bool SetPortNumber(std::int16_t n) override
    {
        if (!Call("SetPortNumber", std::to_string(n)))
            return false;
        portNumber = n;
        return true;
    }
    bool Open() override
    {
        if (!Call("Open", ""))
            return false;
        if (open)
            return Failed("Port already open");
        open = true;
        opening = opensLater;
        return true;
    }
    bool Close() override
    {
        if (!Call("Close", ""))
            return false;
        const bool wasOpen = open;
        open = false;
        opening = false;
        if (keptAfterLoss_ == 0) {
            input_.clear(); // what the port held goes with it
            readPos_ = 0;
        }
        return wasOpen || Failed("Port not open");
    }
    bool IsOpen() const override { return open; }
    bool SetSettings(const std::string &text) override
    {
        return Call("SetSettings", text) && NeedOpen();
    }
    bool SetNullDiscard(bool on) override
    {
        return Call("SetNullDiscard", OnOff(on)) && NeedOpen();
    }
    bool SetHandshaking(Handshaking mode) override
    {
        if (!Call("SetHandshaking", mode == Handshaking::RtsCts ? "RtsCts" : "None"))
            return false;
        handshaking = mode;
        return true;
    }
    void SetRts(bool on) override
    {
        Call("SetRts", OnOff(on));
        rts = on;
    }
    bool GetRts() const override
    {
        Record("GetRts", "");
        return rts;
    }
    bool SetDtr(bool on) override
    {
        if (!Call("SetDtr", OnOff(on)) || !NeedOpen())
            return false;
        dtr = on;
        return true;
    }
    bool SetEofEnable(bool on) override { return Call("SetEofEnable", OnOff(on)); }
    bool SetReadLength(std::int16_t n) override { return Call("SetReadLength", std::to_string(n)); }
    std::optional<int> WaitingCount() override
    {
        if (!Call("WaitingCount", "") || !NeedReadable())
            return std::nullopt;
        return static_cast<int>(Readable());
    }
    std::optional<std::string> Read() override
    {
        if (!Call("Read", "") || !NeedReadable())
            return std::nullopt;
        if (Readable() == 0)
            return std::string();
        if (keptAfterLoss_ > 0)
            --keptAfterLoss_;
        return std::string(1, input_[readPos_++]);
    }
    bool Write(const std::string &oneChar) override
    {
        if (!Call("Write", HexBytes(oneChar)) || !NeedOpen())
            return false;
        written += oneChar;
        return true;
    }
    bool GetCts() const override
    {
        Record("GetCts", "");
        return open && cts;
    }
    bool PollsModemLines() const override { return open && modemPolling; }
    std::vector<NotTaken> SettingsNotTaken() const override { return notTaken; }
    std::string DeviceName() const override { return device; }
    std::string ErrorString() const override { return error_; }

private:
    static std::string OnOff(bool on) { return on ? "on" : "off"; }
    static std::string HexBytes(const std::string &bytes)
    {
        static const char digits[] = "0123456789ABCDEF";
        std::string text;
        for (unsigned char c : bytes)
            text += std::string("0x") + digits[c >> 4] + digits[c & 15];
        return text;
    }

    void Record(const char *operation, const std::string &argument) const
    {
        if (recordCalls)
            calls.push_back(std::string(operation) + "(" + argument + ")");
    }
    // Records the call; false (with the reason in ErrorString) when the test made it fail.
    bool Call(const char *operation, const std::string &argument)
    {
        Record(operation, argument);
        const auto failure = failing_.find(operation);
        return failure == failing_.end() || Failed(failure->second);
    }
    bool NeedOpen() { return open || Failed("Port not open"); }
    bool NeedReadable() { return open || keptAfterLoss_ > 0 || Failed("Port not open"); }
    std::size_t Readable() const { return open ? Waiting() : keptAfterLoss_; }
    bool Failed(const std::string &reason)
    {
        error_ = reason;
        return false;
    }

    std::map<std::string, std::string, std::less<>> failing_;
    std::string input_;
    std::size_t readPos_ = 0;
    std::size_t keptAfterLoss_ = 0; // bytes of a lost port still readable
    LostHandler lostHandler_;
    OpenedHandler openedHandler_;
    std::string error_;
};
