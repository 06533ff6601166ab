#pragma once

// A port on a serial device server, reached over TCP. ports/com<n> then is a link whose text is
// the address instead of a device path: "rfc2217://HOST:PORT" (telnet with the COM-PORT-OPTION,
// which carries the line settings and the modem lines) or "tcp://HOST:PORT" (the bytes as they
// are). The program connects to it; it never listens.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct NetworkAddress {
    enum class Protocol { Rfc2217, RawTcp };

    Protocol protocol = Protocol::Rfc2217;
    std::string host; // a name or an IPv4 address, or an IPv6 address without its brackets
    std::uint16_t port = 0;

    // "rfc2217://lab7:4001", "tcp://[fe80::1]:4001".
    std::string Text() const;
};

// The address a link's text names, or nothing when the text is not one (a device path).
std::optional<NetworkAddress> ParseNetworkAddress(std::string_view text);

// What is wrong with a host and port number typed by a user, or empty when they make an
// address: the text names the first fault.
std::string NetworkAddressProblem(std::string_view host, std::string_view port);

// The network address that the link at `path` holds, if it is one.
std::optional<NetworkAddress> NetworkAddressAt(const std::string &path);

// Whether a port's path names something to open: a device that is there, or a network address.
bool PortIsThere(const std::string &path);
