#pragma once

// What a port on a serial device server puts around the bytes, once connected: for RFC 2217 the
// telnet side (escaping, the option, the line settings and modem lines as requests, the server's
// answers and CTS notifications), for raw TCP nothing. It turns bytes into bytes and says what
// the server did not take, in the terms a device's refusals are told in; the connection and the
// waiting are the caller's.

#include "serial/NetworkAddress.h"
#include "serial/Rfc2217.h"
#include "serial/SerialPort.h"

#include <string>
#include <string_view>
#include <vector>

class DeviceServerLine
{
public:
    explicit DeviceServerLine(NetworkAddress::Protocol protocol);

    // What to send once connected.
    std::string Start();
    // Takes what the server sent: its data is appended to `data`; returns what to send back.
    std::string Receive(std::string_view bytes, std::string &data);
    // The data as it goes to the server.
    std::string Send(std::string_view data) const;

    // The line and modem lines wanted; returns what to send now. Requests wait until the server
    // has agreed to the option, and go then.
    std::string SetLine(const Rfc2217Client::Line &line);
    std::string SetModemLine(bool dtr, bool on);

    // The line is as agreed as it will be: raw TCP at once, RFC 2217 once the server refused the
    // option or answered every part of the line.
    bool Settled() const;
    // The server took too long: a server that never spoke telnet is taken as raw TCP from now on,
    // and what it did not answer is told as such.
    void StopWaiting();

    std::vector<SerialPort::NotTaken> NotTaken() const;
    bool Cts() const { return telnet_ && client_.Cts(); }

private:
    std::string Requests();

    bool telnet_;
    bool stoppedWaiting_ = false;
    Rfc2217Client client_;
    Rfc2217Client::Line line_;
    bool lineSet_ = false;
    bool lineSent_ = false;
    bool dtr_ = true;
    bool rts_ = false;
};
