// The real program keeps receiving while its log folder goes away, is replaced by a file and
// fills up; once the folder is usable again every line is there, in order, each with the time
// it was received. Root ignores file permissions, so the faults are ones that stop root too.

#include "reliability/RunningTamvi.h"
#include "reliability/StreamRun.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLineInterval = 20ms;
// A line is stamped within a receive tick of being sent; a busy machine may delay a tick, so the
// stamp may be up to kStampSlack seconds late. Faults last well beyond that: a line stamped when
// it was finally written instead of when it was received would show.
constexpr int kStampSlack = 2;
constexpr auto kFaultTime = 3500ms;

std::tm LocalNow(std::time_t offset = 0)
{
    const std::time_t now = std::time(nullptr) + offset;
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

int SecondOfDayNow()
{
    const std::tm local = LocalNow();
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

int Today()
{
    const std::tm local = LocalNow();
    return local.tm_year * 1000 + local.tm_yday;
}

// A small file system of its own where mounting is allowed, so that "full" is real.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(const fs::path &where) : where_(where)
    {
        fs::create_directories(where_);
        mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", 0, "size=512k") == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool Mounted() const { return mounted_; }

    // Takes every free byte; removing the file gives them back.
    void Fill(const fs::path &filler) const
    {
        std::ofstream out(filler, std::ios::binary);
        const std::string block(4096, 'x');
        while (out.write(block.data(), block.size()) && out.flush()) {
        }
    }

private:
    fs::path where_;
    bool mounted_ = false;
};

// Sends "#00000" CR LF, "#00001" ... at a steady pace and notes the second each one left.
class PacedSender
{
public:
    explicit PacedSender(PtyPair &pty) : pty_(pty), thread_([this] { Run(); }) {}
    ~PacedSender() { Stop(); }

    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::vector<int> SentSeconds() const
    {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    static std::string Text(std::size_t n)
    {
        char text[16];
        std::snprintf(text, sizeof text, "#%05zu", n);
        return text;
    }

private:
    void Run()
    {
        for (std::size_t n = 0; !stop_; ++n) {
            const int second = SecondOfDayNow();
            if (!pty_.WriteAll(Text(n) + "\r\n"))
                return;
            {
                std::lock_guard lock(mutex_);
                sent_.push_back(second);
            }
            std::this_thread::sleep_for(kLineInterval);
        }
    }

    PtyPair &pty_;
    mutable std::mutex mutex_;
    std::vector<int> sent_;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

TEST(LogFolderFaults, EveryLineArrivesInOrderWithItsOwnStampOnceTheFolderWorksAgain)
{
    const TempFolder space;
    const SmallFileSystem small(space.Path() / "disk");
    const fs::path logs = space.Path() / "disk" / "logs";
    SettingsRecord settings = PlainTextSettings(24);
    settings.logfilepath = logs.string();
    RunningTamvi tamvi(settings);
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();
    const int startDay = Today();

    // Folders taken out of the program's way, in order; the log is their files, then the current.
    std::vector<fs::path> retired;
    const auto retire = [&] {
        retired.push_back(logs.parent_path() / ("retired" + std::to_string(retired.size())));
        fs::rename(logs, retired.back());
    };

    PacedSender sender(tamvi.Pty());
    std::this_thread::sleep_for(1s);

    // Removed: the next line makes the folder again.
    retire();
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(fs::is_directory(logs));

    // Replaced by a file: nothing can be written until the file goes.
    retire();
    std::ofstream(logs) << "not a folder";
    std::this_thread::sleep_for(kFaultTime);
    fs::remove(logs);
    std::this_thread::sleep_for(1s);

    // Full: a write fails part way or at once, and nothing of it may stay behind.
    std::string fullHow;
    if (small.Mounted()) {
        fullHow = "a full tmpfs";
        small.Fill(space.Path() / "disk" / "filler");
        // The log file still grows into the free part of its last page; then nothing fits.
        std::uintmax_t sizeBefore = tamvi.LogSize();
        for (int settled = 0; settled < 3; sizeBefore = tamvi.LogSize()) {
            std::this_thread::sleep_for(200ms);
            settled = tamvi.LogSize() == sizeBefore ? settled + 1 : 0;
        }
        std::this_thread::sleep_for(kFaultTime);
        EXPECT_EQ(tamvi.LogSize(), sizeBefore) << "a line got into the full file system";
        fs::remove(space.Path() / "disk" / "filler");
    } else {
        fullHow = "/dev/full through a link (mounting is not allowed here)";
        retire();
        fs::create_directory(logs);
        for (int day = -1; day <= 1; ++day) { // whichever date the program is at
            const std::tm local = LocalNow(day * 86400);
            char name[32];
            std::strftime(name, sizeof name, "%d%m%Y.log", &local);
            fs::create_symlink("/dev/full", logs / name);
        }
        std::this_thread::sleep_for(kFaultTime);
        fs::remove_all(logs);
    }
    std::this_thread::sleep_for(1s);
    sender.Stop();
    const std::vector<int> sent = sender.SentSeconds();
    const std::string last = PacedSender::Text(sent.size() - 1);
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas(last); }, 30s))
        << "the last line never arrived (full: " << fullHow << ")";
    ASSERT_EQ(tamvi.Terminate(), 0) << tamvi.Output();
    if (Today() != startDay)
        GTEST_SKIP() << "the run crossed midnight: its stamps cannot be compared";

    std::string bytes;
    for (const fs::path &folder : retired)
        bytes += tamvi.LogBytes(folder.string());
    bytes += tamvi.LogBytes();
    std::size_t next = 0;
    for (const LogLine &line : ParseLog(bytes)) {
        EXPECT_EQ(line.text.find("lost"), std::string::npos) << line.text;
        if (!line.text.starts_with("#"))
            continue;
        ASSERT_LT(next, sent.size()) << line.text;
        ASSERT_EQ(line.text, PacedSender::Text(next)) << "a line missing or out of order";
        // Stamped when received, within a receive tick of being sent, not when finally written.
        EXPECT_GE(line.second, sent[next]) << line.text;
        EXPECT_LE(line.second, sent[next] + kStampSlack)
            << line.text << " (full: " << fullHow << ")";
        ++next;
    }
    EXPECT_EQ(next, sent.size()) << "lines missing from the log";
    std::printf("%zu lines through three log folder faults (full: %s)\n", sent.size(),
                fullHow.c_str());
}

} // namespace

