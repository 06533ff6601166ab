#include "serial/PortName.h"

#include <filesystem>
#include <system_error>

std::string PortDevicePath(const std::string &programFolder, std::int16_t n)
{
    const std::filesystem::path link =
        std::filesystem::path(programFolder) / "ports" / ("com" + std::to_string(n));
    // symlink_status, not status: a link whose target is gone (an adapter unplugged) still
    // names the port, so that opening it reports the real reason instead of quietly falling
    // back to a built-in port that may be a different device.
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(link, error)))
        return link.string();
    return "/dev/ttyS" + std::to_string(n - 1);
}
