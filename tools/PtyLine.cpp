#include "tools/PtyLine.h"

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

void MakeRaw(int fd)
{
    termios attributes{};
    if (tcgetattr(fd, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(fd, TCSANOW, &attributes);
    }
}

bool IsPtyLink(const fs::path &path)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)))
        return false;
    return fs::read_symlink(path, error).string().starts_with("/dev/pts/");
}

} // namespace

PtyLine::PtyLine()
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    slavePath_ = name;
    // A pty is its user's, group tty, 0620: a station, which runs as its own user in the group
    // dialout, could not open one that root made. Root gives it the serial devices' group.
    if (geteuid() == 0) {
        if (const group *dialout = getgrnam("dialout");
            dialout && fchown(slave_, -1, dialout->gr_gid) == 0)
            fchmod(slave_, 0660);
    }
    MakeRaw(master_);
    MakeRaw(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyLine::~PtyLine()
{
    Unlink();
    if (slave_ >= 0)
        close(slave_);
    if (master_ >= 0)
        close(master_);
}

bool PtyLine::Link(const fs::path &folder, int n, std::string &error)
{
    const fs::path ports = folder / "ports";
    const fs::path link = ports / ("com" + std::to_string(n));
    std::error_code ec;
    fs::create_directories(ports, ec);
    if (ec) {
        error = "cannot make " + ports.string() + ": " + ec.message();
        return false;
    }
    if (fs::exists(fs::symlink_status(link, ec)) && !IsPtyLink(link)) {
        error = link.string() + " exists and is not a pseudo-terminal link; left as it is";
        return false;
    }
    // Made under a temporary name and renamed over the old link, so that the program never
    // finds the port missing while a stale link is replaced.
    const fs::path temporary =
        ports / (".com" + std::to_string(n) + "." + std::to_string(getpid()));
    fs::remove(temporary, ec);
    fs::create_symlink(slavePath_, temporary, ec);
    if (!ec)
        fs::rename(temporary, link, ec);
    if (ec) {
        error = "cannot link " + link.string() + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    link_ = link;
    return true;
}

void PtyLine::Unlink()
{
    if (link_.empty())
        return;
    // Another device may have taken the name over since; its link is not ours to remove.
    std::error_code ec;
    if (fs::read_symlink(link_, ec) == fs::path(slavePath_))
        fs::remove(link_, ec);
    link_.clear();
}
