#include "serial/Rfc2217.h"

namespace
{

constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;

constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPort = 44;

// The client's requests; the server answers each with its number plus 100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kServer = 100;
constexpr std::uint8_t kNotifyModemState = 7;

// SET-CONTROL values.
constexpr std::uint8_t kNoFlowControl = 1;
constexpr std::uint8_t kHardwareFlowControl = 3;
constexpr std::uint8_t kDtrOn = 8;
constexpr std::uint8_t kDtrOff = 9;
constexpr std::uint8_t kRtsOn = 11;
constexpr std::uint8_t kRtsOff = 12;

// Parity as the option numbers it: none, odd, even, mark, space.
constexpr std::string_view kParities = "NOEMS";

// A sub-negotiation longer than any the option defines is not kept whole.
constexpr std::size_t kLongestSub = 16;

std::string Say(std::uint8_t verb, std::uint8_t option)
{
    return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string Request(std::uint8_t command, std::string_view value)
{
    std::string request = {static_cast<char>(kIac), static_cast<char>(kSb),
                           static_cast<char>(kComPort), static_cast<char>(command)};
    request += Rfc2217Client::Escape(value);
    request += {static_cast<char>(kIac), static_cast<char>(kSe)};
    return request;
}

std::string Request(std::uint8_t command, std::uint8_t value)
{
    return Request(command, std::string(1, static_cast<char>(value)));
}

bool WantedOfUs(std::uint8_t option)
{
    return option == kBinary || option == kComPort;
}

bool WantedOfThem(std::uint8_t option)
{
    return option == kBinary || option == kSuppressGoAhead;
}

} // namespace

std::string Rfc2217Client::Greeting()
{
    ours_[kBinary] = Side::Asked;
    theirs_[kBinary] = Side::Asked;
    ours_[kComPort] = Side::Asked;
    return Say(kWill, kBinary) + Say(kDo, kBinary) + Say(kWill, kComPort);
}

std::string Rfc2217Client::Escape(std::string_view data)
{
    std::string escaped;
    escaped.reserve(data.size());
    for (const char c : data) {
        escaped += c;
        if (static_cast<std::uint8_t>(c) == kIac)
            escaped += c;
    }
    return escaped;
}

void Rfc2217Client::Receive(std::string_view bytes, std::string &data, std::string &reply)
{
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (state_) {
        case State::Data:
            if (b == kIac)
                state_ = State::Command;
            else
                data += c;
            break;
        case State::Command:
            sawTelnet_ = true;
            if (b == kIac) {
                data += c;
                state_ = State::Data;
            } else {
                Command(b);
            }
            break;
        case State::Verb:
            Negotiate(verb_, b, reply);
            state_ = State::Data;
            break;
        case State::Sub:
            if (b == kIac)
                state_ = State::SubIac;
            else if (sub_.size() < kLongestSub)
                sub_ += c;
            break;
        case State::SubIac:
            if (b == kIac) {
                if (sub_.size() < kLongestSub)
                    sub_ += c;
                state_ = State::Sub;
                break;
            }
            // IAC SE ends it; any other command ends it too, and is taken as that command.
            SubNegotiation();
            state_ = State::Data;
            if (b != kSe)
                Command(b);
            break;
        }
    }
}

void Rfc2217Client::Command(std::uint8_t command)
{
    state_ = State::Data;
    if (command >= kWill && command <= kDont) {
        verb_ = command;
        state_ = State::Verb;
    } else if (command == kSb) {
        sub_.clear();
        state_ = State::Sub;
    }
    // NOP, GA, a break or any other command carries nothing for the line.
}

// Each answer changes a side's state; an answer that changes nothing is not answered again, so
// two sides can never keep answering each other.
void Rfc2217Client::Negotiate(std::uint8_t verb, std::uint8_t option, std::string &reply)
{
    const bool aboutUs = verb == kDo || verb == kDont;
    Side &side = aboutUs ? ours_[option] : theirs_[option];
    const bool wanted = aboutUs ? WantedOfUs(option) : WantedOfThem(option);
    const bool on = verb == kDo || verb == kWill;
    const Side was = side;
    if (on && wanted) {
        side = Side::On;
        if (was == Side::Off)
            reply += Say(aboutUs ? kWill : kDo, option);
    } else if (on) {
        reply += Say(aboutUs ? kWont : kDont, option);
    } else {
        side = Side::Off;
        if (was == Side::On)
            reply += Say(aboutUs ? kWont : kDont, option);
    }
    if (aboutUs && option == kComPort)
        comPort_ = side == Side::On ? Option::Agreed : Option::Refused;
}

void Rfc2217Client::SubNegotiation()
{
    if (sub_.size() < 3 || static_cast<std::uint8_t>(sub_[0]) != kComPort)
        return;
    const auto command = static_cast<std::uint8_t>(sub_[1]);
    const std::string_view value = std::string_view(sub_).substr(2);
    const auto first = static_cast<std::uint8_t>(value[0]);
    switch (command) {
    case kServer + kSetBaudRate:
        if (value.size() >= 4) {
            std::uint32_t rate = 0;
            for (std::size_t i = 0; i < 4; ++i)
                rate = (rate << 8) | static_cast<std::uint8_t>(value[i]);
            answered_.baudRate = rate;
        }
        break;
    case kServer + kSetDataSize:
        answered_.dataBits = first;
        break;
    case kServer + kSetParity:
        if (first >= 1 && first <= kParities.size())
            answered_.parity = kParities[first - 1];
        break;
    case kServer + kSetStopSize:
        answered_.stopBits = first; // 3 stands for 1.5
        break;
    case kServer + kSetControl:
        // Only the answers about the outbound flow control; those about DTR and RTS say what
        // the requests said.
        if (first >= 1 && first <= kHardwareFlowControl)
            answered_.rtsCts = first == kHardwareFlowControl;
        break;
    case kServer + kNotifyModemState:
        modemState_ = first;
        break;
    default:
        break;
    }
}

std::string Rfc2217Client::LineRequests(const Line &line, bool dtr, bool rts)
{
    const std::uint32_t rate = line.baudRate;
    const std::string rateBytes = {static_cast<char>(rate >> 24), static_cast<char>(rate >> 16),
                                   static_cast<char>(rate >> 8), static_cast<char>(rate)};
    const std::size_t parity = kParities.find(line.parity);
    std::string requests =
        Request(kSetBaudRate, rateBytes) +
        Request(kSetDataSize, static_cast<std::uint8_t>(line.dataBits)) +
        Request(kSetParity,
                static_cast<std::uint8_t>(parity == std::string_view::npos ? 1 : parity + 1)) +
        Request(kSetStopSize, static_cast<std::uint8_t>(line.stopBits)) +
        Request(kSetControl, line.rtsCts ? kHardwareFlowControl : kNoFlowControl) +
        ModemLineRequest(true, dtr);
    if (!line.rtsCts)
        requests += ModemLineRequest(false, rts);
    return requests;
}

std::string Rfc2217Client::ModemLineRequest(bool dtr, bool on)
{
    return Request(kSetControl, dtr ? (on ? kDtrOn : kDtrOff) : (on ? kRtsOn : kRtsOff));
}
