#include "quicksend/ModSnelkeuze.h"

#include "logfile/logfile.h"
#include "serial/RSinput.h"
#include "support/FakeClock.h"
#include "support/FakeSerialPort.h"

#include <gtest/gtest.h>

#include <string>

using namespace ModSnelkeuze;

namespace
{

// A row with every byte field switched off and no text.
QuickRow EmptyDefinition()
{
    QuickRow row;
    row.fill("-1");
    row[ButtonText] = "";
    row[String] = "";
    return row;
}

class QuickSendTest : public ::testing::Test
{
protected:
    QuickSendTest() { port.Open(); }

    // What a click on button `index` puts on the line.
    std::string Send(std::int16_t index)
    {
        port.written.clear();
        SendQuickButton(index, record, rs);
        return port.written;
    }

    FakeClock clock;
    logfile::LogWriter log{clock};
    FakeSerialPort port;
    SettingsRecord record;
    RunState state;
    RSinput rs{port, log, record, state};
};

TEST_F(QuickSendTest, ChecksumIsTheXorOfTheSentBytesWithOneSubtractionOf128)
{
    QuickRow row = EmptyDefinition();
    row[Tx1] = "2";
    row[Tx2] = "0x41";
    row[String] = "B";
    row[Checksum] = "99"; // neither the checksum field nor the caption enters the sum
    row[ButtonText] = "Go";
    EXPECT_EQ(ComputeChecksum(row), 1);

    row = EmptyDefinition();
    row[Tx1] = "0x02";
    row[Tx9] = "0x81";
    EXPECT_EQ(ComputeChecksum(row), 3);

    // 300 is never sent but enters the sum, and one subtraction leaves it above 127.
    row = EmptyDefinition();
    row[Tx1] = "300";
    EXPECT_EQ(ComputeChecksum(row), 172);
    row[Tx2] = "0x80";
    row[Tx3] = "0x7F";
    EXPECT_EQ(ComputeChecksum(row), 339); // 300 XOR 0x80 XOR 0x7F is 467
}

TEST_F(QuickSendTest, SendsBytesThenTextThenBytesThenTheStoredChecksum)
{
    QuickRow row = EmptyDefinition();
    row[Tx1] = "2";
    row[Tx2] = "0x41";
    row[String] = "B";
    row[Checksum] = " 1";
    StoreRow(record, 2, row);
    EXPECT_EQ(Send(2), "\x02\x41\x42\x01");

    // A value of 256 or more is dropped; the stored checksum goes out unchanged.
    row = EmptyDefinition();
    row[Tx1] = "300";
    row[Checksum] = " 172";
    StoreRow(record, 0, row);
    EXPECT_EQ(Send(0), "\xAC");

    row = {"Mixed", "", "-5", "0x4", "0X41", "12abc", "0x41", "-1", "", "2.5", " 65"};
    StoreRow(record, 7, row);
    EXPECT_EQ(Send(7), std::string("\x00\x40\x00\x0C"
                                   "0x41"
                                   "\x00\x02\x41",
                                   11));
}

TEST_F(QuickSendTest, EveryStoredDefinitionCanBeSentAndOthersSendNothing)
{
    QuickRow row = EmptyDefinition();
    row[String] = "ten";
    StoreRow(record, 10, row);
    EXPECT_EQ(Send(10), "ten");
    EXPECT_EQ(Send(11), "");
    EXPECT_EQ(Send(-1), "");
    EXPECT_EQ(RowOf(record, 11), QuickRow{});
}

TEST_F(QuickSendTest, ClosedPortSendsNothingButLightsTheTxLamp)
{
    QuickRow row = EmptyDefinition();
    row[Tx1] = "65";
    StoreRow(record, 1, row);
    port.Close();
    EXPECT_EQ(Send(1), "");
    EXPECT_EQ(state.TxActivity, 3);
}

TEST(QuickRows, RowsMapOntoTheRecordTablesInEditorColumnOrder)
{
    SettingsRecord record;
    const QuickRow row = {"cap", "1", "2", "3", "4", "5", "text", "7", "8", "9", "cs"};
    StoreRow(record, 4, row);
    EXPECT_EQ(record.Sneltekst[4], "cap");
    EXPECT_EQ(record.TxChar5[4], "5");
    EXPECT_EQ(record.TxString6[4], "text");
    EXPECT_EQ(record.TxChar7[4], "7");
    EXPECT_EQ(record.Check[4], "cs");
    EXPECT_EQ(RowOf(record, 4), row);
    EXPECT_EQ(RowOf(record, 3), QuickRow{});
}

} // namespace
