#include "serial/PortName.h"

#include "settings/SyncFolder.h"

#include <filesystem>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace
{

fs::path PortLink(const std::string &programFolder, std::int16_t n)
{
    return fs::path(programFolder) / "ports" / ("com" + std::to_string(n));
}

// Why what stands at ports/com<n> may not be replaced; nothing for no file or a link.
std::optional<std::string> InTheWay(const fs::path &link)
{
    std::error_code error;
    const fs::file_type type = fs::symlink_status(link, error).type();
    switch (type) {
    case fs::file_type::not_found:
    case fs::file_type::symlink:
        return std::nullopt;
    case fs::file_type::regular:
        return "a regular file, not a link: left as it is";
    case fs::file_type::directory:
        return "a folder, not a link: left as it is";
    default:
        if (error)
            return error.message();
        return "not a link: left as it is";
    }
}

// Makes `link` a link to `device`: made beside it and renamed over it.
void ReplaceLink(const fs::path &link, const std::string &device, std::error_code &error)
{
    const fs::path made = link.string() + ".new";
    fs::create_directories(link.parent_path(), error);
    if (!error)
        fs::remove(made, error);
    if (!error)
        fs::create_symlink(device, made, error);
    if (!error)
        fs::rename(made, link, error);
    if (error) {
        std::error_code ignored;
        fs::remove(made, ignored);
    }
}

} // namespace

std::string PortDevicePath(const std::string &programFolder, std::int16_t n)
{
    const fs::path link = PortLink(programFolder, n);
    // symlink_status, not status: a link whose target is gone (an adapter unplugged) still
    // names the port, so that opening it reports the real reason instead of quietly falling
    // back to a built-in port that may be a different device.
    std::error_code error;
    if (fs::exists(fs::symlink_status(link, error)))
        return link.string();
    return BuiltInPortPath(n);
}

std::string BuiltInPortPath(std::int16_t n)
{
    return "/dev/ttyS" + std::to_string(n - 1);
}

PortLinkResult LinkPort(const std::string &programFolder, std::int16_t n, const std::string &device)
{
    const fs::path link = PortLink(programFolder, n);
    if (n < kFirstPort || n > kLastPort)
        return {false, true, link.string(), "no port number " + std::to_string(n) + " (1..25)"};
    if (const std::optional<std::string> inTheWay = InTheWay(link))
        return {false, true, link.string(), *inTheWay};
    std::error_code error;
    if (device != BuiltInPortPath(n))
        ReplaceLink(link, device, error);
    else if (fs::is_symlink(fs::symlink_status(link, error)))
        fs::remove(link, error);
    else
        return {true, true, link.string(), {}}; // nothing to change
    if (error)
        return {false, true, link.string(), error.message()};
    const std::optional<std::string> unsynced = SyncFolder(link.parent_path());
    return {true, !unsynced, link.string(), unsynced.value_or("")};
}
