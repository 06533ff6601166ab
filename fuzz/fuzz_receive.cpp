// Any byte stream, cut into ticks and mixed with the main window's commands and settings changes,
// through RSinput::ProcessInput, compared with a plain model of the receive rules. The view buffer
// keeps its shape and every finished line reaches the real log file once, in order.

#include "FuzzCheck.h"

#include "conversions/diversen.h"
#include "logfile/logfile.h"
#include "serial/RSinput.h"
#include "serial/RunState.h"
#include "settings/SettingsRecord.h"
#include "support/FakeClock.h"
#include "support/FakeSerialPort.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

constexpr std::size_t kLongestLine = RSinput::kMaxLineLength + 8; // the limit plus one token

std::string StartText(FuzzedDataProvider &input)
{
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
        return "-1";
    case 1:
        return {};
    case 2:
        return std::to_string(input.ConsumeIntegral<std::uint8_t>());
    case 3:
        return diversen::FormatHexByte(input.ConsumeIntegral<std::uint8_t>());
    default:
        return input.ConsumeRandomLengthString(8);
    }
}

// The receive rules written out step by step, one byte at a time, as a second opinion.
class Model
{
public:
    std::array<std::string, RSinput::kLines> lines;
    int index = 0;
    std::vector<std::string> logged;

    // The values of the five start texts, read as the rules read them at every byte.
    static std::vector<std::int16_t> StartValues(SettingsRecord &settings)
    {
        std::vector<std::int16_t> values;
        for (const std::string *text : settings.Starts())
            values.push_back(diversen::ParseNumber(*text));
        return values;
    }

    void Receive(unsigned char c, const std::vector<std::int16_t> &starts, bool ansiLogMode,
                 bool hexView)
    {
        std::string line;
        bool finished = false;
        if (!ansiLogMode) {
            if (std::find(starts.begin(), starts.end(), c) != starts.end()) {
                logged.push_back(lines[index]);
                finished = true;
                line = "->START: ";
            } else {
                line = lines[index];
            }
            line += Token(c, hexView);
        } else if (c == '\r' || c == '\n') {
            if (!lines[index].empty()) {
                logged.push_back(lines[index]);
                finished = true;
            }
        } else {
            line = lines[index] + static_cast<char>(c);
        }
        if (line.size() > RSinput::kMaxLineLength) {
            lines[index] = line;
            logged.push_back(line);
            finished = true;
            line.clear();
        }
        if (!finished) {
            lines[index] = line;
            return;
        }
        if (index < RSinput::kLines - 1) {
            ++index;
        } else {
            for (int i = 0; i < RSinput::kLines - 1; ++i)
                lines[i] = lines[i + 1];
        }
        lines[index] = line;
    }

    void Clear()
    {
        lines = {};
        index = 0;
    }

private:
    static std::string Token(unsigned char c, bool hexView)
    {
        if (hexView)
            return diversen::FormatHexByte(c) + " ";
        if (c > 127)
            return "[" + diversen::FormatHexByte(c) + "]";
        return diversen::CharDisplayName(c);
    }
};

// The texts of the log file's lines, each without its "hh:mm:ss " stamp.
std::vector<std::string> LoggedTexts(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> texts;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", pos);
        FUZZ_CHECK(end != std::string::npos);
        FUZZ_CHECK(bytes.compare(pos, 9, "14:05:09 ") == 0);
        texts.push_back(bytes.substr(pos + 9, end - pos - 9));
        pos = end + 2;
    }
    return texts;
}

void CheckBuffer(const RSinput &rs, const Model &model)
{
    const RSinput::Lines &lines = rs.LogLines();
    FUZZ_CHECK(rs.LogLineIndex() >= 0 && rs.LogLineIndex() < RSinput::kLines);
    for (int i = 0; i < RSinput::kLines; ++i) {
        FUZZ_CHECK(lines[i].size() <= kLongestLine);
        FUZZ_CHECK(i <= rs.LogLineIndex() || lines[i].empty());
    }
    FUZZ_CHECK(rs.LogLineIndex() == model.index);
    FUZZ_CHECK(lines == model.lines);
}

// RSinput and the model side by side over one fake port and one real log file.
class Harness
{
public:
    explicit Harness(FuzzedDataProvider &input) : input_(input)
    {
        log_.SetLogDirectory((ProgramFolder().Path() / "receive").string());
        port_.recordCalls = false;
        port_.open = true;
        settings_.AnsiLogMode = input_.ConsumeBool();
        for (std::string *start : settings_.Starts())
            *start = StartText(input_);
        state_.DisplayMode = input_.ConsumeBool() ? -1 : 0;
    }

    // One command of the main window, a settings change, a port failure, or bytes and a tick.
    void Step()
    {
        switch (input_.ConsumeIntegralInRange(0, 9)) {
        case 0:
            state_.DisplayMode = state_.DisplayMode != 0 ? 0 : -1;
            break;
        case 1:
            state_.LogHold = state_.LogHold != 0 ? 0 : -1;
            break;
        case 2:
            rs_.ClearLogLines();
            model_.Clear();
            break;
        case 3:
            settings_.AnsiLogMode = !settings_.AnsiLogMode;
            break;
        case 4:
            *settings_.Starts()[input_.ConsumeIntegralInRange(0, 4)] = StartText(input_);
            break;
        case 5:
            SetReadFails(!readFails_);
            break;
        default:
            Receive(input_.ConsumeRandomLengthString(400));
        }
    }

    // Ends the hold and the port failure, so everything still waiting is processed, and
    // compares the log file with the model.
    void Finish()
    {
        state_.LogHold = 0;
        SetReadFails(false);
        Receive({});
        const std::string file = log_.LogFilePath(kClock.Now());
        FUZZ_CHECK(!log_.Failure());
        FUZZ_CHECK(LoggedTexts(file) == model_.logged);
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }

private:
    static inline const FakeClock kClock{{2026, 12, 8, 14, 5, 9}};

    void SetReadFails(bool fails)
    {
        readFails_ = fails;
        if (fails)
            port_.Fail("Read", "Input/output error");
        else
            port_.Heal("Read");
    }

    // The bytes arrive, then a receive tick.
    void Receive(const std::string &bytes)
    {
        port_.Feed(bytes);
        waiting_ += bytes;
        state_.RxActivity = 0;
        rs_.ProcessInput();
        if (state_.LogHold != 0) {
            FUZZ_CHECK(state_.RxActivity == 0);
        } else {
            FUZZ_CHECK(state_.RxActivity == (waiting_.empty() ? 0 : 3));
            if (!readFails_) {
                const auto starts = Model::StartValues(settings_);
                for (const char c : waiting_)
                    model_.Receive(static_cast<unsigned char>(c), starts, settings_.AnsiLogMode,
                                   state_.DisplayMode != 0);
                waiting_.clear();
            }
        }
        FUZZ_CHECK(port_.Waiting() == waiting_.size());
        CheckBuffer(rs_, model_);
    }

    FuzzedDataProvider &input_;
    logfile::LogWriter log_{kClock};
    FakeSerialPort port_;
    SettingsRecord settings_;
    RunState state_;
    RSinput rs_{port_, log_, settings_, state_};
    Model model_;
    std::string waiting_; // what the port holds, for the model
    bool readFails_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Harness harness(input);
    while (input.remaining_bytes() > 0)
        harness.Step();
    harness.Finish();
    return 0;
}
