#pragma once

#include <cstdint>
#include <string>

// The port numbers that can be opened.
inline constexpr std::int16_t kFirstPort = 1;
inline constexpr std::int16_t kLastPort = 25;

// Port n names "<program folder>/ports/com<n>" when that exists (a link the user makes, for
// instance to /dev/serial/by-id/...), otherwise /dev/ttyS<n-1>. A link whose target is missing
// still counts as existing, so that opening it fails with the reason.
std::string PortDevicePath(const std::string &programFolder, std::int16_t n);
// The machine's own serial port n: /dev/ttyS<n-1>.
std::string BuiltInPortPath(std::int16_t n);

// What came of making port n name a chosen device.
struct PortLinkResult {
    bool ok = true;     // port n names the device
    bool synced = true; // and the ports folder's entry for it is on the disk
    std::string path;   // ports/com<n>
    std::string reason; // the system's reason when !ok or !synced
};

// Port n names `device` from now on: ports/com<n> becomes a link to it, made beside the old one
// and renamed over it, so the port never names no device on the way. When `device` is
// /dev/ttyS<n-1>, which port n names without a link, the link is removed instead. Only a link is
// replaced or removed: anything else at ports/com<n> is the user's, and the change fails.
PortLinkResult LinkPort(const std::string &programFolder, std::int16_t n,
                        const std::string &device);
