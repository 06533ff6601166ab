#include "logfile/logfile.h"

#include "support/FakeClock.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using logfile::LogWriter;

namespace
{

// How many of this process's descriptors are open on `file`.
int DescriptorsOf(const fs::path &file)
{
    int count = 0;
    for (const auto &fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        count += fs::read_symlink(fd.path(), error) == file ? 1 : 0;
    }
    return count;
}

class LogWriterTest : public ::testing::Test
{
protected:
    LogWriterTest() { writer.SetLogDirectory(tmp.Str()); }

    std::string Day(const std::string &name) const { return ReadFileBytes(tmp.Path() / name); }

    TempFolder tmp;
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    LogWriter writer{clock};
};

TEST_F(LogWriterTest, AppendsOneStampedLinePerCallToTheDaysFile)
{
    writer.WriteLogLine("A");
    writer.WriteLogLine("");
    clock.Set({2026, 12, 8, 14, 5, 10});
    writer.WriteLogLine("14:05:09 ->START: [STX]");

    EXPECT_EQ(Day("08122026.log"), "14:05:09 A\r\n"
                                   "14:05:09 \r\n"
                                   "14:05:10 14:05:09 ->START: [STX]\r\n");
    EXPECT_FALSE(writer.Failure());
    EXPECT_EQ(writer.KeptLineCount(), 0u);
}

TEST_F(LogWriterTest, FileNameFollowsTheDateAndSeparatesTheFolderOnce)
{
    clock.Set({2026, 12, 31, 23, 59, 59});
    writer.WriteLogLine("old year");
    clock.Set({2027, 1, 1, 0, 0, 1});
    writer.WriteLogLine("new year");

    EXPECT_EQ(Day("31122026.log"), "23:59:59 old year\r\n");
    EXPECT_EQ(Day("01012027.log"), "00:00:01 new year\r\n");

    writer.SetLogDirectory("/var/log/tamvi/");
    EXPECT_EQ(writer.LogFilePath({2026, 3, 4, 0, 0, 0}), "/var/log/tamvi/04032026.log");
    writer.SetLogDirectory("/var/log/tamvi");
    EXPECT_EQ(writer.LogFilePath({2026, 3, 4, 0, 0, 0}), "/var/log/tamvi/04032026.log");
}

// The day's file stays open between lines, yet each line is in the file when the call returns and
// the next line goes wherever an open per line would have put it.
TEST_F(LogWriterTest, TheNextLineFollowsTheFileAtItsPath)
{
    const fs::path folder = tmp.Path() / "logs";
    writer.SetLogDirectory(folder.string());
    writer.KeepFileOpen();
    writer.WriteLogLine("first");
    writer.WriteLogLine("second");
    EXPECT_EQ(ReadFileBytes(folder / "08122026.log"), "14:05:09 first\r\n14:05:09 second\r\n");
    EXPECT_EQ(DescriptorsOf(folder / "08122026.log"), 1);

    fs::rename(folder / "08122026.log", folder / "renamed.log");
    writer.WriteLogLine("after rename");
    EXPECT_EQ(ReadFileBytes(folder / "renamed.log"), "14:05:09 first\r\n14:05:09 second\r\n");
    fs::remove(folder / "08122026.log");
    writer.WriteLogLine("after removal");
    EXPECT_EQ(ReadFileBytes(folder / "08122026.log"), "14:05:09 after removal\r\n");

    writer.CloseFile();
    EXPECT_EQ(DescriptorsOf(folder / "08122026.log"), 0);

    writer.KeepFileOpen();
    writer.WriteLogLine("again");
    fs::remove_all(folder);
    std::ofstream(folder) << "a file where the folder was";
    writer.WriteLogLine("folder gone");
    ASSERT_TRUE(writer.Failure());
    EXPECT_EQ(writer.KeptLineCount(), 1u);
}

TEST_F(LogWriterTest, CreatesEveryMissingLevelOfTheFolder)
{
    const fs::path deep = tmp.Path() / "a" / "b" / "c";
    writer.SetLogDirectory(deep.string() + "/");
    writer.WriteLogLine("A");

    EXPECT_EQ(ReadFileBytes(deep / "08122026.log"), "14:05:09 A\r\n");
    EXPECT_FALSE(writer.Failure());
}

TEST_F(LogWriterTest, WritesEveryByteValueUnchanged)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    writer.WriteLogLine(all);

