#pragma once

// The daily, time-stamped log file. Every line is handed to the system as soon as it is written,
// so `tail -f` and other programs see it at once. The day's file stays open only while its owner
// writes many lines in a row (a receive tick), and it is opened again when the day changes or
// when the file at its path is no longer the one open. A line that
// cannot be written is kept in memory, in order and with its own time stamp, and written before
// the next line of its file once writing works again; a file that fails holds up no other file.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct stat;

namespace logfile
{

struct DateTime {
    int year = 2000;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;

    auto operator<=>(const DateTime &) const = default; // earlier is less
};

class Clock
{
public:
    virtual ~Clock() = default;
    virtual DateTime Now() const = 0;
};

// Local time of the machine.
class SystemClock final : public Clock
{
public:
    DateTime Now() const override;

private:
    mutable std::time_t second_ = -1;
    mutable DateTime local_;
};

// Why writing fails right now: the file that could not be written and the system's reason.
struct WriteFailure {
    std::string path;
    std::string reason;
};

class LogWriter
{
public:
    static constexpr std::size_t kMaxKeptLines = 10'000;
    static constexpr std::size_t kMaxKeptBytes = 4 * 1024 * 1024;

    explicit LogWriter(const Clock &clock);
    ~LogWriter();
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;

    void SetLogDirectory(std::string directory);
    const std::string &LogDirectory() const { return directory_; }

    // Never throws and never blocks the caller beyond one file append per kept line.
    void WriteLogLine(std::string_view text);

    // Writes the kept lines without adding one, for an owner that should not wait for the next
    // line (a timer, shutdown). True when no line is kept any more.
    bool WriteKeptLines();

    // Many lines in a row (a receive tick's): the day's file stays open from line to line until
    // CloseFile. Otherwise each line opens and closes it, so no file stays open between events.
    void KeepFileOpen() { keepOpen_ = true; }
    // Every line written is with the system already.
    void CloseFile();

    // Set while the last attempt failed for some file (the earliest day's that failed); cleared
    // once every kept line is written.
    const std::optional<WriteFailure> &Failure() const { return failure_; }
    std::size_t KeptLineCount() const;
    // The kept lines and those dropped for want of room that no status line has counted yet.
    std::size_t UnwrittenLineCount() const;

    // The file a line stamped at `when` goes to.
    std::string LogFilePath(const DateTime &when) const;

private:
    struct KeptLine {
        DateTime stamp;
        std::string line; // time stamp, blank, text, CR LF
    };

    // What waits for one day's file: its lines in the order they came, and how many of its lines
    // were dropped for want of room (since the stamp of the earliest), still to be reported.
    struct KeptDay {
        DateTime day; // the time of day is 0
        std::deque<KeptLine> lines;
        std::size_t lost = 0;
        DateTime firstLost;
    };

    // What tells the file at a path from another one put there since it was opened.
    struct FileIdentity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint32_t mode = 0;
        std::uint32_t owner = 0;
        std::uint32_t group = 0;

        bool operator==(const FileIdentity &) const = default;
    };
    static FileIdentity IdentityOf(const struct stat &status);

    struct OpenFile {
        int fd = -1;
        DateTime day;
        std::string path;
        FileIdentity identity;
    };

    const std::string &StampedLine(const DateTime &stamp, std::string_view text);
    void Keep(const DateTime &stamp, std::string_view text);
    static void CountLost(KeptDay &day, const DateTime &stamp);
    bool WriteKept(const DateTime &now);
    std::optional<WriteFailure> WriteLines(KeptDay &day);
    std::optional<WriteFailure> ReportLost(KeptDay &day, const DateTime &now);
    void DropOldestBeyondLimits();
    std::optional<WriteFailure> Append(const DateTime &stamp, std::string_view line);
    bool IsOpenFor(const DateTime &day) const;
    std::optional<WriteFailure> Open(const DateTime &day);
    void Close();

    const Clock &clock_;
    std::string directory_;
    std::vector<KeptDay> kept_; // in the order their first lines came
    std::size_t keptBytes_ = 0;
    std::optional<WriteFailure> failure_;
    OpenFile file_;
    bool keepOpen_ = false;
    std::string line_; // the line being written, its room kept from line to line
};

} // namespace logfile
