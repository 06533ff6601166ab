#include "logfile/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile
{

Opened Open(const std::string &path, int flags, mode_t mode, LastLink lastLink)
{
    const bool follow = lastLink == LastLink::Follow;
    // Looked at before the open too: opening a serial device, even to refuse it, raises its lines.
    struct stat status = {};
    const int looked = follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status);
    if (looked == 0 && !S_ISREG(status.st_mode))
        return {-1, kNotRegular};
    flags |= O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.c_str(), flags, mode);
    if (fd < 0) {
        const int error = errno;
        // A link or a pipe put there since the look: O_NOFOLLOW and a pipe without a reader say
        // so in their own words.
        if (error == ELOOP || error == ENXIO)
            return {-1, kNotRegular};
        return {-1, std::strerror(error), error == ENOENT};
    }
    // Replaced since the look: the open itself is what counts.
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = errno;
        ::close(fd);
        return {-1, S_ISREG(status.st_mode) ? std::strerror(error) : kNotRegular};
    }
    return {fd, {}};
}

} // namespace RegularFile
