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
