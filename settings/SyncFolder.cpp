#include "settings/SyncFolder.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

std::optional<std::string> SyncFolder(const std::filesystem::path &folder)
{
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    if (!synced)
        return std::strerror(error);
    return std::nullopt;
}
