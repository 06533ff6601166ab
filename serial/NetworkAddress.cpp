#include "serial/NetworkAddress.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace
{

struct Scheme {
    std::string_view prefix;
    NetworkAddress::Protocol protocol;
};
constexpr std::array kSchemes{Scheme{"rfc2217://", NetworkAddress::Protocol::Rfc2217},
                              Scheme{"tcp://", NetworkAddress::Protocol::RawTcp}};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsNameChar(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
           c == '_';
}

bool IsIpv6Char(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.' ||
           c == '%' || IsNameChar(c); // a zone after %, such as eth0
}

// A host as typed or as it stands in an address: a name, an IPv4 address, or an IPv6 address
// (which holds a colon). Anything else would not resolve, and could not stand in a link's text
// unambiguously.
std::string HostProblem(std::string_view host)
{
    if (host.empty())
        return "no host";
    if (host.size() > 253)
        return "a host name of more than 253 characters";
    const bool ipv6 = host.find(':') != std::string_view::npos;
    const auto bad = std::find_if_not(host.begin(), host.end(), ipv6 ? IsIpv6Char : IsNameChar);
    if (bad == host.end())
        return {};
    // A byte of a character beyond ASCII would show as half a character.
    if (static_cast<unsigned char>(*bad) >= 0x80)
        return "the host holds a character other than letters, digits, \"-\", \".\" and \"_\"";
    return "the host holds \"" + std::string(1, *bad) + "\"";
}

std::optional<std::uint16_t> PortNumber(std::string_view text)
{
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), IsDigit))
        return std::nullopt;
    const int number = std::stoi(std::string(text));
    if (number < 1 || number > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(number);
}

} // namespace

std::string NetworkAddress::Text() const
{
    const std::string_view scheme = protocol == Protocol::Rfc2217 ? "rfc2217://" : "tcp://";
    const bool ipv6 = host.find(':') != std::string::npos;
    return std::string(scheme) + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<NetworkAddress> ParseNetworkAddress(std::string_view text)
{
    const auto scheme = std::find_if(kSchemes.begin(), kSchemes.end(),
                                     [&](const Scheme &s) { return text.starts_with(s.prefix); });
    if (scheme == kSchemes.end())
        return std::nullopt;
    std::string_view rest = text.substr(scheme->prefix.size());
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view host = rest.substr(0, colon);
    if (host.starts_with('[') && host.ends_with(']'))
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string_view::npos)
        return std::nullopt; // an IPv6 address needs its brackets
    const auto port = PortNumber(rest.substr(colon + 1));
    if (!port || !HostProblem(host).empty())
        return std::nullopt;
    return NetworkAddress{scheme->protocol, std::string(host), *port};
}

std::string NetworkAddressProblem(std::string_view host, std::string_view port)
{
    if (std::string problem = HostProblem(host); !problem.empty())
        return problem;
    if (!PortNumber(port))
        return "the port number is not one of 1 to 65535";
    return {};
}

std::optional<NetworkAddress> NetworkAddressAt(const std::string &path)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error)
        return std::nullopt;
    return ParseNetworkAddress(target.native());
}

bool PortIsThere(const std::string &path)
{
    std::error_code absent;
    return std::filesystem::exists(path, absent) || NetworkAddressAt(path).has_value();
}