namespace
{

// A named pipe planted at the day file's name, with no reader: the station neither hangs in the
// open nor writes into the pipe, a signal still ends it, and the lines it could not write are
// named on standard error with a failing status.
TEST(LogFolderFaults, APipeAtTheDayFileNeitherHangsTheRunNorPassesForSuccess)
{
    SettingsRecord settings = PlainTextSettings(24);
    RunningTamvi tamvi(settings, RunningTamvi::Front::Station);
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();
    ASSERT_EQ(tamvi.LogFiles().size(), 1u);
    const fs::path day = tamvi.LogFiles()[0];
    fs::rename(day, day.string() + ".before");
    ASSERT_EQ(::mkfifo(day.c_str(), 0666), 0);
    ASSERT_TRUE(tamvi.Pty().WriteAll("after the pipe\r\n"));
    std::this_thread::sleep_for(1s);

    EXPECT_EQ(tamvi.Terminate(SIGTERM, 10s), 1) << tamvi.Output();
    EXPECT_NE(tamvi.Output().find("tamvi: 3 log lines not written: " + day.string() +
                                  ": not a regular file"),
              std::string::npos)
        << tamvi.Output();
    EXPECT_EQ(fs::symlink_status(day).type(), fs::file_type::fifo);
}

} // namespace
