#pragma once

// The one reader of the daily log files for every test. A log line is "hh:mm:ss text" and CR LF;
// a line without its CR LF or without its stamp fails the calling test.
//
//   LoggedTexts(log, clock.Now())        the texts of one day's file, without their stamps
//   ReadLog(file), ParseLog(bytes)       the lines with their stamps
//   LogFolderBytes(folder)               the raw bytes of every day in a folder, oldest first
//   LogReader reader(bytes); reader.Next()  the lines one by one without copying (long runs)

#include "logfile/logfile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

// One line of a log file: its stamp "hh:mm:ss", the stamp as seconds of the day, and its text.
struct LogLine {
    std::string stamp;
    int second = -1; // -1: no valid stamp
    std::string text;
};

// Whether the last line may still be on its way. The log of a program that is still running
// (another process) can end in the part of a line that its write has not finished yet: `Growing`
// leaves that part out instead of failing.
enum class LogEnd { Finished, Growing };

// Walks log bytes line by line; the views point into the bytes it was given.
class LogReader
{
public:
    struct Line {
        std::string_view stamp;
        int second = -1;
        std::string_view text;
    };
    static constexpr std::size_t kStamp = 9; // "14:05:09 "

    explicit LogReader(std::string_view bytes, LogEnd end = LogEnd::Finished)
        : bytes_(bytes), end_(end)
    {
    }

    // The next line; nothing at the end of the bytes or at a line without CR LF.
    std::optional<Line> Next()
    {
        if (pos_ >= bytes_.size())
            return std::nullopt;
        const std::size_t end = bytes_.find("\r\n", pos_);
        if (end == std::string_view::npos) {
            if (end_ == LogEnd::Finished)
                ADD_FAILURE() << "a log line without CR LF at byte " << pos_;
            return std::nullopt;
        }
        const std::string_view whole = bytes_.substr(pos_, end - pos_);
        Line line;
        line.second = StampSecond(whole);
        EXPECT_GE(line.second, 0) << "a log line without a time stamp at byte " << pos_;
        if (line.second >= 0) {
            line.stamp = whole.substr(0, kStamp - 1);
            line.text = whole.substr(kStamp);
        } else {
            line.text = whole;
        }
        pos_ = end + 2;
        return line;
    }
    // How far the lines read so far reach.
    std::size_t Position() const { return pos_; }

private:
    // "hh:mm:ss " as seconds of the day, or -1.
    static int StampSecond(std::string_view line)
    {
        if (line.size() < kStamp || line[2] != ':' || line[5] != ':' || line[8] != ' ')
            return -1;
        int second = 0;
        for (const std::size_t at : {0U, 3U, 6U}) {
            const char tens = line[at], ones = line[at + 1];
            if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
                return -1;
            second = second * 60 + (tens - '0') * 10 + (ones - '0');
        }
        return second;
    }

    std::string_view bytes_;
    LogEnd end_;
    std::size_t pos_ = 0;
};

// The lines of log bytes.
inline std::vector<LogLine> ParseLog(std::string_view bytes, LogEnd end = LogEnd::Finished)
{
    std::vector<LogLine> lines;
    LogReader reader(bytes, end);
    while (const std::optional<LogReader::Line> line = reader.Next())
        lines.push_back({std::string(line->stamp), line->second, std::string(line->text)});
    return lines;
}

// The lines of one log file; none when it cannot be read.
inline std::vector<LogLine> ReadLog(const std::filesystem::path &file,
                                    LogEnd end = LogEnd::Finished)
{
    return ParseLog(ReadFileBytes(file), end);
}

// The texts of log lines, without their stamps.
inline std::vector<std::string> Texts(const std::vector<LogLine> &lines)
{
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (const LogLine &line : lines)
        texts.push_back(line.text);
    return texts;
}

// The texts of the lines in the log file of the day `when`, each without its stamp.
inline std::vector<std::string> LoggedTexts(const logfile::LogWriter &log,
                                            const logfile::DateTime &when)
{
    return Texts(ReadLog(log.LogFilePath(when)));
}

// Every log file of `folder`, oldest day first.
inline std::vector<std::filesystem::path> LogFiles(const std::filesystem::path &folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".log")
            files.push_back(entry.path());
    }
    // DDMMYYYY.log sorts by date as YYYYMMDD.
    const auto day = [](const std::filesystem::path &file) {
        const std::string name = file.stem().string();
        return name.size() == 8 ? name.substr(4) + name.substr(2, 2) + name.substr(0, 2) : name;
    };
    std::sort(files.begin(), files.end(),
              [&](const auto &a, const auto &b) { return day(a) < day(b); });
    return files;
}

// The bytes of every log file of `folder` one after the other, oldest day first.
inline std::string LogFolderBytes(const std::filesystem::path &folder)
{
    std::string bytes;
    for (const auto &file : LogFiles(folder))
        bytes += ReadFileBytes(file);
    return bytes;
}
