#include "conversions/diversen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace diversen;

namespace
{

using Case = std::pair<std::string, int>;

void ExpectParse(const std::vector<Case> &cases)
{
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(ParseNumber(text), expected) << "text \"" << text << "\"";
}

} // namespace

TEST(ParseNumber, HexNotationTakesTwoPositionsAfterTheFirstLowerCase0x)
{
    ExpectParse({{"0x1F", 31},
                 {"0x1f", 31},
                 {"0xG1", 1},
                 {"0x4", 64},
                 {"0x", 0},
                 {"ab0x41cd", 65},
                 {"0xFF", 255},
                 {"0x41 0x42", 65},
                 {"-0x10", 16},
                 {"0x\xff\x80", 0},
                 // "0X" is no hex prefix: the decimal reading stops at the X.
                 {"0X41", 0}});
}

TEST(ParseNumber, DecimalReadingIgnoresBlanksAndStopsAtTheFirstMisfit)
{
    ExpectParse({{"65", 65},
                 {" 6 5", 65},
                 {"\t6\n5\t", 65},
                 {"6\r5", 6}, // CR is not one of the ignored blanks
                 {"", 0},
                 {"abc", 0},
                 {"12abc", 12},
                 {"-1", -1},
                 {"+7", 7},
                 {"- 7", -7},
                 {"--7", 0},
                 {"007", 7},
                 {"1,000", 1},
                 {".", 0},
                 {"5.", 5},
                 {"\x80\xff", 0},
                 {"32767", 32767},
                 {"-32768", -32768}});
}

TEST(ParseNumber, RoundsHalfToEvenExactly)
{
    ExpectParse({{"2.5", 2},
                 {"3.5", 4},
                 {"-2.5", -2},
                 {"-3.5", -4},
                 {"0.5", 0},
                 {"1.5", 2},
                 {"2.51", 3},
                 {"2.49999", 2},
                 {"2.500000000000000000000001", 3}, // more digits than a double holds
                 {"-0.4", 0},
                 {".7", 1},
                 {"0.05", 0},
                 {"32767.4", 32767},
                 {"-32768.5", -32768}});
}

TEST(ParseNumber, ExponentWithEOrDInEitherCase)
{
    ExpectParse({{"1E2", 100},
                 {"1e2", 100},
                 {"1D2", 100},
                 {"1d2", 100},
                 {"1.5E1", 15},
                 {"25E-1", 2},
                 {"35e-1", 4},
                 {"1 E +2", 100},
                 {"7E", 7},
                 {"7E+", 7},
                 {"7Ex", 7},
                 {"E5", 0},
                 {"5E-99999999999999999999", 0},
                 {"0E99999999999999999999", 0}});
}

TEST(ParseNumber, AmpersandHexAndOctal)
{
    ExpectParse({{"&H41", 65},
                 {"&h41", 65},
                 {"&Hff", 255},
                 {"& H 1 0", 16},
                 {"&H7FFF", 32767},
                 {"&HFFFF", -1}, // 65535 as a magnitude: out of range
                 {"&H", 0},
                 {"&HG", 0},
                 {"&O17", 15},
                 {"&o17", 15},
                 {"&O18", 1},
                 {"&O77777", 32767},
                 {"&", 0},
                 {"&X1", 0}});
}

TEST(ParseNumber, OutOfRangeGivesMinusOneAndReadDecimalGivesNothing)
{
    ExpectParse({{"32768", -1},
                 {"-32769", -1},
                 {"70000", -1},
                 {"32767.5", -1}, // rounds to 32768
                 {"1E5", -1},
                 {"1E99999999999999999999", -1},
                 {"&H10000", -1}});
    EXPECT_FALSE(ReadDecimal("70000").has_value());
    EXPECT_FALSE(ReadDecimal(std::string(5000, '9')).has_value());
    EXPECT_EQ(ReadDecimal("0." + std::string(5000, '0') + "1"), 0);
    EXPECT_EQ(ReadDecimal(std::string(5000, '0') + "12"), 12);
    EXPECT_EQ(ReadDecimal("-1"), -1);
}

