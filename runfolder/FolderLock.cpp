#include "runfolder/FolderLock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{

// The process that took the flock on the folder open as `fd`, as /proc/locks tells it to this
// process; 0 when it does not (no /proc, or a holder in a PID namespace this one cannot see).
long Holder(int fd)
{
    struct stat folder = {};
    std::FILE *locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr)
        return 0;
    long holder = 0;
    if (::fstat(fd, &folder) == 0) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; waiters' lines start "1: ->".
        char line[256];
        while (holder == 0 && std::fgets(line, sizeof line, locks)) {
            char kind[16] = {};
            long pid = 0;
            unsigned major = 0;
            unsigned minor = 0;
            unsigned long inode = 0;
            if (std::sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &major, &minor,
                            &inode) == 5 &&
                std::strcmp(kind, "FLOCK") == 0 && major == ::major(folder.st_dev) &&
                minor == ::minor(folder.st_dev) && inode == folder.st_ino)
                holder = pid;
        }
    }
    std::fclose(locks);
    return holder > 0 ? holder : 0;
}

std::string InUse(int fd)
{
    const long holder = Holder(fd);
    return holder > 0 ? "in use by another Tamvi (process " + std::to_string(holder) + ")"
                      : "in use by another Tamvi";
}

} // namespace

// flock belongs to the open file description: only this descriptor's close, or the end of the
// process, releases it. A folder opened read-only can be locked by anyone who may enter it, so a
// folder that root once ran in stays usable by its owner.
FolderLock::FolderLock(const std::string &folder)
{
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        failure_ = std::strerror(errno);
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
        return;
    taken_ = errno == EWOULDBLOCK;
    failure_ = taken_ ? InUse(fd_) : std::strerror(errno);
    ::close(fd_);
    fd_ = -1;
}

FolderLock::~FolderLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}
