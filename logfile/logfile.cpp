#include "logfile/logfile.h"

#include "conversions/Windows1252.h"
#include "logfile/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace logfile
{

namespace
{

DateTime DayOf(const DateTime &stamp)
{
    return {stamp.year, stamp.month, stamp.day, 0, 0, 0};
}

std::string SystemReason(int error)
{
    return std::generic_category().message(error);
}

// The date is in it because the lost lines may belong to an earlier day's file.
std::string LostLinesText(std::size_t count, const DateTime &first, const std::string &path)
{
    char since[64];
    std::snprintf(since, sizeof since, "%02d-%02d-%04d %02d:%02d:%02d", first.day, first.month,
                  first.year, first.hour, first.minute, first.second);
    return "STATUS: " + std::to_string(count) + (count == 1 ? " log line" : " log lines") +
           " lost from " + since + " on while the log file " + Windows1252::TextFromNative(path) +
           " could not be written";
}

// Hands all of `bytes` to the file. Returns 0, or the error of the write that failed; one that
// fails part way cuts its fragment off again, so that the retry of the kept line does not leave
// half a line in front of the whole one.
int WriteAll(int fd, std::string_view bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        const int error = count < 0 ? errno : EIO;
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        if (written > 0 && end >= 0 && ::ftruncate(fd, end - static_cast<off_t>(written)) != 0) {
            // Nothing more to do: the line stays kept and is written whole later.
        }
        return error;
    }
    return 0;
}

} // namespace

// Asked once per line: the local time is worked out once per second.
DateTime SystemClock::Now() const
{
    const std::time_t now = std::time(nullptr);
    if (now == second_)
        return local_;
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return {};
    second_ = now;
    local_ = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
              local.tm_hour,        local.tm_min,     local.tm_sec};
    return local_;
}

LogWriter::LogWriter(const Clock &clock) : clock_(clock) {}

LogWriter::~LogWriter()
{
    Close();
}

void LogWriter::SetLogDirectory(std::string directory)
{
    if (directory != directory_)
        Close();
    directory_ = std::move(directory);
}

std::string LogWriter::LogFilePath(const DateTime &when) const
{
    char name[48];
    std::snprintf(name, sizeof name, "%02d%02d%04d.log", when.day, when.month, when.year);
    std::string path = directory_;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + name;
}

std::size_t LogWriter::KeptLineCount() const
{
    std::size_t count = 0;
    for (const KeptDay &day : kept_)
        count += day.lines.size();
    return count;
}

std::size_t LogWriter::UnwrittenLineCount() const
{
    std::size_t count = 0;
    for (const KeptDay &day : kept_)
        count += day.lines.size() + day.lost;
    return count;
}

void LogWriter::WriteLogLine(std::string_view text)
{
    const DateTime now = clock_.Now();
    if (kept_.empty()) {
        // The usual case: nothing waits, so the line goes straight to its file.
        try {
            failure_ = Append(now, StampedLine(now, text));
        } catch (const std::bad_alloc &) {
            failure_ = WriteFailure{directory_, SystemReason(ENOMEM)};
        }
        if (failure_)
            Keep(now, text);
    } else {
        Keep(now, text);
        WriteKept(now);
        DropOldestBeyondLimits();
    }
    if (!keepOpen_)
        Close();
}

bool LogWriter::WriteKeptLines()
{
    const bool written = kept_.empty() || WriteKept(clock_.Now());
    if (!keepOpen_)
        Close();
    return written;
}

// "HH:MM:SS text" and CR LF, the text unchanged whatever bytes it holds.
const std::string &LogWriter::StampedLine(const DateTime &stamp, std::string_view text)
{
    line_.clear();
    for (const int part : {stamp.hour, stamp.minute, stamp.second}) {
        line_ += static_cast<char>('0' + part / 10 % 10);
        line_ += static_cast<char>('0' + part % 10);
        line_ += ':';
    }
    line_.back() = ' ';
    line_.append(text).append("\r\n");
    return line_;
}

// Every line of a day goes through its queue, so a new line never overtakes a kept one.
void LogWriter::Keep(const DateTime &stamp, std::string_view text)
{
    const DateTime day = DayOf(stamp);
    auto kept = std::find_if(kept_.begin(), kept_.end(),
                             [&](const KeptDay &waiting) { return waiting.day == day; });
    try {
        if (kept == kept_.end())
            kept = kept_.insert(kept_.end(), KeptDay{day, {}, 0, {}});
        kept->lines.push_back({stamp, StampedLine(stamp, text)});
        keptBytes_ += kept->lines.back().line.size();
    } catch (const std::bad_alloc &) {
        // No memory to hold it; the day's status line counts it, if the day could be kept.
        if (kept != kept_.end())
            CountLost(*kept, stamp);
    }
}

void LogWriter::CountLost(KeptDay &day, const DateTime &stamp)
{
    if (day.lost == 0 || stamp < day.firstLost)
        day.firstLost = stamp;
    ++day.lost;
}

