#pragma once

// The real program as a user runs it: the executable in a temporary program folder of its own,
// its tamvi.set, a pseudo-terminal linked as ports/com<n> on which the test plays the device, and
// the log files it writes. The program runs under the offscreen platform (or as a station
// without a display) and is ended as a session ends it, with SIGTERM.
//
//   RunningTamvi tamvi(PlainTextSettings(21));
//   ASSERT_TRUE(tamvi.Start());
//   tamvi.Pty().WriteAll("A\r\n");
//   ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas("A"); }, 10s));
//   EXPECT_EQ(tamvi.Terminate(), 0);

#include "settings/LeesIniFile.h"
#include "settings/SettingsRecord.h"
#include "support/LoggedTexts.h"
#include "support/PtyPair.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class RunningTamvi
{
public:
    // The window under the offscreen platform, or the station (--headless) with no display
    // variables at all.
    enum class Front { Window, Station };

    explicit RunningTamvi(const SettingsRecord &settings, Front front = Front::Window)
        : front_(front)
    {
        const auto program = folder_.Path() / "tamvi";
        // The program finds its folder from its own path: a hard link is enough, a copy does too.
        std::error_code linkError;
        std::filesystem::create_hard_link(TAMVI_EXECUTABLE, program, linkError);
        if (linkError)
            std::filesystem::copy_file(TAMVI_EXECUTABLE, program);
        EXPECT_TRUE(LeesIniFile::SchrijfIni(settings, folder_.Str()).ok);
        pty_.LinkAs(folder_.Path(), settings.compoort);
        logFolder_ = settings.logfilepath.empty() ? LeesIniFile::DefaultLogDirectory(folder_.Str())
                                                  : settings.logfilepath;
    }
    ~RunningTamvi()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    RunningTamvi(const RunningTamvi &) = delete;
    RunningTamvi &operator=(const RunningTamvi &) = delete;

    // Starts the program; true once its start line is in the log.
    bool Start(std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        const std::string program = (folder_.Path() / "tamvi").string();
        const std::string output = (folder_.Path() / "tamvi.out").string();
        // Everything the child needs is made before fork: after it, only exec-safe calls.
        std::vector<std::string> environment;
        if (front_ == Front::Window)
            environment.emplace_back("QT_QPA_PLATFORM=offscreen");
        for (char **entry = environ; *entry; ++entry) {
            const std::string_view variable(*entry);
            if (!variable.starts_with("QT_QPA_PLATFORM=") && !variable.starts_with("DISPLAY=") &&
                !variable.starts_with("WAYLAND_DISPLAY="))
                environment.emplace_back(variable);
        }
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string headless = "--headless";
        char *argv[] = {const_cast<char *>(program.c_str()),
                        front_ == Front::Station ? headless.data() : nullptr, nullptr};

        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            // The device's end of the line must not live on in the program.
            ::close_range(3, ~0U, 0);
            ::execve(program.c_str(), argv, envp.data());
            ::_exit(127);
        }
        return pid_ > 0 &&
               WaitUntil([&] { return LogHas("Tamvi van Dranel BV gestart"); }, timeout);
    }

    // `signal` (0: none, the program ends by itself), then the exit status (-1 when it did not
    // end normally within the timeout).
    int Terminate(int signal = SIGTERM, std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        ::kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (ended != pid_)
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Looks without reaping, so that Terminate() still gets the exit status.
    bool Running() const
    {
        siginfo_t info{};
        return pid_ > 0 && ::waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }
    PtyPair &Pty() { return pty_; }
    const std::filesystem::path &Folder() const { return folder_.Path(); }
    std::string Output() const { return ReadFileBytes(folder_.Path() / "tamvi.out"); }

    // Resident memory and CPU time used so far, from /proc.
    long VmRssKiB() const
    {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0)
                return std::stol(line.substr(6));
        }
        return -1;
    }
    double CpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                utime = std::stoull(field);
            if (i == 15)
                stime = std::stoull(field);
        }
        return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
    }

    // Every log file of `folder` (default: the program's log folder), oldest day first.
    std::vector<std::filesystem::path> LogFiles(std::string folder = {}) const
    {
        return ::LogFiles(folder.empty() ? logFolder_ : folder);
    }
    // Their bytes one after the other; ParseLog (support/LoggedTexts.h) takes them apart.
    std::string LogBytes(std::string folder = {}) const
    {
        return LogFolderBytes(folder.empty() ? logFolder_ : folder);
    }
    std::uintmax_t LogSize() const
    {
        std::uintmax_t size = 0;
        std::error_code error;
        for (const auto &file : LogFiles())
            size += std::filesystem::file_size(file, error);
        return size;
    }
    bool LogHas(const std::string &text) const
    {
        return LogBytes().find(text) != std::string::npos;
    }

    template <typename Predicate>
    static bool WaitUntil(Predicate done, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    const Front front_;
    TempFolder folder_;
    PtyPair pty_;
    std::string logFolder_;
    pid_t pid_ = -1;
};
