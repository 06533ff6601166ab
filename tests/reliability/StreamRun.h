#pragma once

// The device's benchmark stream sent at full speed into the program in plain-text mode, and the
// check that its log holds every line of it, in order, each with a time stamp: lines of 64
// bytes, each logged as its first 62 bytes.

#include "settings/SettingsRecord.h"
#include "support/LoggedTexts.h"
#include "support/PtyPair.h"
#include "tools/Instrument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

// `port` at 115200 baud, 8 data bits, no start values; every CR or LF ends a log line.
inline SettingsRecord PlainTextSettings(std::int16_t port)
{
    SettingsRecord settings;
    settings.compoort = port;
    settings.baudrate = 8;
    settings.bits = 1;
    settings.Start1 = settings.Start2 = settings.Start3 = settings.Start4 = settings.Start5 = "-1";
    settings.AnsiLogMode = true;
    return settings;
}

class StreamSender
{
public:
    static constexpr std::size_t kLine = simdevice::kPatternLineLength;
    static constexpr std::size_t kLoggedLine = 9 + (kLine - 2) + 2; // stamp, text, CR LF

    StreamSender(PtyPair &pty, std::uint64_t bytes) : pty_(pty), bytes_(bytes)
    {
        thread_ = std::thread([this] { Send(); });
    }
    ~StreamSender() { Join(); }
    StreamSender(const StreamSender &) = delete;
    StreamSender &operator=(const StreamSender &) = delete;

    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    std::uint64_t Sent() const { return sent_; }
    bool Finished() const { return sent_ == bytes_ || failed_; }
    bool Failed() const { return failed_; }

private:
    void Send()
    {
        constexpr std::size_t kChunk = 256 * kLine;
        std::string chunk;
        while (sent_ < bytes_) {
            chunk.clear();
            const auto count =
                static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, bytes_ - sent_));
            simdevice::AppendPattern(sent_, count, chunk);
            // A program that stops reading holds the sender off; a minute without progress fails.
            if (!pty_.WriteAll(chunk, std::chrono::seconds(60))) {
                failed_ = true;
                return;
            }
            sent_ += count;
        }
    }

    PtyPair &pty_;
    const std::uint64_t bytes_;
    std::atomic<std::uint64_t> sent_ = 0;
    std::atomic<bool> failed_ = false;
    std::thread thread_;
};

// Checks the log of a run that received `bytes` of the stream (a whole number of lines) and was
// then ended: the start lines, every stream line once and in order with a stamp, then the empty
// unfinished line and "Logging beeindigd". Walks the bytes without copying the lines.
inline void ExpectStreamLogged(const std::string &log, std::uint64_t bytes)
{
    LogReader reader(log);
    const auto nextText = [&]() -> std::string_view {
        const std::optional<LogReader::Line> line = reader.Next();
        if (!line)
            return "<missing>";
        return line->second < 0 ? "<no stamp>" : line->text;
    };
    std::string_view text = nextText();
    if (text.starts_with("DEBUG: Bij instellingen"))
        text = nextText();
    ASSERT_EQ(text, "Tamvi van Dranel BV gestart");

    std::string expected;
    const std::uint64_t lines = bytes / StreamSender::kLine;
    for (std::uint64_t n = 0; n < lines; ++n) {
        expected.clear();
        simdevice::AppendPattern(n * StreamSender::kLine, StreamSender::kLine - 2, expected);
        text = nextText();
        ASSERT_EQ(text, expected) << "stream line " << n << " of " << lines;
    }
    EXPECT_EQ(nextText(), "");
    EXPECT_EQ(nextText(), "Logging beeindigd");
    EXPECT_EQ(reader.Position(), log.size()) << "more after the end line";
}
