#include "conversions/Windows1252.h"

#include <gtest/gtest.h>

#include <string>

using Windows1252::NativeFromText;
using Windows1252::TextFromNative;

TEST(Windows1252, ATextBecomesTheFileSystemsBytesAndComesBackWhole)
{
    EXPECT_EQ(NativeFromText("B\xFC"
                             "cher"),
              "B\xC3\xBC"
              "cher");
    EXPECT_EQ(NativeFromText("\x80 \x81 \x9F"), "\xE2\x82\xAC \xC2\x81 \xC5\xB8");
    EXPECT_EQ(NativeFromText("/opt/tamvi/logs"), "/opt/tamvi/logs");

    std::string all;
    for (int byte = 1; byte < 256; ++byte)
        all += static_cast<char>(byte);
    EXPECT_EQ(TextFromNative(NativeFromText(all)), all);
}

TEST(Windows1252, ASystemPathBecomesTextWithAQuestionMarkForWhatTheTextCannotHold)
{
    EXPECT_EQ(TextFromNative("/home/M\xC3\xBCller/logfile"), "/home/M\xFCller/logfile");
    EXPECT_EQ(TextFromNative("\xE2\x82\xAC\xE2\x84\xA2"), "\x80\x99"); // euro, trade mark
    // Omega (two bytes), a CJK character (three), an emoji (four): one '?' each.
    EXPECT_EQ(TextFromNative("a\xCE\xA9"
                             "b\xE4\xB8\xAD"
                             "c\xF0\x9F\x98\x80"
                             "d"),
              "a?b?c?d");
    EXPECT_EQ(TextFromNative(""), "");
}

TEST(Windows1252, EachByteOfAnInvalidSequenceBecomesAQuestionMark)
{
    EXPECT_EQ(TextFromNative("M\xFCller"), "M?ller"); // a 1252 name on disk
    EXPECT_EQ(TextFromNative("ab\xC3"), "ab?");       // cut short at the end
    EXPECT_EQ(TextFromNative("\xC3"
                             "A"),
              "?A");                                            // a lead without its tail
    EXPECT_EQ(TextFromNative("\xBC"), "?");                     // a tail without its lead
    EXPECT_EQ(TextFromNative("\xC0\xAF\xE0\x80\xAF"), "?????"); // overlong forms
    EXPECT_EQ(TextFromNative("\xED\xA0\x80"), "???");           // a surrogate
    EXPECT_EQ(TextFromNative("\xF4\x90\x80\x80\xF8"), "?????"); // beyond U+10FFFF
}
