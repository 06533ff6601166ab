#include "serial/PortName.h"

#include <filesystem>
#include <system_error>

namespace
{

std::filesystem::path PortLink(const std::string &programFolder, std::int16_t n)
{
    return std::filesystem::path(programFolder) / "ports" / ("com" + std::to_string(n));
}

} // namespace

std::string PortDevicePath(const std::string &programFolder, std::int16_t n)
{
    const std::filesystem::path link = PortLink(programFolder, n);
    // symlink_status, not status: a link whose target is gone (an adapter unplugged) still
    // names the port, so that opening it reports the real reason instead of quietly falling
    // back to a built-in port that may be a different device.
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(link, error)))
        return link.string();
    return BuiltInPortPath(n);
}

std::string BuiltInPortPath(std::int16_t n)
{
    return "/dev/ttyS" + std::to_string(n - 1);
}

PortLinkResult LinkPort(const std::string &programFolder, std::int16_t n, const std::string &device)
{
    const std::filesystem::path link = PortLink(programFolder, n);
    PortLinkResult result{true, link.string(), {}};
    if (n < kFirstPort || n > kLastPort)
        return {false, link.string(), "no port number " + std::to_string(n) + " (1..25)"};
    std::error_code error;
    if (device == BuiltInPortPath(n)) {
        if (std::filesystem::is_symlink(link, error))
            std::filesystem::remove(link, error);
    } else {
        const std::filesystem::path made = link.string() + ".new";
        std::filesystem::create_directories(link.parent_path(), error);
        if (!error)
            std::filesystem::remove(made, error);
        if (!error)
            std::filesystem::create_symlink(device, made, error);
        if (!error)
            std::filesystem::rename(made, link, error);
        if (error) {
            std::error_code ignored;
            std::filesystem::remove(made, ignored);
        }
    }
    if (error) {
        result.ok = false;
        result.reason = error.message();
    }
    return result;
}
