#include "serial/ParityMarks.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace
{

using namespace std::string_literals;

std::string DecodeInParts(std::string_view received, std::size_t split)
{
    ParityMarks marks;
    std::string decoded;
    marks.Decode(received.substr(0, split), decoded);
    marks.Decode(received.substr(split), decoded);
    return decoded;
}

TEST(ParityMarks, DamagedBytesBecomeTheReplacementAndDoubledMarksOneByteHoweverSplit)
{
    // A damaged "B", a true 0xFF, NUL bytes outside marks, a damaged 0xFF and a damaged NUL, and
    // a 0xFF followed by a byte no mark starts with.
    const std::string received = "A\xFF\x00"
                                 "B\xFF\xFF\x00"
                                 "C\x00\xFF\x00\xFF\xFF\x00\x00"
                                 "D\xFF"
                                 "E"s;
    const std::string expected = "A?\xFF\x00"
                                 "C\x00??D\xFF"
                                 "E"s;

    for (std::size_t split = 0; split <= received.size(); ++split)
        EXPECT_EQ(DecodeInParts(received, split), expected) << "split at " << split;

    ParityMarks marks;
    std::string decoded;
    for (const char byte : received)
        marks.Decode(std::string_view(&byte, 1), decoded);
    EXPECT_EQ(decoded, expected) << "one byte per read";
}

TEST(ParityMarks, AnUnfinishedMarkWaitsForTheNextReadAndGoesWithAReset)
{
    ParityMarks marks;
    std::string decoded;
    marks.Decode("ok\xFF\x00"s, decoded);
    EXPECT_EQ(decoded, "ok");

    marks.Reset();
    marks.Decode("x", decoded);
    EXPECT_EQ(decoded, "okx") << "the old mark does not damage the first byte after a reset";
}

} // namespace
