#include "qtcommon/Charset.h"

#include <gtest/gtest.h>

TEST(Charset, Windows1252RoundTripKeepsEveryByte)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all.push_back(static_cast<char>(byte));

    const QString text = FromWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(ToWindows1252(text), all);

    EXPECT_EQ(text[0x80], QChar(0x20AC)); // euro sign
    EXPECT_EQ(text[0x93], QChar(0x201C)); // left double quotation mark
    EXPECT_EQ(text[0x81], QChar(0x0081)); // undefined in 1252: kept as its C1 code
    EXPECT_EQ(text[0xE9], QChar(0x00E9)); // Latin-1 part unchanged
}

TEST(Charset, CharactersOutsideWindows1252BecomeOneQuestionMarkEach)
{
    const QString text = QStringLiteral("a\u0080\u20ACb\u03A9") + QString::fromUcs4(U"\U0001F600");
    EXPECT_EQ(ToWindows1252(text), std::string("a?\x80"
                                               "b??"));
    EXPECT_EQ(ToWindows1252(QString()), "");
}

TEST(Charset, Cp437ShowsControlCodesAndHighBytesAsDosGlyphs)
{
    EXPECT_EQ(FromCp437(std::string_view("\x00\x01\x02\x0D\x1B\x7F", 6)),
              QStringLiteral(" \u263A\u263B\u266A\u2190\u2302"));
    EXPECT_EQ(FromCp437("AZ az 09~"), QStringLiteral("AZ az 09~"));
    EXPECT_EQ(FromCp437("\x80\xB3\xC9\xE1\xFE\xFF"),
              QStringLiteral("\u00C7\u2502\u2554\u00DF\u25A0\u00A0"));

    std::string all(256, '\0');
    for (int byte = 0; byte < 256; ++byte)
        all[static_cast<std::size_t>(byte)] = static_cast<char>(byte);
    EXPECT_EQ(FromCp437(all).size(), 256); // one glyph per byte, no surrogates
}
