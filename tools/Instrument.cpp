#include "tools/Instrument.h"

#include <array>
#include <cstdio>

namespace simdevice
{

unsigned char FrameChecksum(std::string_view stxThroughEtx)
{
    unsigned char sum = 0;
    for (const char byte : stxThroughEtx)
        sum ^= static_cast<unsigned char>(byte);
    return sum & 0x7F;
}

std::string Frame(std::string_view text)
{
    std::string frame;
    frame += kStx;
    frame += text;
    frame += kEtx;
    frame += static_cast<char>(FrameChecksum(frame));
    frame += "\r\n";
    return frame;
}

std::string Instrument::Measurement()
{
    ++measurements_;
    // A temperature that climbs from 20.0 to 24.9 and starts again, and a humidity that wanders.
    const unsigned tenths = 200 + (measurements_ * 7) % 50;
    const unsigned humidity = 40 + (measurements_ * 3) % 20;
    char text[64];
    std::snprintf(text, sizeof text, "MEAS;N=%04u;T=%u.%u;RH=%u", measurements_ % 10000,
                  tenths / 10, tenths % 10, humidity);
    return Frame(text);
}

std::string Instrument::Receive(std::string_view bytes)
{
    std::string out;
    for (const char byte : bytes) {
        out += byte;
        ReceiveByte(byte, out);
    }
    return out;
}

void Instrument::ReceiveByte(char byte, std::string &out)
{
    if (frame_) {
        const bool checksumByte = frame_->back() == kEtx;
        if (checksumByte) {
            const bool right = static_cast<unsigned char>(byte) == FrameChecksum(*frame_);
            out += right ? kAck : kNak;
            frame_.reset();
        } else if (frame_->size() >= kMaxFrame) {
            frame_.reset();
        } else {
            *frame_ += byte;
        }
    } else if (byte == kStx) {
        frame_ = std::string(1, kStx);
    } else if (byte == kEnq) {
        out += kAck;
        out += Frame("STATUS;OK;N=" + std::to_string(measurements_));
    } else if (previous_ == '?' && byte == 'V') {
        out += Frame(kVersion);
    }
    previous_ = byte;
}

namespace
{

// Every byte value except CR and LF, which end lines in plain-text logging.
constexpr std::array<unsigned char, 254> kLineBytes = [] {
    std::array<unsigned char, 254> bytes{};
    std::size_t n = 0;
    for (int value = 0; value < 256; ++value) {
        if (value != '\r' && value != '\n')
            bytes[n++] = static_cast<unsigned char>(value);
    }
    return bytes;
}();

constexpr std::size_t kNumberDigits = 8;
constexpr std::size_t kPayloadStart = kNumberDigits + 1;
constexpr std::size_t kPayloadLength = kPatternLineLength - kPayloadStart - 2;

char PatternByte(std::uint64_t line, std::size_t column)
{
    if (column < kNumberDigits) {
        std::uint64_t number = line;
        for (std::size_t i = column + 1; i < kNumberDigits; ++i)
            number /= 10;
        return static_cast<char>('0' + number % 10);
    }
    if (column == kNumberDigits)
        return ' ';
    if (column < kPayloadStart + kPayloadLength) {
        const std::uint64_t index = line * kPayloadLength + (column - kPayloadStart);
        return static_cast<char>(kLineBytes[index % kLineBytes.size()]);
    }
    return column == kPatternLineLength - 2 ? '\r' : '\n';
}

} // namespace

void AppendPattern(std::uint64_t offset, std::size_t count, std::string &out)
{
    out.reserve(out.size() + count);
    for (std::uint64_t position = offset; position < offset + count; ++position)
        out += PatternByte(position / kPatternLineLength, position % kPatternLineLength);
}

void Fnv1a64::Add(std::string_view bytes)
{
    for (const char byte : bytes) {
        hash_ ^= static_cast<unsigned char>(byte);
        hash_ *= 0x100000001b3ULL;
    }
}

} // namespace simdevice
