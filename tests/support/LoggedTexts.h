#pragma once

#include "logfile/logfile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The texts of the lines in the log file of the day `when`, each without its "hh:mm:ss " stamp.
// A line without its CR LF fails the calling test.
inline std::vector<std::string> LoggedTexts(const logfile::LogWriter &log,
                                            const logfile::DateTime &when)
{
    constexpr std::size_t kStamp = 9; // "14:05:09 "
    const std::string file = ReadFileBytes(log.LogFilePath(when));
    std::vector<std::string> texts;
    for (std::size_t pos = 0; pos < file.size();) {
        const std::size_t end = file.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "line without CR LF";
        if (end == std::string::npos)
            break;
        texts.push_back(file.substr(pos + kStamp, end - pos - kStamp));
        pos = end + 2;
    }
    return texts;
}
