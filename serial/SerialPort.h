#pragma once

// Every port operation of the program passes through this interface, one operation per property
// of the classic serial-communications component. Operations that can fail return false (or an
// empty optional) and leave the system's reason in ErrorString().

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class SerialPort
{
public:
    enum class Handshaking { None = 0, RtsCts = 2 };

    virtual ~SerialPort() = default;

    virtual bool SetPortNumber(std::int16_t n) = 0; // takes effect at the next Open
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool SetSettings(const std::string &text) = 0; // "9600,N,8,1"
    virtual bool SetNullDiscard(bool on) = 0;
    virtual bool SetHandshaking(Handshaking mode) = 0;
    virtual void SetRts(bool on) = 0; // open or closed; never fails
    virtual bool GetRts() const = 0;  // the level last set
    virtual bool SetDtr(bool on) = 0;
    virtual bool SetEofEnable(bool on) = 0;
    virtual bool SetReadLength(std::int16_t n) = 0;
    virtual std::optional<int> WaitingCount() = 0; // empty when closed or failing
    virtual std::optional<std::string> Read() = 0; // at most the read length; empty when failing
    virtual bool Write(const std::string &oneChar) = 0;
    virtual bool GetCts() const = 0; // never fails; false when closed
    // True while CTS can change unseen: the device has modem lines but cannot report their
    // changes, so they must be read at every lamp tick. A port that reports them calls its
    // front end's attention as for bytes; a closed port and one without modem lines need neither.
    virtual bool PollsModemLines() const = 0;

    // Called once, from the event loop, when an open port is lost (the device went away): the
    // port is closed by then, and the bytes it received before stay readable until they are
    // read, through any Close and Open (a hold across an unplug loses nothing).
    using LostHandler = std::function<void(const std::string &reason)>;
    virtual void SetLostHandler(LostHandler handler) = 0;

    // An open that completes later (a port on a serial device server connecting and agreeing on
    // the line) answers Open() and the settings at once: meanwhile the port counts as open,
    // Opening() is true, what is written waits and nothing arrives. The handler is then called
    // once, from the event loop: with nothing when the port is open, or with the reason it could
    // not be opened (it is closed by then). A Close before that ends the open untold.
    using OpenedHandler = std::function<void(const std::optional<std::string> &failure)>;
    virtual void SetOpenedHandler(OpenedHandler handler) = 0;
    virtual bool Opening() const = 0;

    // A line setting the device did not take (it refused it, or kept another): the line runs
    // with `running` instead of `wanted`, each written as in the settings text.
    struct NotTaken {
        std::string setting; // "parity"
        std::string wanted;  // "E"
        std::string running; // "N"
        bool operator==(const NotTaken &) const = default;
    };
    // What the device did not take of the settings and handshaking set since the last Open.
    virtual std::vector<NotTaken> SettingsNotTaken() const = 0;

    // The device the port number stands for, and the reason of the last failure.
    virtual std::string DeviceName() const = 0;
    virtual std::string ErrorString() const = 0;
};
