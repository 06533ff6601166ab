#pragma once

// A pseudo-terminal pair standing in for a serial line: the program under test opens the slave
// (through a ports/com<n> link), the test plays the device on the master. Both sides are raw, so
// every byte value passes unchanged. Qt-free, so core and end-to-end tests can use it alike.
//
// The slave stays open here until CloseSlave(): a pty whose slave was never opened, or whose slave
// descriptors are all closed, answers the master with EIO.

#include <pty.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <termios.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        slavePath_ = name;
        MakeRaw(master_);
        MakeRaw(slave_);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        // A program a test starts must not inherit the line's ends: closing the master would
        // then unplug nothing.
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
    }
    ~PtyPair()
    {
        CloseMaster();
        CloseSlave();
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    const std::string &SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Makes <programFolder>/ports/com<n> a link to the slave; returns the link's path.
    std::filesystem::path LinkAs(const std::filesystem::path &programFolder, int n) const
    {
        const auto ports = programFolder / "ports";
        std::filesystem::create_directories(ports);
        const auto link = ports / ("com" + std::to_string(n));
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
        std::filesystem::create_symlink(slavePath_, link);
        return link;
    }

    // Writes all bytes, waiting while the line is full; false when the timeout passes first or
    // the master fails.
    bool WriteAll(std::string_view bytes,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!bytes.empty()) {
            const ssize_t n = ::write(master_, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else if (!WaitFor(POLLOUT, deadline)) {
                return false;
            }
        }
        return true;
    }

    // Reads what arrives until `count` bytes are in or the timeout passes; returns what came.
    std::string Read(std::size_t count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string received;
        char buffer[4096];
        while (received.size() < count) {
            const std::size_t want = std::min(sizeof buffer, count - received.size());
            const ssize_t n = ::read(master_, buffer, want);
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else if (!WaitFor(POLLIN, deadline)) {
                break;
            }
        }
        return received;
    }

    // Closing the master is the pty's way of unplugging the device.
    void CloseMaster() { CloseFd(master_); }
    void CloseSlave() { CloseFd(slave_); }

private:
    static void MakeRaw(int fd)
    {
        termios attributes{};
        tcgetattr(fd, &attributes);
        cfmakeraw(&attributes);
        tcsetattr(fd, TCSANOW, &attributes);
    }
    static void CloseFd(int &fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    // False when the deadline passed before the master became ready.
    bool WaitFor(short events, std::chrono::steady_clock::time_point deadline) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd pfd{master_, events, 0};
        return ::poll(&pfd, 1, static_cast<int>(left.count())) >= 0;
    }

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
