#pragma once

// The daily, time-stamped log file. Every line is appended with one open-append-close, so other
// programs can read the file between lines. A line that cannot be written is kept in memory, in
// order and with its own time stamp, and written before the next line once writing works again.

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

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

    void SetLogDirectory(std::string directory);
    const std::string &LogDirectory() const { return directory_; }

    // Never throws and never blocks the caller beyond one file append per kept line.
    void WriteLogLine(std::string_view text);

    // Writes the kept lines without adding one, for an owner that should not wait for the next
    // line (a timer, shutdown). True when no line is kept any more.
    bool WriteKeptLines();

    // Set while the last attempt to write failed; cleared by the next write that works.
    const std::optional<WriteFailure> &Failure() const { return failure_; }
    std::size_t KeptLineCount() const { return kept_.size(); }

    // The file a line stamped at `when` goes to.
    std::string LogFilePath(const DateTime &when) const;

private:
    struct KeptLine {
        DateTime stamp;
        std::string line; // time stamp, blank, text, CR LF
    };

    // Lines dropped for want of room: how many, and the stamp of the earliest.
    struct LostLines {
        std::size_t count = 0;
        DateTime first;
    };

    void Keep(const DateTime &stamp, std::string_view text);
    void CountLost(const DateTime &stamp);
    bool WriteKept(const DateTime &now);
    void DropOldestBeyondLimits();
    bool Append(const DateTime &stamp, std::string_view line);
    bool CreateLogDirectory();

    const Clock &clock_;
    std::string directory_;
    std::deque<KeptLine> kept_;
    std::size_t keptBytes_ = 0;
    LostLines lost_;
    std::optional<WriteFailure> failure_;
};

} // namespace logfile
