#pragma once

// The client's side of telnet with the COM-PORT-OPTION, as serial device servers speak it: the
// byte stream both ways with 0xFF (IAC) doubled, the option negotiation, the requests that set
// the server's line and modem lines, and what the server answers and notifies. It only turns
// bytes into bytes; the connection is the caller's.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class Rfc2217Client
{
public:
    enum class Option { Asked, Agreed, Refused };

    // The line as the requests set it and the answers report it: baud rate, data bits, parity
    // ('N', 'O', 'E', 'M', 'S'), stop bits, and RTS/CTS handshaking.
    struct Line {
        std::uint32_t baudRate = 9600;
        int dataBits = 8;
        char parity = 'N';
        int stopBits = 1;
        bool rtsCts = false;
    };

    // What the client offers once connected: binary transmission both ways and the option.
    std::string Greeting();
    // Data for the server, each IAC doubled.
    static std::string Escape(std::string_view data);

    // Takes what the server sent, in pieces as they come: its data is appended to `data`, and
    // answers to its negotiation are appended to `reply`, to be sent as they are.
    void Receive(std::string_view bytes, std::string &data, std::string &reply);

    Option ComPortOption() const { return comPort_; }
    // Any telnet command seen: the server speaks telnet, whatever it makes of the option.
    bool SawTelnet() const { return sawTelnet_; }

    // The requests that set the line; RTS and DTR too where `line` leaves RTS to the client.
    static std::string LineRequests(const Line &line, bool dtr, bool rts);
    // The request that switches DTR or RTS.
    static std::string ModemLineRequest(bool dtr, bool on);

    // The line as the server answered the requests; a part it has not answered is empty.
    struct Answered {
        std::optional<std::uint32_t> baudRate;
        std::optional<int> dataBits;
        std::optional<char> parity;
        std::optional<int> stopBits;
        std::optional<bool> rtsCts;
        bool Complete() const { return baudRate && dataBits && parity && stopBits && rtsCts; }
    };
    const Answered &Answers() const { return answered_; }
    // Forgets the answers, before the line is requested again.
    void ForgetAnswers() { answered_ = {}; }

    // CTS as the server last notified it; false before any notification.
    bool Cts() const { return (modemState_ & kCtsBit) != 0; }

private:
    static constexpr std::uint8_t kCtsBit = 0x10;
    enum class State { Data, Command, Verb, Sub, SubIac };

    void Command(std::uint8_t command);
    void Negotiate(std::uint8_t verb, std::uint8_t option, std::string &reply);
    void SubNegotiation();

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::string sub_;
    Option comPort_ = Option::Asked;
    bool sawTelnet_ = false;
    // Each side's options: off until offered or asked for, then asked until the other side
    // answers.
    enum class Side { Off, Asked, On };
    std::map<std::uint8_t, Side> ours_;
    std::map<std::uint8_t, Side> theirs_;
    Answered answered_;
    std::uint8_t modemState_ = 0;
};
