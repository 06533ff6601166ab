#include "logfile/logfile.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace logfile
{

namespace
{

// "HH:MM:SS text" and CR LF, the text unchanged whatever bytes it holds.
std::string StampedLine(const DateTime &stamp, std::string_view text)
{
    char time[48];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d ", stamp.hour, stamp.minute, stamp.second);
    std::string line;
    line.reserve(std::char_traits<char>::length(time) + text.size() + 2);
    line.append(time).append(text).append("\r\n");
    return line;
}

// The date is in it because the lost lines may belong to an earlier day's file.
std::string LostLinesText(std::size_t count, const DateTime &first)
{
    char since[64];
    std::snprintf(since, sizeof since, "%02d-%02d-%04d %02d:%02d:%02d", first.day, first.month,
                  first.year, first.hour, first.minute, first.second);
    return "STATUS: " + std::to_string(count) + (count == 1 ? " log line" : " log lines") +
           " lost from " + since + " on while the log file could not be written";
}

// Appends all of `bytes` with one open-append-close. Returns 0, or the error of the step that
// failed. A write that fails part way cuts its fragment off again, so that the retry of the kept
// line does not leave half a line in front of the whole one.
int AppendToFile(const std::string &path, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    std::size_t written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EINTR) {
            error = errno;
            break;
        } else if (count == 0) {
            error = EIO;
            break;
        }
    }
    if (error != 0 && written > 0) {
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        if (end >= 0 && ::ftruncate(fd, end - static_cast<off_t>(written)) != 0) {
            // Nothing more to do: the line stays kept and is written whole later.
        }
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

} // namespace

DateTime SystemClock::Now() const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return {};
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

LogWriter::LogWriter(const Clock &clock) : clock_(clock) {}

void LogWriter::SetLogDirectory(std::string directory)
{
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

void LogWriter::WriteLogLine(std::string_view text)
{
    const DateTime now = clock_.Now();
    Keep(now, text);
    WriteKept(now);
    DropOldestBeyondLimits();
}

bool LogWriter::WriteKeptLines()
{
    return WriteKept(clock_.Now());
}

// Every line goes through the queue, so a new line never overtakes a kept one.
void LogWriter::Keep(const DateTime &stamp, std::string_view text)
{
    try {
        kept_.push_back({stamp, StampedLine(stamp, text)});
        keptBytes_ += kept_.back().line.size();
    } catch (const std::bad_alloc &) {
        CountLost(stamp); // no memory to hold it; the status line counts it
    }
}

void LogWriter::CountLost(const DateTime &stamp)
{
    if (lost_.count == 0 || stamp < lost_.first)
        lost_.first = stamp;
    ++lost_.count;
}

// Only after the attempt to write, so that a full queue loses nothing once writing works again.
void LogWriter::DropOldestBeyondLimits()
{
    while (kept_.size() > kMaxKeptLines || keptBytes_ > kMaxKeptBytes) {
        keptBytes_ -= kept_.front().line.size();
        CountLost(kept_.front().stamp);
        kept_.pop_front();
    }
}

// Oldest first, stopping at the first failure: while writing fails, a call costs one attempt.
// The status line of lost lines comes after the kept ones, so time stamps never go backwards.
bool LogWriter::WriteKept(const DateTime &now)
{
    try {
        while (!kept_.empty()) {
            if (!Append(kept_.front().stamp, kept_.front().line))
                return false;
            keptBytes_ -= kept_.front().line.size();
            kept_.pop_front();
        }
        if (lost_.count > 0) {
            if (!Append(now, StampedLine(now, LostLinesText(lost_.count, lost_.first))))
                return false;
            lost_ = {};
        }
        return true;
    } catch (const std::bad_alloc &) {
        return false; // the lines stay kept for the next call
    }
}

bool LogWriter::Append(const DateTime &stamp, std::string_view line)
{
    const std::string path = LogFilePath(stamp);
    if (directory_.empty()) {
        failure_ = WriteFailure{path, "no log folder is set"};
        return false;
    }
    int error = AppendToFile(path, line);
    if (error == ENOENT) {
        if (!CreateLogDirectory())
            return false;
        error = AppendToFile(path, line);
    }
    if (error != 0) {
        failure_ = WriteFailure{path, std::generic_category().message(error)};
        return false;
    }
    failure_.reset();
    return true;
}

bool LogWriter::CreateLogDirectory()
{
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (error) {
        failure_ = WriteFailure{directory_, error.message()};
        return false;
    }
    return true;
}

} // namespace logfile
