// Any text through ParseNumber and ReadDecimal: no undefined behaviour, and results that agree
// with what can be worked out independently.

#include "FuzzCheck.h"

#include "conversions/diversen.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

namespace
{

std::string WithoutBlanks(std::string_view text)
{
    std::string compact;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            compact.push_back(c);
    }
    return compact;
}

// "[+-]digits[.digits]" with at most four digits on each side, rounded half to even with integers
// alone; empty for every other text.
std::optional<int> SmallDecimal(const std::string &compact)
{
    static const std::regex pattern(R"(([+-]?)([0-9]{1,4})(?:\.([0-9]{1,4}))?)");
    std::smatch match;
    if (!std::regex_match(compact, match, pattern))
        return std::nullopt;
    int whole = std::stoi(match[2].str());
    const std::string fraction = match[3].str();
    if (!fraction.empty()) {
        int scale = 1;
        for (std::size_t i = 0; i < fraction.size(); ++i)
            scale *= 10;
        const int twice = 2 * std::stoi(fraction);
        if (twice > scale || (twice == scale && whole % 2 != 0))
            ++whole;
    }
    return match[1].str() == "-" ? -whole : whole;
}

void CheckParseNumber(std::string_view text)
{
    const std::int16_t value = diversen::ParseNumber(text);
    const std::size_t hex = text.find("0x");
    if (hex == std::string_view::npos) {
        FUZZ_CHECK(value == diversen::ReadDecimal(text).value_or(-1));
        return;
    }
    const std::string_view digits = text.substr(hex + 2);
    const auto digit = [&](std::size_t i) {
        return diversen::HexDigitValue(i < digits.size() ? digits.substr(i, 1) : "");
    };
    FUZZ_CHECK(value >= 0 && value <= 255);
    FUZZ_CHECK(value == digit(0) * 16 + digit(1));
}

void CheckReadDecimal(std::string_view text)
{
    const std::optional<std::int16_t> value = diversen::ReadDecimal(text);
    const std::string compact = WithoutBlanks(text);
    FUZZ_CHECK(diversen::ReadDecimal(compact) == value);
    if (const auto expected = SmallDecimal(compact))
        FUZZ_CHECK(value == *expected);
    // Reading stops at the first character that does not fit, whatever follows it.
    const std::string stopped = std::string(text) + "Z" + std::string(text);
    FUZZ_CHECK(diversen::ReadDecimal(stopped) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    CheckParseNumber(text);
    CheckReadDecimal(text);
    return 0;
}