    EXPECT_EQ(Day("08122026.log"), "14:05:09 " + all + "\r\n");
}

// A folder path under a regular file fails for root too.
TEST_F(LogWriterTest, LinesWrittenWhileTheFolderFailsArriveLaterInTheirOwnFiles)
{
    const fs::path blocker = tmp.Path() / "blocker";
    std::ofstream(blocker) << "not a folder";
    writer.SetLogDirectory((blocker / "logs").string());

    clock.Set({2026, 12, 8, 23, 59, 58});
    writer.WriteLogLine("before midnight");
    ASSERT_TRUE(writer.Failure());
    EXPECT_EQ(writer.Failure()->path, (blocker / "logs" / "08122026.log").string());
    EXPECT_EQ(writer.Failure()->reason, "Not a directory");
    clock.Set({2026, 12, 9, 0, 0, 2});
    writer.WriteLogLine("after midnight");
    EXPECT_EQ(writer.KeptLineCount(), 2u);
    EXPECT_FALSE(writer.WriteKeptLines());

    fs::remove(blocker);
    clock.Set({2026, 12, 9, 0, 0, 5});
    writer.WriteLogLine("writing works again");

    EXPECT_EQ(ReadFileBytes(blocker / "logs" / "08122026.log"), "23:59:58 before midnight\r\n");
    EXPECT_EQ(ReadFileBytes(blocker / "logs" / "09122026.log"),
              "00:00:02 after midnight\r\n00:00:05 writing works again\r\n");
    EXPECT_FALSE(writer.Failure());
    EXPECT_EQ(writer.KeptLineCount(), 0u);
}

// Whatever is planted at the day file's name, nothing hangs and nothing is written through it:
// the line is kept and reaches the real file once the thing is gone.
TEST_F(LogWriterTest, AnythingButARegularFileAtTheNameKeepsTheLineUntilItIsGone)
{
    const fs::path day = tmp.Path() / "08122026.log";
    const fs::path target = tmp.Path() / "elsewhere";
    const std::pair<const char *, std::function<void()>> planted[] = {
        {"a named pipe", [&] { ::mkfifo(day.c_str(), 0666); }},
        {"a link to a file", [&] { fs::create_symlink(target, day); }},
        {"a link to a full device", [&] { fs::create_symlink("/dev/full", day); }},
        {"a folder", [&] { fs::create_directory(day); }},
    };
    std::ofstream(target) << "theirs";
    for (const auto &[what, plant] : planted) {
        SCOPED_TRACE(what);
        plant();
        writer.WriteLogLine(what);
        ASSERT_TRUE(writer.Failure());
        EXPECT_EQ(writer.Failure()->reason, "not a regular file");
        EXPECT_EQ(ReadFileBytes(target), "theirs");

        fs::remove(day);
        EXPECT_TRUE(writer.WriteKeptLines());
        EXPECT_EQ(Day("08122026.log"), "14:05:09 " + std::string(what) + "\r\n");
        EXPECT_FALSE(writer.Failure());
        fs::remove(day);
    }
}

// The file size limit makes the kernel accept only part of the line, then refuse the rest.
TEST_F(LogWriterTest, AWriteThatFailsPartWayLeavesNoFragment)
{
    writer.WriteLogLine("first");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = Day("08122026.log").size() + 5;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);

    writer.WriteLogLine("second");
    const bool failed = writer.Failure().has_value();
    const std::string during = Day("08122026.log");

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(during, "14:05:09 first\r\n");

    writer.WriteLogLine("third");
    EXPECT_EQ(Day("08122026.log"), "14:05:09 first\r\n14:05:09 second\r\n14:05:09 third\r\n");
}

TEST_F(LogWriterTest, LinesBeforeAFolderIsSetAreKeptUntilItIs)
{
    LogWriter fresh{clock};
    fresh.WriteLogLine("early");
    EXPECT_TRUE(fresh.Failure());
    EXPECT_EQ(fresh.KeptLineCount(), 1u);

    fresh.SetLogDirectory(tmp.Str());
    fresh.WriteLogLine("late");
    EXPECT_EQ(Day("08122026.log"), "14:05:09 early\r\n14:05:09 late\r\n");
}