// Only after the attempt to write, so that a full queue loses nothing once writing works again.
// The oldest line goes first, whichever day's file it waits for.
void LogWriter::DropOldestBeyondLimits()
{
    while (keptBytes_ > kMaxKeptBytes || KeptLineCount() > kMaxKeptLines) {
        KeptDay *oldest = nullptr;
        for (KeptDay &day : kept_) {
            if (!day.lines.empty() &&
                (oldest == nullptr || day.lines.front().stamp < oldest->lines.front().stamp))
                oldest = &day;
        }
        if (oldest == nullptr)
            return;
        keptBytes_ -= oldest->lines.front().line.size();
        CountLost(*oldest, oldest->lines.front().stamp);
        oldest->lines.pop_front();
    }
}

// Each day's file in turn: its lines oldest first, stopping at its first failure, so a file that
// fails costs one attempt per call and holds up no other file. The status line of a day's lost
// lines goes to the current day's file once that file's own kept lines are in, so the time
// stamps in a file never go backwards.
bool LogWriter::WriteKept(const DateTime &now)
{
    std::optional<WriteFailure> first;
    bool nowWritten = true;
    for (KeptDay &day : kept_) {
        std::optional<WriteFailure> failure = WriteLines(day);
        if (failure && day.day == DayOf(now))
            nowWritten = false;
        if (failure && !first)
            first = std::move(failure);
    }
    for (KeptDay &day : kept_) {
        if (day.lost == 0 || !nowWritten)
            continue;
        std::optional<WriteFailure> failure = ReportLost(day, now);
        nowWritten = !failure;
        if (failure && !first)
            first = std::move(failure);
    }
    std::erase_if(kept_, [](const KeptDay &day) { return day.lines.empty() && day.lost == 0; });
    failure_ = std::move(first);
    return kept_.empty();
}

std::optional<WriteFailure> LogWriter::WriteLines(KeptDay &day)
{
    while (!day.lines.empty()) {
        if (std::optional<WriteFailure> failure =
                Append(day.lines.front().stamp, day.lines.front().line))
            return failure;
        keptBytes_ -= day.lines.front().line.size();
        day.lines.pop_front();
    }
    return std::nullopt;
}

std::optional<WriteFailure> LogWriter::ReportLost(KeptDay &day, const DateTime &now)
{
    try {
        const std::string text = LostLinesText(day.lost, day.firstLost, LogFilePath(day.day));
        if (std::optional<WriteFailure> failure = Append(now, StampedLine(now, text)))
            return failure;
        day.lost = 0;
        return std::nullopt;
    } catch (const std::bad_alloc &) {
        return WriteFailure{directory_, SystemReason(ENOMEM)}; // reported at a later call
    }
}

std::optional<WriteFailure> LogWriter::Append(const DateTime &stamp, std::string_view line)
{
    if (directory_.empty())
        return WriteFailure{LogFilePath(stamp), "no log folder is set"};
    const DateTime day = DayOf(stamp);
    if (!IsOpenFor(day)) {
        Close();
        if (std::optional<WriteFailure> failure = Open(day))
            return failure;
    }
    if (const int error = WriteAll(file_.fd, line); error != 0) {
        WriteFailure failure{file_.path, SystemReason(error)};
        Close();
        return failure;
    }
    return std::nullopt;
}

// The open file serves the next line only while it is still the file at its path, with the
// owner and permissions it was opened with: a renamed or removed file, a folder put in its
// place or taken away is noticed at the next line as an open per line would notice it.
bool LogWriter::IsOpenFor(const DateTime &day) const
{
    if (file_.fd < 0 || file_.day != day)
        return false;
    struct stat status {
    };
    return ::lstat(file_.path.c_str(), &status) == 0 && IdentityOf(status) == file_.identity;
}

std::optional<WriteFailure> LogWriter::Open(const DateTime &day)
{
    std::string path = LogFilePath(day);
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT;
    RegularFile::Opened opened =
        RegularFile::Open(path, kFlags, 0666, RegularFile::LastLink::Refuse);
    if (opened.missing) {
        std::error_code error;
        std::filesystem::create_directories(directory_, error);
        if (error)
            return WriteFailure{directory_, error.message()};
        opened = RegularFile::Open(path, kFlags, 0666, RegularFile::LastLink::Refuse);
    }
    struct stat status {
    };
    if (opened.fd < 0)
        return WriteFailure{path, opened.failure};
    if (::fstat(opened.fd, &status) != 0) {
        WriteFailure failure{path, SystemReason(errno)};
        ::close(opened.fd);
        return failure;
    }
    file_ = {opened.fd, day, std::move(path), IdentityOf(status)};
    return std::nullopt;
}

void LogWriter::CloseFile()
{
    keepOpen_ = false;
    Close();
}

void LogWriter::Close()
{
    if (file_.fd < 0)
        return;
    // The lines are with the system already; a failing close cannot take them back.
    ::close(file_.fd);
    file_.fd = -1;
}

LogWriter::FileIdentity LogWriter::IdentityOf(const struct stat &status)
{
    return {status.st_dev, status.st_ino, status.st_mode, status.st_uid, status.st_gid};
}

} // namespace logfile
