#include "conversions/diversen.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>

namespace diversen
{

namespace
{

bool IsIgnoredBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

unsigned char Upper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Reads the text with every ignored blank taken out, so the reading itself never sees one.
class Cursor
{
public:
    explicit Cursor(std::string_view text)
    {
        compact_.reserve(text.size());
        for (const char c : text) {
            if (!IsIgnoredBlank(static_cast<unsigned char>(c)))
                compact_.push_back(c);
        }
    }

    bool AtEnd() const { return pos_ >= compact_.size(); }
    unsigned char Peek(std::size_t ahead = 0) const
    {
        return pos_ + ahead < compact_.size() ? static_cast<unsigned char>(compact_[pos_ + ahead])
                                              : '\0';
    }
    void Skip(std::size_t count = 1) { pos_ += count; }

private:
    std::string compact_;
    std::size_t pos_ = 0;
};

std::optional<std::int16_t> FitIn16Bits(long long value)
{
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

// Anything above this magnitude is out of the 16-bit range anyway; accumulation stops growing
// there so that no number of digits can overflow.
constexpr long long kSaturated = 1'000'000;

// "&H" and "&O" numbers: the digits are a magnitude, so "&HFFFF" is 65535 and does not fit.
std::optional<std::int16_t> ReadRadix(Cursor &in, int radix)
{
    long long value = 0;
    for (;; in.Skip()) {
        const unsigned char c = Upper(in.Peek());
        int digit = -1;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= radix)
            break;
        value = std::min(value * radix + digit, kSaturated);
    }
    return FitIn16Bits(value);
}

// Rounds the decimal number whose significant digits are `digits` (no leading zeros) with the
// decimal point `pointPos` digits from their left, half to the even neighbour. Works on the
// digits themselves, so it is exact for any length and any exponent.
long long RoundHalfEven(const std::string &digits, long long pointPos)
{
    if (digits.empty() || pointPos < 0)
        return 0; // zero, or below 0.1
    if (pointPos > 6)
        return kSaturated; // at least 10^6
    const auto intLen = static_cast<std::size_t>(pointPos);
    long long whole = 0;
    for (std::size_t i = 0; i < intLen; ++i)
        whole = whole * 10 + (i < digits.size() ? digits[i] - '0' : 0);
    if (intLen >= digits.size())
        return whole;
    const int first = digits[intLen] - '0';
    bool beyondHalf = first > 5;
    if (first == 5)
        beyondHalf = digits.find_first_not_of('0', intLen + 1) != std::string::npos;
    const bool isHalf = first == 5 && !beyondHalf;
    if (beyondHalf || (isHalf && whole % 2 != 0))
        ++whole;
    return whole;
}

std::optional<std::int16_t> ReadDecimalNumber(Cursor &in)
{
    bool negative = false;
    if (in.Peek() == '+' || in.Peek() == '-') {
        negative = in.Peek() == '-';
        in.Skip();
    }
    std::string digits; // significant digits, leading zeros dropped
    long long pointPos = 0;
    bool anyDigit = false;
    for (; IsDigit(in.Peek()); in.Skip()) {
        anyDigit = true;
        if (!digits.empty() || in.Peek() != '0') {
            digits.push_back(static_cast<char>(in.Peek()));
            ++pointPos;
        }
    }
    if (in.Peek() == '.') {
        in.Skip();
        for (; IsDigit(in.Peek()); in.Skip()) {
            anyDigit = true;
            if (digits.empty() && in.Peek() == '0')
                --pointPos;
            else
                digits.push_back(static_cast<char>(in.Peek()));
        }
    }
    if (!anyDigit)
        return 0;

    // An exponent counts only when digits follow its letter and optional sign.
    const unsigned char mark = Upper(in.Peek());
    if (mark == 'E' || mark == 'D') {
        std::size_t ahead = 1;
        bool negativeExponent = false;
        if (in.Peek(ahead) == '+' || in.Peek(ahead) == '-') {
            negativeExponent = in.Peek(ahead) == '-';
            ++ahead;
        }
        if (IsDigit(in.Peek(ahead))) {
            in.Skip(ahead);
            // Saturates far beyond any text's length, so an exponent still cancels however many
            // digits stand before it, and pointPos cannot overflow.
            constexpr long long kExponentLimit = std::numeric_limits<long long>::max() / 4;
            long long exponent = 0;
            for (; IsDigit(in.Peek()); in.Skip()) {
                exponent = exponent < kExponentLimit / 10 ? exponent * 10 + (in.Peek() - '0')
                                                          : kExponentLimit;
            }
            pointPos += negativeExponent ? -exponent : exponent;
        }
    }
    const long long magnitude = RoundHalfEven(digits, pointPos);
    return FitIn16Bits(negative ? -magnitude : magnitude);
}

} // namespace

std::optional<std::int16_t> ReadDecimal(std::string_view text)
{
    Cursor in(text);
    if (in.Peek() == '&') {
        const unsigned char kind = Upper(in.Peek(1));
        if (kind == 'H' || kind == 'O') {
            in.Skip(2);
            return ReadRadix(in, kind == 'H' ? 16 : 8);
        }
    }
    return ReadDecimalNumber(in);
}

std::int16_t ParseNumber(std::string_view text)
{
    const std::size_t hex = text.find("0x");
    if (hex == std::string_view::npos)
        return ReadDecimal(text).value_or(-1);
    const std::string_view digits = text.substr(hex + 2);
    const std::int16_t high = HexDigitValue(digits);
    const std::int16_t low = HexDigitValue(digits.empty() ? digits : digits.substr(1));
    return static_cast<std::int16_t>(high * 16 + low);
}

std::int16_t HexDigitValue(std::string_view text)
{
    if (text.empty())
        return 0;
    const unsigned char c = Upper(static_cast<unsigned char>(text.front()));
    if (IsDigit(c))
        return static_cast<std::int16_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<std::int16_t>(c - 'A' + 10);
    return 0;
}

std::string NumberText(std::int16_t n)
{
    const int value = n; // -32768 has no 16-bit magnitude
    return std::to_string(value < 0 ? -value : value);
}

std::string FormatHexByte(std::int16_t n)
{
    if (n < 0 || n > 255)
        return "0xxx";
    return "0x" + HexDigit(static_cast<std::int16_t>(n / 16)) +
           HexDigit(static_cast<std::int16_t>(n % 16));
}

std::string HexDigit(std::int16_t n)
{
    if (n < 0 || n > 15)
        return "?";
    if (n < 10)
        return NumberText(n);
    return std::string(1, static_cast<char>('A' + n - 10));
}

std::string CharDisplayName(std::int16_t c)
{
    static constexpr std::array<const char *, 33> kControlNames = {
        "[NULL]", "[SOH]", "[STX]", "[ETX]",  "[EOT]", "[ENQ]",   "[ACK]", "[BEL]", "[BS]",
        "[HT]",   "[LF]",  "[VT]",  "[FF]",   "[CR]",  "[SO]",    "[SI]",  "[DLE]", "[DC1]",
        "[DC2]",  "[DC3]", "[DC4]", "[NACK]", "[SYN]", "[ETB]",   "[CAN]", "[EM]",  "[SUB]",
        "[ESC]",  "[FS]",  "[GS]",  "[RS]",   "[US]",  "[SPATIE]"};
    if (c >= 0 && c < static_cast<std::int16_t>(kControlNames.size()))
        return kControlNames[static_cast<std::size_t>(c)];
    if (c == 127)
        return "[RUBOUT]";
    if (c < 0 || c > 255)
        return "?";
    return std::string(1, static_cast<char>(static_cast<unsigned char>(c)));
}

} // namespace diversen
