#pragma once

#include <cstdint>
#include <string>

// Port n names "<program folder>/ports/com<n>" when that exists (a link the user makes, for
// instance to /dev/serial/by-id/...), otherwise /dev/ttyS<n-1>. A link whose target is missing
// still counts as existing, so that opening it fails with the reason.
std::string PortDevicePath(const std::string &programFolder, std::int16_t n);
