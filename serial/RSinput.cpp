#include "serial/RSinput.h"

#include "conversions/diversen.h"
#include "logfile/logfile.h"
#include "serial/SerialPort.h"
#include "settings/SettingsRecord.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace
{

using TokenTable = std::array<std::string, 256>;

// What a byte adds to a line in the rendered mode, one table per view, built once from the
// shared conversions so the per-byte path only appends.
TokenTable MakeTokens(bool hexView)
{
    TokenTable tokens;
    for (std::int16_t c = 0; c < 256; ++c) {
        if (hexView)
            tokens[c] = diversen::FormatHexByte(c) + " ";
        else if (c > 127)
            tokens[c].append("[").append(diversen::FormatHexByte(c)).append("]");
        else
            tokens[c] = diversen::CharDisplayName(c);
    }
    return tokens;
}

const std::string &Token(unsigned char c, bool hexView)
{
    static const TokenTable text = MakeTokens(false);
    static const TokenTable hex = MakeTokens(true);
    return hexView ? hex[c] : text[c];
}

} // namespace

RSinput::RSinput(SerialPort &port, logfile::LogWriter &log, const SettingsRecord &settings,
                 RunState &state)
    : port_(port), log_(log), settings_(settings), state_(state)
{
}

std::string RSinput::ReadInputChars()
{
    if (!port_.SetReadLength(0)) // 0: all that waits
        return {};
    const auto waiting = port_.WaitingCount();
    if (!waiting || *waiting <= 0)
        return {};
    state_.RxActivity = 3;
    std::optional<std::string> read = port_.Read();
    return read ? std::move(*read) : std::string();
}

void RSinput::ProcessInput()
{
    if (state_.LogHold != 0)
        return;
    // The settings cannot change while this tick runs, so reading the start values once per
    // tick is the same as reading them at every byte: an edit still counts from the next byte.
    const StartSet starts = StartValues();
    for (std::size_t taken = 0; taken < kMaxBytesPerTick;) {
        const std::string bytes = ReadInputChars();
        if (bytes.empty())
            return;
        taken += bytes.size();
        std::string_view rest = bytes;
        while (!lineEnds_.empty() && lineEnds_.front() <= rest.size()) {
            ProcessBytes(rest.substr(0, lineEnds_.front()), starts);
            rest.remove_prefix(lineEnds_.front());
            lineEnds_.pop_front();
            FinishLine();
        }
        if (!lineEnds_.empty())
            lineEnds_.front() -= rest.size();
        ProcessBytes(rest, starts);
    }
}

void RSinput::ProcessBytes(std::string_view bytes, const StartSet &starts)
{
    for (const char c : bytes)
        ProcessByte(static_cast<unsigned char>(c), starts);
}

void RSinput::PortLost()
{
    if (state_.LogHold == 0) {
        ProcessInput();
        FinishLine();
        return;
    }
    std::size_t before = 0;
    for (const std::size_t end : lineEnds_)
        before += end;
    const std::size_t waiting =
        static_cast<std::size_t>(std::max(port_.WaitingCount().value_or(0), 0));
    if (waiting > before)
        lineEnds_.push_back(waiting - before);
}

void RSinput::FinishLine()
{
    if (lines_[index_].empty())
        return;
    log_.WriteLogLine(lines_[index_]);
    EndLine({});
}

RSinput::StartSet RSinput::StartValues() const
{
    StartSet starts;
    for (const std::string *text : settings_.Starts()) {
        const std::int16_t value = diversen::ParseNumber(*text);
        if (value >= 0 && value <= 255)
            starts.set(value);
    }
    return starts;
}

void RSinput::ProcessByte(unsigned char c, const StartSet &starts)
{
    if (!settings_.AnsiLogMode) {
        if (starts.test(c)) {
            log_.WriteLogLine(lines_[index_]);
            EndLine(kStartMark);
        }
        lines_[index_] += Token(c, state_.DisplayMode != 0);
    } else if (c == '\n' || c == '\r') {
        // The line break itself is neither shown nor logged, and a CR LF pair ends one line.
        if (!lines_[index_].empty()) {
            log_.WriteLogLine(lines_[index_]);
            EndLine({});
        }
        return;
    } else {
        lines_[index_] += static_cast<char>(c);
    }
    if (lines_[index_].size() > kMaxLineLength) {
        log_.WriteLogLine(lines_[index_]);
        EndLine({});
    }
}

// The current line is finished: `next` becomes the current line in the next row, and once the
// bottom row is in use every row moves up one and the top line leaves the view.
void RSinput::EndLine(std::string_view next)
{
    if (index_ < kLines - 1)
        ++index_;
    else
        std::rotate(lines_.begin(), lines_.begin() + 1, lines_.end());
    lines_[index_].assign(next);
}

void RSinput::ClearLogLines()
{
    for (std::string &line : lines_)
        line.clear();
    index_ = 0;
}

void RSinput::SendChar(std::int16_t code)
{
    state_.TxActivity = 3;
    if (code >= 0 && code <= 255)
        port_.Write(std::string(1, static_cast<char>(code)));
}

void RSinput::SendString(std::string_view text)
{
    for (const char c : text)
        SendChar(static_cast<unsigned char>(c));
}
