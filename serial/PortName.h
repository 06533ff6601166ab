#pragma once

#include <cstdint>
#include <string>

// Port n names "<program folder>/ports/com<n>" when that exists (a link the user makes, for
// instance to /dev/serial/by-id/...), otherwise /dev/ttyS<n-1>.
std::string PortDevicePath(const std::string &programFolder, std::int16_t n);
