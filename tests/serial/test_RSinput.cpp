#include "serial/RSinput.h"

#include "logfile/logfile.h"
#include "settings/SettingsRecord.h"
#include "support/FakeClock.h"
#include "support/FakeSerialPort.h"
#include "support/LoggedTexts.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{

class RSinputTest : public ::testing::Test
{
protected:
    RSinputTest()
    {
        log.SetLogDirectory(folder.Str());
        port.Open();
        port.recordCalls = false;
        for (std::string *start : {&settings.Start1, &settings.Start2, &settings.Start3,
                                   &settings.Start4, &settings.Start5})
            *start = "-1";
    }

    void Receive(std::string_view bytes)
    {
        port.Feed(bytes);
        rs.ProcessInput();
    }

    std::vector<std::string> Logged() const { return LoggedTexts(log, clock.Now()); }

    // The rows in use, from the top down to the current line.
    std::vector<std::string> Rows() const
    {
        const auto &lines = rs.LogLines();
        return {lines.begin(), lines.begin() + rs.LogLineIndex() + 1};
    }

    TempFolder folder;
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log{clock};
    FakeSerialPort port;
    SettingsRecord settings;
    RunState state;
    RSinput rs{port, log, settings, state};
};

TEST_F(RSinputTest, TextViewNamesControlBytesAndBreaksAtStartCommands)
{
    settings.Start1 = "2";
    Receive("A\x02"
            "B");
    EXPECT_THAT(Rows(), ElementsAre("A", "->START: [STX]B"));
    EXPECT_THAT(Logged(), ElementsAre("A"));

    Receive(std::string("\x00\x01 \x7F\r\n\x1F~\xA5\x80\xFF", 11));
    EXPECT_EQ(rs.CurrentLine(),
              "->START: [STX]B[NULL][SOH][SPATIE][RUBOUT][CR][LF][US]~[0xA5][0x80][0xFF]");
    EXPECT_THAT(Logged(), ElementsAre("A")) << "CR and LF do not end a rendered line";
}

TEST_F(RSinputTest, HexViewShowsEveryByteAsHex)
{
    settings.Start1 = "2";
    state.DisplayMode = -1;
    Receive("A\x02"
            "B");
    EXPECT_THAT(Rows(), ElementsAre("0x41 ", "->START: 0x02 0x42 "));

    Receive(std::string("\x00 \x7F\r\xA5", 5));
    EXPECT_EQ(rs.CurrentLine(), "->START: 0x02 0x42 0x00 0x20 0x7F 0x0D 0xA5 ");

    // A change of view applies from the next byte; the text already there stays.
    state.DisplayMode = 0;
    Receive("\x01");
    EXPECT_EQ(rs.CurrentLine(), "->START: 0x02 0x42 0x00 0x20 0x7F 0x0D 0xA5 [SOH]");
}

TEST_F(RSinputTest, StartValuesAreReadAsNumbers)
{
    settings.Start2 = "0x41"; // 'A'
    settings.Start5 = "300";  // outside 0..255: never matches
    Receive("xAyA\xFF");
    EXPECT_THAT(Rows(), ElementsAre("x", "->START: Ay", "->START: A[0xFF]"));

    // A start command on an empty current line logs an empty line and leaves an empty row.
    rs.ClearLogLines();
    Receive("A");
    EXPECT_THAT(Rows(), ElementsAre("", "->START: A"));
    EXPECT_THAT(Logged(), ElementsAre("x", "->START: Ay", ""));

    // "-1" switches a start value off; an empty text reads as 0 and makes NUL a start command.
    // An edit counts from the next byte received.
    settings.Start2 = "-1";
    settings.Start3 = "";
    Receive(std::string("A\x00", 2));
    EXPECT_THAT(Rows(), ElementsAre("", "->START: AA", "->START: [NULL]"));
}

TEST_F(RSinputTest, PlainTextBreaksAtCrAndLfOnly)
{
    settings.AnsiLogMode = true;
    settings.Start1 = "2";
    state.DisplayMode = -1; // no part in plain text
    Receive("AB\r\nC");
    EXPECT_THAT(Rows(), ElementsAre("AB", "C"));
    EXPECT_THAT(Logged(), ElementsAre("AB"));

    Receive("\n\n");
    Receive(std::string("\x02\x00 \x7F\xA5\r", 6));
    EXPECT_THAT(Rows(), ElementsAre("AB", "C", std::string("\x02\x00 \x7F\xA5", 5), ""));
    EXPECT_THAT(Logged(), ElementsAre("AB", "C", std::string("\x02\x00 \x7F\xA5", 5)));
}

