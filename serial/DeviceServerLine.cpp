#include "serial/DeviceServerLine.h"

namespace
{

using Option = Rfc2217Client::Option;

std::string StopBitsText(int code)
{
    return code == 3 ? "1.5" : std::to_string(code);
}

std::string HandshakingText(bool rtsCts)
{
    return rtsCts ? "RTS/CTS" : "none";
}

std::string LineText(const Rfc2217Client::Line &line)
{
    return std::to_string(line.baudRate) + "," + line.parity + "," + std::to_string(line.dataBits) +
           "," + std::to_string(line.stopBits) + (line.rtsCts ? " with RTS/CTS" : "");
}

} // namespace

DeviceServerLine::DeviceServerLine(NetworkAddress::Protocol protocol)
    : telnet_(protocol == NetworkAddress::Protocol::Rfc2217)
{
}

std::string DeviceServerLine::Start()
{
    return telnet_ ? client_.Greeting() : std::string();
}

std::string DeviceServerLine::Receive(std::string_view bytes, std::string &data)
{
    if (!telnet_) {
        data.append(bytes);
        return {};
    }
    std::string reply;
    client_.Receive(bytes, data, reply);
    return reply + Requests();
}

std::string DeviceServerLine::Send(std::string_view data) const
{
    return telnet_ ? Rfc2217Client::Escape(data) : std::string(data);
}

std::string DeviceServerLine::SetLine(const Rfc2217Client::Line &line)
{
    line_ = line;
    lineSet_ = true;
    lineSent_ = false;
    client_.ForgetAnswers();
    return Requests();
}

std::string DeviceServerLine::SetModemLine(bool dtr, bool on)
{
    (dtr ? dtr_ : rts_) = on;
    if (!telnet_ || !lineSent_ || (!dtr && line_.rtsCts))
        return {};
    return Rfc2217Client::ModemLineRequest(dtr, on);
}

// The line goes once the server agreed to the option; the modem lines go with it.
std::string DeviceServerLine::Requests()
{
    if (!telnet_ || !lineSet_ || lineSent_ || client_.ComPortOption() != Option::Agreed)
        return {};
    lineSent_ = true;
    return Rfc2217Client::LineRequests(line_, dtr_, rts_);
}

bool DeviceServerLine::Settled() const
{
    return !telnet_ || stoppedWaiting_ || client_.ComPortOption() == Option::Refused ||
           (lineSent_ && client_.Answers().Complete());
}

void DeviceServerLine::StopWaiting()
{
    stoppedWaiting_ = true;
    if (telnet_ && !client_.SawTelnet())
        telnet_ = false;
}

std::vector<SerialPort::NotTaken> DeviceServerLine::NotTaken() const
{
    const std::string asSet = "what the server's port is set to";
    if (!telnet_) {
        return {{"line settings", LineText(line_),
                 asSet + (stoppedWaiting_ ? " (the server did not answer RFC 2217; going on as "
                                            "raw TCP)"
                                          : " (raw TCP carries no settings)")}};
    }
    if (client_.ComPortOption() != Option::Agreed) {
        return {{"line settings", LineText(line_),
                 asSet + (client_.ComPortOption() == Option::Refused
                              ? " (the server refused RFC 2217; going on as raw TCP)"
                              : " (the server did not answer RFC 2217)")}};
    }
    const auto &answers = client_.Answers();
    const std::string noAnswer = "what the server did not say (no answer)";
    std::vector<SerialPort::NotTaken> notTaken;
    const auto compare = [&](const char *name, const auto &answer, const auto &wanted, auto text) {
        if (!answer)
            notTaken.push_back({name, text(wanted), noAnswer});
        else if (*answer != wanted)
            notTaken.push_back({name, text(wanted), text(*answer)});
    };
    compare("baud rate", answers.baudRate, line_.baudRate,
            [](std::uint32_t v) { return std::to_string(v); });
    compare("data bits", answers.dataBits, line_.dataBits, [](int v) { return std::to_string(v); });
    compare("parity", answers.parity, line_.parity, [](char v) { return std::string(1, v); });
    compare("stop bits", answers.stopBits, line_.stopBits, StopBitsText);
    compare("handshaking", answers.rtsCts, line_.rtsCts, HandshakingText);
    return notTaken;
}
