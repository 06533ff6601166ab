#pragma once

// What the simulated device says on the line, without any I/O: the instrument's framed messages
// and answers, and the deterministic byte stream that benchmarks send and re-render.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace simdevice
{

inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;
inline constexpr char kEnq = 0x05;
inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;

// XOR of every byte from STX through ETX with the top bit cleared: the rule the quick-send
// editor uses for its checksum field, so a framed quick-send definition checks out here.
unsigned char FrameChecksum(std::string_view stxThroughEtx);

// STX, text, ETX, checksum byte, CR LF.
std::string Frame(std::string_view text);

// An instrument that reports a measurement on request of the clock and answers three commands:
//   ENQ                        -> ACK and a framed status message
//   "?V"                       -> a framed version message
//   STX text ETX checksum      -> ACK when the checksum is right, NAK when it is not
// Everything received is echoed before the answer it causes.
class Instrument
{
public:
    static constexpr std::string_view kVersion = "VERSION;TAMVI-SIM;1.0";
    static constexpr std::size_t kMaxFrame = 256; // a longer frame is dropped unanswered

    // The next periodic message; its values change from call to call.
    std::string Measurement();

    // The echo of `bytes` followed by the answers they call for.
    std::string Receive(std::string_view bytes);

    unsigned MeasurementCount() const { return measurements_; }

private:
    void ReceiveByte(char byte, std::string &out);

    unsigned measurements_ = 0;
    char previous_ = 0;
    std::optional<std::string> frame_; // a received frame from STX on, while it is incomplete
};

// The benchmark stream: lines of kPatternLineLength bytes, each an 8-digit line number, a blank,
// 53 bytes taken in turn from every value except CR and LF, and CR LF. In plain-text logging
// every line therefore becomes one log line holding its first 62 bytes unchanged.
inline constexpr std::size_t kPatternLineLength = 64;

// Appends the stream's bytes [offset, offset + count) to `out`.
void AppendPattern(std::uint64_t offset, std::size_t count, std::string &out);

// FNV-1a, 64 bits: a digest of everything sent, cheap enough for full-speed runs.
class Fnv1a64
{
public:
    void Add(std::string_view bytes);
    std::uint64_t Value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

} // namespace simdevice
