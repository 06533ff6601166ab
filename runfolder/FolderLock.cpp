#include "runfolder/FolderLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace
{

flock WholeFile(short type)
{
    flock lock{};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

// Who holds the lock, as the system says it; a holder in another PID namespace has no number.
std::string InUse(int fd)
{
    flock holder = WholeFile(F_WRLCK);
    if (::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK && holder.l_pid > 0)
        return "in use by another Tamvi (process " + std::to_string(holder.l_pid) + ")";
    return "in use by another Tamvi";
}

} // namespace

// A process-associated lock (F_SETLK), unlike an open file description's, lets F_GETLK name the
// holder's process. It is released when this process closes any descriptor of the file, so only
// this class opens it.
FolderLock::FolderLock(const std::string &folder)
{
    const std::string file = (std::filesystem::path(folder) / kFileName).string();
    // Opening an existing file creates and changes nothing; the first run leaves it for the next.
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        failure_ = std::string(std::strerror(errno)) + " (" + kFileName + ")";
        return;
    }
    flock lock = WholeFile(F_WRLCK);
    if (::fcntl(fd_, F_SETLK, &lock) == 0)
        return;
    failure_ = errno == EACCES || errno == EAGAIN
                   ? InUse(fd_)
                   : std::string(std::strerror(errno)) + " (" + kFileName + ")";
    ::close(fd_);
    fd_ = -1;
}

FolderLock::~FolderLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}
