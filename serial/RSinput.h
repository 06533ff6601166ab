#pragma once

// Receive processing into the 25-line view buffer, and the transmit primitives.

#include "serial/RunState.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

class SerialPort;
struct SettingsRecord;
namespace logfile
{
class LogWriter;
}

class RSinput
{
public:
    static constexpr int kLines = 25;
    static constexpr std::size_t kMaxLineLength = 160;
    static constexpr std::string_view kStartMark = "->START: ";
    using Lines = std::array<std::string, kLines>;
    // What one tick takes at most: a source faster than the program cannot keep the tick going,
    // so timers, clicks and signals keep their turn, and the rest waits in the port for the next
    // tick. Far beyond any serial line, and a pseudo-terminal at full speed still gets through.
    static constexpr std::size_t kMaxBytesPerTick = 8 << 20;

    RSinput(SerialPort &port, logfile::LogWriter &log, const SettingsRecord &settings,
            RunState &state);

    // Every byte waiting, in one read: the port's calls cost more than the work on a byte. Empty
    // when nothing waits or the port fails.
    std::string ReadInputChars();
    // Renders the waiting bytes, up to about kMaxBytesPerTick, into the buffer and logs each
    // finished line; reads nothing while the log is on hold.
    void ProcessInput();
    // The port went away: the line it was receiving is logged and ended there, so that the bytes
    // of the device that comes back start a line of their own. On hold, the bytes received before
    // the loss wait in the port and the line ends after them once the hold is released.
    void PortLost();
    void ClearLogLines();

    const Lines &LogLines() const { return lines_; }
    std::int16_t LogLineIndex() const { return index_; }
    const std::string &CurrentLine() const { return lines_[index_]; }

    // Sets TxActivity whatever the code; writes codes 0..255 and ignores a failing write.
    void SendChar(std::int16_t code);
    void SendString(std::string_view text);

private:
    using StartSet = std::bitset<256>;

    StartSet StartValues() const;
    void ProcessBytes(std::string_view bytes, const StartSet &starts);
    void ProcessByte(unsigned char c, const StartSet &starts);
    void FinishLine(); // logs and ends the current line unless it is empty
    void EndLine(std::string_view next);

    SerialPort &port_;
    logfile::LogWriter &log_;
    const SettingsRecord &settings_;
    RunState &state_;
    Lines lines_;
    std::int16_t index_ = 0;
    // Where the lines of losses during a hold end: the first counts the waiting bytes before its
    // end, each later one the bytes after the one before.
    std::deque<std::size_t> lineEnds_;
};