// The status line comes after the kept lines, so the time stamps in a file never go backwards,
// and says since when lines are missing, the day included: they may lie in an earlier file.
TEST_F(LogWriterTest, OverflowDropsTheOldestAndReportsHowManyWereLostAfterTheKeptLines)
{
    const fs::path blocker = tmp.Path() / "blocker";
    std::ofstream(blocker) << "not a folder";
    writer.SetLogDirectory(blocker.string());
    clock.Set({2026, 12, 8, 14, 5, 7});
    writer.WriteLogLine("lost first");
    clock.Set({2026, 12, 8, 14, 5, 9});
    const std::size_t written = LogWriter::kMaxKeptLines + 11;
    for (std::size_t i = 0; i < written; ++i)
        writer.WriteLogLine(std::to_string(i));
    EXPECT_EQ(writer.KeptLineCount(), LogWriter::kMaxKeptLines);

    fs::remove(blocker);
    clock.Set({2026, 12, 8, 14, 7, 0});
    writer.WriteLogLine("resumed");

    std::string expected;
    for (std::size_t i = 11; i < written; ++i)
        expected += "14:05:09 " + std::to_string(i) + "\r\n";
    expected +=
        "14:07:00 resumed\r\n"
        "14:07:00 STATUS: 12 log lines lost from 08-12-2026 14:05:07 on while the log file " +
        (blocker / "08122026.log").string() + " could not be written\r\n";
    const std::string day = ReadFileBytes(blocker / "08122026.log");
    EXPECT_TRUE(day == expected) << day.substr(0, day.find('\n')) << " ... "
                                 << day.substr(day.rfind('\n', day.size() - 2));

    // Once reported, the count starts again.
    writer.WriteLogLine("next");
    EXPECT_EQ(ReadFileBytes(blocker / "08122026.log"), expected + "14:07:00 next\r\n");
}

// Yesterday's file cannot be written (a folder stands in its place): today's lines go to today's
// file all the same, the failure and the status line of what overflowed name yesterday's file,
// and its kept lines arrive in order once it can be written.
TEST_F(LogWriterTest, ADayFileThatFailsHoldsUpNoOtherDaysFile)
{
    const fs::path yesterday = tmp.Path() / "08122026.log";
    fs::create_directory(yesterday);
    clock.Set({2026, 12, 8, 23, 59, 58});
    for (std::size_t i = 0; i < LogWriter::kMaxKeptLines + 2; ++i)
        writer.WriteLogLine(std::to_string(i));
    clock.Set({2026, 12, 9, 0, 0, 1});
    writer.WriteLogLine("today");
    EXPECT_FALSE(writer.WriteKeptLines());
    writer.WriteLogLine("today again");

    EXPECT_EQ(Day("09122026.log"), "00:00:01 today\r\n"
                                   "00:00:01 STATUS: 2 log lines lost from 08-12-2026 23:59:58 on "
                                   "while the log file " +
                                       yesterday.string() +
                                       " could not be written\r\n"
                                       "00:00:01 today again\r\n");
    ASSERT_TRUE(writer.Failure());
    EXPECT_EQ(writer.Failure()->path, yesterday.string());
    EXPECT_EQ(writer.KeptLineCount(), LogWriter::kMaxKeptLines);

    fs::remove(yesterday);
    EXPECT_TRUE(writer.WriteKeptLines());
    const std::string kept = Day("08122026.log");
    EXPECT_EQ(kept.substr(0, 24), "23:59:58 2\r\n23:59:58 3\r\n");
    EXPECT_EQ(kept.substr(kept.size() - 16), "23:59:58 10001\r\n");
    EXPECT_FALSE(writer.Failure());
}

TEST_F(LogWriterTest, OverflowByBytesKeepsAtMostTheByteLimit)
{
    fs::create_directory(tmp.Path() / "08122026.log"); // a folder where the file goes
    const std::string mebibyte(1024 * 1024, 'x');
    for (int i = 0; i < 5; ++i)
        writer.WriteLogLine(mebibyte);
    EXPECT_EQ(writer.KeptLineCount(), 3u);
    EXPECT_EQ(writer.Failure()->reason, "not a regular file");

    fs::remove(tmp.Path() / "08122026.log");
    writer.WriteLogLine("");
    const std::string day = Day("08122026.log");
    const std::size_t status = 3 * (mebibyte.size() + 11) + 11;
    EXPECT_EQ(day.substr(status), "14:05:09 STATUS: 2 log lines lost from 08-12-2026 14:05:09 on "
                                  "while the log file " +
                                      (tmp.Path() / "08122026.log").string() +
                                      " could not be written\r\n");
}

} // namespace