TEST(ParseNumber, EveryIntegerAndItsHalfReadBack)
{
    for (int n = -32768; n <= 32767; ++n) {
        ASSERT_EQ(ParseNumber(std::to_string(n)), n);
        // n + 0.5 (n - 0.5 when negative) lies halfway between n and its outer neighbour.
        const int outer = n < 0 ? n - 1 : n + 1;
        const int even = (n % 2 == 0) ? n : outer;
        const std::string half = std::to_string(n) + ".5";
        if (even >= -32768 && even <= 32767)
            ASSERT_EQ(ParseNumber(half), even) << half;
        else
            ASSERT_EQ(ParseNumber(half), -1) << half;
    }
}

TEST(ParseNumber, BlanksAnywhereNeverChangeTheValueOfAnyBytes)
{
    // Random texts, many of them junk: each reads to some value without failing (the sanitizer
    // build checks that nothing undefined happens on the way), and blanks, tabs and line feeds
    // sprinkled into it change nothing.
    std::mt19937 random(1234);
    const std::string alphabet = "0123456789+-.eEdDhHoOxX& \t\n\r\x80\xff";
    const std::string blanks = " \t\n";
    for (int i = 0; i < 20000; ++i) {
        std::string text(random() % 24, '\0');
        for (char &c : text)
            c = (i % 2 == 0) ? alphabet[random() % alphabet.size()]
                             : static_cast<char>(random() % 256);
        if (text.find("0x") != std::string::npos)
            continue;
        std::string sprinkled;
        for (const char c : text) {
            if (random() % 3 == 0)
                sprinkled += blanks[random() % blanks.size()];
            sprinkled += c;
        }
        EXPECT_EQ(ParseNumber(sprinkled), ParseNumber(text)) << text;
    }
}

TEST(Conversions, HexDigitsBothWays)
{
    const std::string digits = "0123456789ABCDEF";
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(HexDigit(static_cast<std::int16_t>(n)), digits.substr(n, 1));
        EXPECT_EQ(HexDigitValue(digits.substr(n, 1)), n);
    }
    EXPECT_EQ(HexDigit(16), "?");
    EXPECT_EQ(HexDigit(-1), "?");
    EXPECT_EQ(HexDigitValue("f"), 15);
    EXPECT_EQ(HexDigitValue("a"), 10);
    EXPECT_EQ(HexDigitValue("F7"), 15);
    EXPECT_EQ(HexDigitValue("g"), 0);
    EXPECT_EQ(HexDigitValue(""), 0);
    EXPECT_EQ(HexDigitValue("\xe6"), 0);
}

TEST(Conversions, FormatHexByteAndNumberText)
{
    EXPECT_EQ(FormatHexByte(0), "0x00");
    EXPECT_EQ(FormatHexByte(2), "0x02");
    EXPECT_EQ(FormatHexByte(10), "0x0A");
    EXPECT_EQ(FormatHexByte(165), "0xA5");
    EXPECT_EQ(FormatHexByte(255), "0xFF");
    EXPECT_EQ(FormatHexByte(256), "0xxx");
    EXPECT_EQ(FormatHexByte(-1), "0xxx");
    for (int n = 0; n < 256; ++n)
        EXPECT_EQ(ParseNumber(FormatHexByte(static_cast<std::int16_t>(n))), n);

    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(5), "5");
    EXPECT_EQ(NumberText(25), "25");
    EXPECT_EQ(NumberText(-5), "5");
    EXPECT_EQ(NumberText(32767), "32767");
    EXPECT_EQ(NumberText(-32768), "32768");
}

TEST(Conversions, CharDisplayNameNamesEveryControlByte)
{
    const std::string expected = "[NULL][SOH][STX][ETX][EOT][ENQ][ACK][BEL][BS][HT][LF][VT][FF]"
                                 "[CR][SO][SI][DLE][DC1][DC2][DC3][DC4][NACK][SYN][ETB][CAN][EM]"
                                 "[SUB][ESC][FS][GS][RS][US][SPATIE]";
    std::string names;
    for (int c = 0; c <= 32; ++c)
        names += CharDisplayName(static_cast<std::int16_t>(c));
    EXPECT_EQ(names, expected);
    EXPECT_EQ(CharDisplayName(127), "[RUBOUT]");
    for (int c = 33; c < 256; ++c) {
        if (c == 127)
            continue;
        EXPECT_EQ(CharDisplayName(static_cast<std::int16_t>(c)),
                  std::string(1, static_cast<char>(c)));
    }
    EXPECT_EQ(CharDisplayName(256), "?");
    EXPECT_EQ(CharDisplayName(-1), "?");
}