TEST_F(RSinputTest, LinesEndOnceLongerThan160Characters)
{
    settings.AnsiLogMode = true;
    Receive(std::string(160, 'a'));
    EXPECT_THAT(Logged(), IsEmpty());
    Receive("bc");
    EXPECT_THAT(Rows(), ElementsAre(std::string(160, 'a') + "b", "c"));
    EXPECT_THAT(Logged(), ElementsAre(std::string(160, 'a') + "b"));

    // In the rendered view the token that crosses the limit stays on the ended line.
    rs.ClearLogLines();
    settings.AnsiLogMode = false;
    Receive(std::string(158, 'a') + "\x03z");
    EXPECT_THAT(Rows(), ElementsAre(std::string(158, 'a') + "[ETX]", "z"));

    // A hex line holds 32 bytes (160 characters); the 33rd ends it at 165.
    rs.ClearLogLines();
    state.DisplayMode = -1;
    Receive(std::string(32, 'A'));
    EXPECT_EQ(rs.LogLineIndex(), 0);
    Receive("AB");
    EXPECT_EQ(Logged().back().size(), 165u);
    EXPECT_THAT(Rows(), ElementsAre(Logged().back(), "0x42 "));
}

TEST_F(RSinputTest, TheTwentySixthLineScrollsTheFirstOutOfView)
{
    settings.AnsiLogMode = true;
    std::string bytes;
    for (int n = 1; n <= 25; ++n)
        bytes += "L" + std::to_string(n) + "\n";
    Receive(bytes + "L26");

    std::vector<std::string> expected;
    for (int n = 2; n <= 26; ++n)
        expected.push_back("L" + std::to_string(n));
    EXPECT_EQ(rs.LogLineIndex(), 24);
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(Logged().size(), 25u);
    EXPECT_EQ(Logged().front(), "L1");
}

TEST_F(RSinputTest, HoldReadsNothingUntilItEnds)
{
    settings.AnsiLogMode = true;
    Receive("A");
    state.RxActivity = 0;
    state.LogHold = -1;
    Receive("B\rC");
    EXPECT_EQ(port.Waiting(), 3u);
    EXPECT_EQ(state.RxActivity, 0);
    EXPECT_THAT(Rows(), ElementsAre("A"));

    // Clearing during the hold empties the buffer at once; the kept bytes come after.
    rs.ClearLogLines();
    EXPECT_THAT(Rows(), ElementsAre(""));
    state.LogHold = 0;
    rs.ProcessInput();
    EXPECT_EQ(state.RxActivity, 3);
    EXPECT_THAT(Rows(), ElementsAre("B", "C"));
    EXPECT_THAT(Logged(), ElementsAre("B")) << "the cleared \"A\" is never logged";
}

// A source faster than the program cannot keep a tick going: each tick takes at most its budget
// and leaves the rest waiting for the next, so that timers, clicks and signals keep their turn.
TEST_F(RSinputTest, ATickTakesAtMostItsBudget)
{
    settings.AnsiLogMode = true; // line breaks alone: nothing to log, the test stays fast
    port.Feed(std::string(RSinput::kMaxBytesPerTick + 5, '\n'));
    rs.ProcessInput();
    EXPECT_EQ(port.Waiting(), 5u);
    rs.ProcessInput();
    EXPECT_EQ(port.Waiting(), 0u);
}

TEST_F(RSinputTest, ClearWhileDataFlowsStartsAgainInTheTopRow)
{
    settings.AnsiLogMode = true;
    Receive("one\rtwo\rthr");
    rs.ClearLogLines();
    EXPECT_EQ(rs.LogLineIndex(), 0);
    EXPECT_THAT(rs.LogLines(), ::testing::Each(""));
    Receive("ee\r");
    EXPECT_THAT(Rows(), ElementsAre("ee", ""));
    EXPECT_THAT(Logged(), ElementsAre("one", "two", "ee"));
}

TEST_F(RSinputTest, ReadInputCharsDeliversEveryByteAndCountsFailuresAsNoInput)
{
    port.Feed(std::string("\x00\xFF", 2));
    std::string read;
    for (std::string bytes = rs.ReadInputChars(); !bytes.empty(); bytes = rs.ReadInputChars())
        read += bytes;
    EXPECT_EQ(read, std::string("\x00\xFF", 2));
    EXPECT_EQ(state.RxActivity, 3);
    state.RxActivity = 0;
    EXPECT_EQ(rs.ReadInputChars(), "");
    EXPECT_EQ(state.RxActivity, 0) << "only a poll that finds input sets the receive lamp";

    port.Feed("x");
    port.Fail("Read", "Input/output error");
    EXPECT_EQ(rs.ReadInputChars(), "");
    port.Heal("Read");
    port.Close();
    EXPECT_EQ(rs.ReadInputChars(), "");
    rs.ProcessInput(); // a closed port: the tick ends quietly
    EXPECT_THAT(Rows(), ElementsAre(""));
}

TEST_F(RSinputTest, SendCharWritesBytesAndAlwaysLightsTheTxLamp)
{
    rs.SendString("0x41");
    rs.SendChar(0);
    rs.SendChar(255);
    EXPECT_EQ(port.written, std::string("0x41\x00\xFF", 6));

    for (std::int16_t code : {256, -1}) {
        state.TxActivity = 0;
        rs.SendChar(code);
        EXPECT_EQ(state.TxActivity, 3);
    }
    EXPECT_EQ(port.written.size(), 6u);

    port.Close();
    state.TxActivity = 0;
    rs.SendChar('A');
    EXPECT_EQ(state.TxActivity, 3);
    EXPECT_EQ(port.written.size(), 6u) << "nothing goes out on a closed port";
}

} // namespace
