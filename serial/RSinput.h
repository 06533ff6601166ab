#pragma once

// Receive processing into the 25-line view buffer, and the transmit primitives.

#include "serial/RunState.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class SerialPort;
struct SettingsRecord;
namespace logfile {
class LogWriter;
}

class RSinput {
public:
    static constexpr int kLines = 25;
    static constexpr std::size_t kMaxLineLength = 160;
    using Lines = std::array<std::string, kLines>;

    RSinput(SerialPort &port, logfile::LogWriter &log, const SettingsRecord &settings,
            RunState &state);

    std::int16_t ReadInputChar();
    void ProcessInput();
    void ClearLogLines();

    const Lines &LogLines() const { return lines_; }
    std::int16_t LogLineIndex() const { return index_; }
    const std::string &CurrentLine() const { return lines_[index_]; }

    void SendChar(std::int16_t code);
    void SendString(std::string_view text);

private:
    SerialPort &port_;
    logfile::LogWriter &log_;
    const SettingsRecord &settings_;
    RunState &state_;
    Lines lines_;
    std::int16_t index_ = 0;
};
