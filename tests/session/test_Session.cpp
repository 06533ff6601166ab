#include "session/Session.h"

#include "logfile/logfile.h"
#include "settings/LeesIniFile.h"
#include "support/FakeClock.h"
#include "support/FakeSerialPort.h"
#include "support/FakeView.h"
#include "support/LoggedTexts.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace
{

const std::string kNoPort = "Compoort niet te openen. Controleer instellingen";
const std::string kCom3Caption = " Tamvi by Dranel            Settings: Com3 9600,N,8,1";

class SessionTest : public ::testing::Test
{
protected:
    SessionTest()
    {
        session.SetView(&view);
        SettingsRecord s;
        s.compoort = 3;
        s.baudrate = 4;
        s.bits = 1;
        for (std::string *start : s.Starts())
            *start = "-1";
        Use(s);
    }

    // The record becomes the session's as a settings save makes it; the port is closed again
    // and what the save did is forgotten, so that a test sees only its own calls and lines.
    void Use(const SettingsRecord &record)
    {
        session.ApplySettings(record);
        session.ClosePort();
        port.calls.clear();
        view.caption.clear();
        view.captions.clear();
        loggedBefore_ = LoggedTexts(log, clock.Now()).size();
    }
    template <typename Edit> void Change(Edit edit)
    {
        SettingsRecord record = session.Settings();
        edit(record);
        Use(record);
    }

    std::vector<std::string> Logged() const
    {
        const std::vector<std::string> all = LoggedTexts(log, clock.Now());
        return {all.begin() + static_cast<std::ptrdiff_t>(loggedBefore_), all.end()};
    }

    std::int16_t OpenFresh(std::int16_t number)
    {
        port.calls.clear();
        return session.OpenPort(number);
    }

    TempFolder folder;
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log{clock};
    FakeSerialPort port;
    FakeView view;
    std::chrono::steady_clock::time_point monotonic;
    Session session{port, log, folder.Str(), [this] { return monotonic; }};
    // A receive tick as the front end's timer runs it, its interval after the last one.
    void Tick()
    {
        monotonic += Session::kReceiveInterval;
        session.ReceiveTick();
    }
    std::size_t loggedBefore_ = 0;
};

TEST_F(SessionTest, StartUpWithoutSettingsFileWarnsOnceAndRunsOnClosed)
{
    std::filesystem::remove(folder.Path() / "tamvi.set");
    session.StartUp();
    EXPECT_THAT(view.captions, ElementsAre(" Tamvi"));
    EXPECT_THAT(view.messages, ElementsAre(kNoPort));
    EXPECT_EQ(view.modeCaption, "Mode: ASC II");
    EXPECT_EQ(view.holdCaption, "Stop log");
    EXPECT_THAT(port.calls, IsEmpty()) << "port 0 never reaches the component";
    EXPECT_FALSE(view.buttons[0].visible);
    EXPECT_EQ(session.LogLineIndex(), 0);

    const auto lines = Logged();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], ::testing::StartsWith("DEBUG: Bij instellingen geen logfilepath"));
    EXPECT_EQ(lines[1], "Tamvi van Dranel BV gestart");
}

// A settings file that is there but cannot be read is said so, and no save of the run replaces
// the settings it never read.
TEST_F(SessionTest, StartUpWithAnUnreadableSettingsFileWarnsAndNoSaveReplacesIt)
{
    const std::filesystem::path file = folder.Path() / "tamvi.set";
    const std::string huge(2 << 20, ' ');
    std::ofstream(file, std::ios::binary) << huge;
    session.StartUp();
    EXPECT_THAT(view.warnings,
                ElementsAre("Instellingen niet te lezen: " + file.string() +
                            ": larger than 1 MiB\nTamvi werkt met de standaardinstellingen; "
                            "Save laat het bestand zoals het is."));
    EXPECT_THAT(view.messages, ElementsAre(kNoPort));
    EXPECT_EQ(session.Settings().compoort, 0);

    const Session::Saved saved = session.ApplySettings(session.Settings());
    EXPECT_FALSE(saved.settings.ok);
    EXPECT_EQ(saved.settings.path, file.string());
    EXPECT_FALSE(session.SaveQuickRows({}).ok);
    EXPECT_EQ(ReadFileBytes(file), huge);
}

// A device the user chose that cannot be linked leaves the port closed: opening it would open
// whatever else the port number names.
TEST_F(SessionTest, AChosenDeviceThatCannotBeLinkedLeavesThePortClosed)
{
    ASSERT_EQ(session.OpenPort(3), 0);
    std::filesystem::create_directories(folder.Path() / "ports" / "com3");
    port.calls.clear();
    const Session::Saved saved = session.ApplySettings(session.Settings(), "/dev/ttyUSB0");
    EXPECT_FALSE(saved.link.ok);
    EXPECT_TRUE(saved.settings.ok);
    EXPECT_FALSE(port.open);
    EXPECT_THAT(port.calls, ::testing::Not(::testing::Contains("Open()")));
    EXPECT_THAT(Logged(), ElementsAre("DEBUG: Compoort 3 blijft dicht: " + folder.Str() +
                                      "/ports/com3 niet gekoppeld: a folder, not a link: left as "
                                      "it is"));
}

// The system would cut the path short at the NUL and append to a file named "logs".
TEST_F(SessionTest, ALogFolderWithANulFallsBackToTheDefaultAndSaysWhy)
{
    SettingsRecord record = session.Settings();
    record.logfilepath = (folder.Path() / "logs").string() + std::string(1, '\0') + "x";
    ASSERT_TRUE(LeesIniFile::SchrijfIni(record, folder.Str()).ok);

    session.StartUp();
    EXPECT_EQ(log.LogDirectory(), (folder.Path() / "logfile").string());
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "logs"));
    const auto lines = Logged();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "DEBUG: Bij instellingen logfilepath met een NUL-byte, geen pad, default: " +
                  (folder.Path() / "logfile").string());
}

TEST_F(SessionTest, StartUpOpensTheStoredPortAndCaptionsTheWindow)
{
    SettingsRecord record = session.Settings();
    record.Sneltekst[2] = "Ping";
    ASSERT_TRUE(LeesIniFile::SchrijfIni(record, folder.Str()).ok);

    session.StartUp();
    EXPECT_THAT(view.captions, ElementsAre(" Tamvi", kCom3Caption));
    EXPECT_THAT(view.messages, IsEmpty());
    EXPECT_TRUE(port.open);
    EXPECT_TRUE(view.buttons[2].visible);
    EXPECT_EQ(view.buttons[2].caption, "Ping");
    EXPECT_EQ(Logged().back(), "Tamvi van Dranel BV gestart");
}

TEST_F(SessionTest, StartUpWithABusyPortLogsWhyBeforeTheStartLine)
{
    port.Fail("Open", "Device or resource busy");
    session.StartUp();
    EXPECT_THAT(view.captions, ElementsAre(" Tamvi"));
    EXPECT_THAT(view.messages, ElementsAre(kNoPort));
    EXPECT_FALSE(port.open);
    EXPECT_EQ(port.calls.back(), "Close()");
    const auto lines = Logged();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "DEBUG: Compoort 3 [/dev/ttyFAKE]: Device or resource busy");
    EXPECT_EQ(lines.back(), "Tamvi van Dranel BV gestart");
}

TEST_F(SessionTest, OpenPortConfiguresInOrderForEachHandShake)
{
    const std::vector<std::string> head = {"SetPortNumber(3)", "Open()", "SetSettings(9600,N,8,1)",
                                           "SetNullDiscard(off)"};
    const std::vector<std::string> tail = {"SetEofEnable(off)", "SetDtr(on)", "SetReadLength(1)"};
    const std::vector<std::vector<std::string>> handshakes = {
        {"SetRts(off)", "SetHandshaking(None)"},
        {"SetRts(on)", "SetHandshaking(RtsCts)"},
        {"SetHandshaking(None)", "SetRts(on)"},
        {}};
    for (std::int16_t mode = 0; mode <= 3; ++mode) {
        SCOPED_TRACE(mode);
        Change([mode](SettingsRecord &s) { s.HandShake = mode; });
        ASSERT_EQ(OpenFresh(3), 0);
        std::vector<std::string> expected = head;
        expected.insert(expected.end(), handshakes[mode].begin(), handshakes[mode].end());
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_THAT(port.calls, ElementsAreArray(expected));
    }
    EXPECT_TRUE(port.dtr);
    EXPECT_EQ(view.caption, kCom3Caption);
}

TEST_F(SessionTest, OpenPortFailuresCloseAgainAndKeepTheCaption)
{
    for (std::int16_t number : {0, 26, -1}) {
        EXPECT_EQ(OpenFresh(number), -1);
        EXPECT_THAT(port.calls, IsEmpty()) << number;
    }
    EXPECT_THAT(Logged(), IsEmpty());

    port.Fail("SetSettings", "Invalid argument");
    EXPECT_EQ(OpenFresh(3), -1);
    EXPECT_THAT(port.calls,
                ElementsAre("SetPortNumber(3)", "Open()", "SetSettings(9600,N,8,1)", "Close()"));
    EXPECT_FALSE(port.open);
    EXPECT_THAT(view.captions, IsEmpty());
    EXPECT_THAT(Logged(), ElementsAre("DEBUG: Compoort 3 [/dev/ttyFAKE]: Invalid argument"));
}

TEST_F(SessionTest, PortSettingsStringFollowsTheIndexLists)
{
    const auto text = [&](std::int16_t baud, std::int16_t parity, std::int16_t bits,
                          std::int16_t stopbits) {
        Change([&](SettingsRecord &s) {
            s.baudrate = baud;
            s.parity = parity;
            s.bits = bits;
            s.stopbits = stopbits;
        });
        return session.PortSettingsString();
    };
    EXPECT_EQ(text(0, 0, 0, 0), "300,N,7,1");
    EXPECT_EQ(text(5, 1, 1, 1), "19200,E,8,2");
    EXPECT_EQ(text(12, 2, 5, 2), "19200,O,8,1");
    EXPECT_EQ(text(-1, 3, -1, -1), "19200,N,8,1");
    EXPECT_EQ(text(8, 0, 1, 0), "115200,N,8,1");
}

TEST_F(SessionTest, LampsFollowTheCountersAndTheModemLines)
{
    const auto lit = [&] {
        const LampStates &lamps = session.LampTick();
        return std::string(lamps.tx ? "T" : "-") + (lamps.rx ? "R" : "-") +
               (lamps.cts ? "C" : "-") + (lamps.rts ? "S" : "-");
    };
    session.SendTypedChar('x'); // port closed: nothing sent, the lamp still lights
    EXPECT_EQ(lit(), "T---");
    EXPECT_EQ(lit(), "T---");
    EXPECT_EQ(lit(), "----");
    EXPECT_EQ(lit(), "----");
    EXPECT_EQ(session.State().TxActivity, 0);

    port.calls.clear();
    lit();
    EXPECT_THAT(port.calls, ElementsAre("GetCts()", "GetRts()")) << "read also while closed";

    Change([](SettingsRecord &s) { s.HandShake = 2; }); // RTS held on
    ASSERT_EQ(session.OpenPort(3), 0);
    port.cts = true;
    port.Feed("A");
    Tick();
    EXPECT_EQ(lit(), "-RCS");
    EXPECT_EQ(lit(), "-RCS");
    port.cts = false;
    EXPECT_EQ(lit(), "---S");
}

TEST_F(SessionTest, RtsSwitchesByHandOnlyWithoutHandshake)
{
    session.ToggleRts(); // closed port: the stored level still switches
    EXPECT_TRUE(port.rts);
    session.ToggleRts();
    EXPECT_FALSE(port.rts);
    EXPECT_THAT(Logged(), ElementsAre("STATUS: RTS made ACTIVE (+12V).",
                                      "STATUS: RTS made INACTIVE (-12V)."));
    for (std::int16_t mode : {1, 2}) {
        Change([mode](SettingsRecord &s) { s.HandShake = mode; });
        const bool level = port.rts;
        session.ToggleRts();
        EXPECT_EQ(port.rts, level);
        EXPECT_THAT(Logged(),
                    ElementsAre("STATUS: Wrong HandShakeType, no manual adjustment possible."));
    }
}

TEST_F(SessionTest, ButtonsToggleModeAndHoldWithTheirCaptions)
{
    session.ToggleDisplayMode();
    EXPECT_EQ(view.modeCaption, "Mode: HEX");
    EXPECT_EQ(session.State().DisplayMode, -1);
    session.ToggleDisplayMode();
    EXPECT_EQ(view.modeCaption, "Mode: ASC II");
    EXPECT_EQ(session.State().DisplayMode, 0);

    ASSERT_EQ(session.OpenPort(3), 0);
    session.ToggleHold();
    EXPECT_EQ(view.holdCaption, "Continue");
    port.Feed("held");
    Tick();
    EXPECT_EQ(port.Waiting(), 4u);
    session.ToggleHold();
    EXPECT_EQ(view.holdCaption, "Log hold");
    Tick();
    EXPECT_EQ(session.LogLines()[0], "held");

    session.ClearLog();
    EXPECT_EQ(session.LogLines()[0], "");
}

TEST_F(SessionTest, TypedKeysAndQuickButtonsGoOutOnTheLine)
{
    Session::QuickRows rows;
    rows[5].fill("-1");
    rows[5][ModSnelkeuze::Tx1] = "0x02";
    rows[5][ModSnelkeuze::String] = "Hi";
    ASSERT_TRUE(session.SaveQuickRows(rows).ok);
    ASSERT_EQ(session.OpenPort(3), 0);
    session.QuickSend(5);
    session.SendTypedChar(13);
    EXPECT_EQ(port.written, "\x02Hi\r");
}

TEST_F(SessionTest, QuitLogsTheCurrentLineAndTheEndLineOnce)
{
    ASSERT_EQ(session.OpenPort(3), 0);
    port.Feed("A");
    Tick();
    session.ToggleHold();
    port.Feed("B"); // on hold: logged at the end as a release would
    session.Quit();
    EXPECT_FALSE(port.open);
    port.calls.clear();
    session.Quit(); // the close box after a signal
    EXPECT_THAT(port.calls, IsEmpty());
    EXPECT_THAT(Logged(), ElementsAre("AB", "Logging beeindigd"));
}

TEST_F(SessionTest, QuitWithAnEmptyLineStillWritesIt)
{
    session.Quit();
    EXPECT_THAT(Logged(), ElementsAre("", "Logging beeindigd"));
    const std::string file = ReadFileBytes(log.LogFilePath(clock.Now()));
    EXPECT_TRUE(file.ends_with("14:05:09 \r\n14:05:09 Logging beeindigd\r\n"));
}

TEST_F(SessionTest, ASaveLogsBeforeOpeningAgain)
{
    ASSERT_EQ(session.OpenPort(3), 0);
    port.Fail("Open", "No such file or directory");
    port.calls.clear();
    session.ApplySettings(session.Settings());
    EXPECT_THAT(port.calls, ElementsAre("SetReadLength(0)", "WaitingCount()", "Close()",
                                        "SetPortNumber(3)", "Open()", "Close()"));
    EXPECT_THAT(Logged(),
                ElementsAre("DEBUG: ComPoort opnieuw geopend:  3",
                            "DEBUG: Compoort 3 [/dev/ttyFAKE]: No such file or directory"));
    EXPECT_THAT(view.messages, IsEmpty());
    EXPECT_EQ(view.caption, kCom3Caption) << "a failed reopen keeps the old caption";

    port.Heal("Open");
    SettingsRecord record = session.Settings();
    record.compoort = 12;
    session.ApplySettings(record);
    EXPECT_TRUE(port.open);
    EXPECT_EQ(view.caption, " Tamvi by Dranel            Settings: Com12 9600,N,8,1");

    record.compoort = -2;
    session.ApplySettings(record);
    EXPECT_EQ(Logged().back(), "DEBUG: ComPoort opnieuw geopend: -2");
}

// Bytes that came before a save belong to the old port: logged before the reopen line, or, on
// hold, gone with the close instead of showing up as the reopened port's.
TEST_F(SessionTest, ASaveLeavesTheOldPortsBytesBehindTheReopenLine)
{
    Change([](SettingsRecord &s) { s.AnsiLogMode = true; });
    ASSERT_EQ(session.OpenPort(3), 0);
    port.Feed("before\r\n");
    session.ApplySettings(session.Settings());
    EXPECT_THAT(Logged(), ElementsAre("before", "DEBUG: ComPoort opnieuw geopend:  3"));

    session.ToggleHold();
    port.Feed("held\r\n");
    session.ApplySettings(session.Settings());
    session.ToggleHold();
    Tick();
    EXPECT_THAT(Logged(), ElementsAre("before", "DEBUG: ComPoort opnieuw geopend:  3",
                                      "DEBUG: ComPoort opnieuw geopend:  3"));
    for (const std::string &line : session.LogLines())
        EXPECT_EQ(line.find("held"), std::string::npos) << line;
    EXPECT_TRUE(port.open);
}

TEST_F(SessionTest, ALostPortIsClosedWithOneStatusLine)
{
    Change([](SettingsRecord &s) { s.AnsiLogMode = true; });
    ASSERT_EQ(session.OpenPort(3), 0);
    // Received before the loss: its lines, the unfinished one too, are logged first, and the
    // device that comes back starts a line of its own.
    port.Feed("AB\r\nC");
    port.Lose("Input/output error");
    EXPECT_FALSE(port.open);
    EXPECT_THAT(Logged(), ElementsAre("AB", "C",
                                      "STATUS: Port Com3 [/dev/ttyFAKE] lost: Input/output "
                                      "error. Port closed; it opens again when the device "
                                      "is back."));
    EXPECT_EQ(session.LogLines()[1], "C");
    EXPECT_EQ(session.LogLines()[2], "");
    port.Feed("x");
    Tick();
    EXPECT_EQ(port.Waiting(), 1u); // a closed port reads nothing
}

// A lost port is tried once a second, first by looking for its device, and opens again by
// itself with one line; failed attempts stay quiet.
TEST_F(SessionTest, ALostPortOpensAgainWhenTheDeviceIsBack)
{
    const std::filesystem::path ports = folder.Path() / "ports";
    const std::filesystem::path device = folder.Path() / "device";
    std::filesystem::create_directories(ports);
    std::filesystem::create_symlink(device, ports / "com3");
    const auto plugIn = [&] { std::ofstream{device}; };
    const auto second = [&] {
        for (int tick = 0; tick < 5; ++tick)
            Tick();
    };
    const auto opens = [&] { return std::count(port.calls.begin(), port.calls.end(), "Open()"); };
    plugIn();
    ASSERT_EQ(session.OpenPort(3), 0);
    port.Lose("Input/output error");
    std::filesystem::remove(device);
    view.captions.clear();
    port.calls.clear();
    second();
    second();
    EXPECT_EQ(opens(), 0) << "no device, no open";

    plugIn();
    port.Fail("Open", "Device or resource busy");
    second();
    EXPECT_EQ(opens(), 1);
    EXPECT_FALSE(port.open);
    port.Heal("Open");
    port.notTaken = {{"parity", "E", "N"}};
    for (int tick = 0; tick < 4; ++tick)
        Tick();
    EXPECT_EQ(opens(), 1) << "one attempt a second";
    Tick();
    EXPECT_TRUE(port.open);
    EXPECT_THAT(view.captions, ElementsAre(kCom3Caption));
    const std::vector<std::string> lines = Logged();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[0], ::testing::StartsWith("STATUS: Port Com3 [/dev/ttyFAKE] lost: "));
    EXPECT_EQ(lines[1], "STATUS: Port Com3 [/dev/ttyFAKE] open again: 9600,N,8,1");
    EXPECT_EQ(lines[2], "DEBUG: Compoort 3 [/dev/ttyFAKE]: parity E not taken, the device runs "
                        "with N");
    second();
    EXPECT_EQ(opens(), 2) << "an open port is not tried again";

    // A save, and the end of the program, end the attempts.
    for (const bool save : {true, false}) {
        port.Lose("Input/output error");
        if (save)
            Use(session.Settings());
        else
            session.Quit();
        port.calls.clear();
        second();
        EXPECT_EQ(opens(), 0) << save;
    }
}

// On hold, what a lost port received waits for the port to come back, through failed attempts,
// and for Continue.
TEST_F(SessionTest, AHoldOutlastsALossAndTheReturn)
{
    std::filesystem::create_directories(folder.Path() / "ports");
    std::ofstream{folder.Path() / "ports" / "com3"};
    Change([](SettingsRecord &s) { s.AnsiLogMode = true; });
    ASSERT_EQ(session.OpenPort(3), 0);
    session.ToggleHold();
    port.Feed("held");
    port.Lose("Input/output error");
    port.Fail("Open", "Permission denied"); // the first attempt fails, and is closed after
    for (int tick = 0; tick < 5; ++tick)
        Tick();
    port.Heal("Open");
    for (int tick = 0; tick < 5; ++tick)
        Tick();
    ASSERT_TRUE(port.open);
    port.Feed("new\r\n");
    session.ToggleHold();
    Tick();
    const std::vector<std::string> lines = Logged();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "held");
    EXPECT_EQ(lines[3], "new");
}

// An adapter whose reads keep failing: each loss soon after opening again doubles the wait, up
// to a minute, and the repeats are one line until it stays open; an ordinary loss after that,
// and a replug at any time, is tried after a second again.
TEST_F(SessionTest, APortThatKeepsFailingIsTriedLessOftenAndItsRepeatsAreCounted)
{
    std::filesystem::create_directories(folder.Path() / "ports");
    std::ofstream{folder.Path() / "ports" / "com3"};
    ASSERT_EQ(session.OpenPort(3), 0);
    const std::filesystem::path device = folder.Path() / "ports" / "com3";
    const auto ticksToReopen = [&](bool replug = false) {
        if (replug)
            std::filesystem::remove(device);
        port.Lose("Input/output error");
        if (replug)
            std::ofstream{device};
        int ticks = 0;
        while (!port.open && ticks < 1000) {
            Tick();
            ++ticks;
        }
        return ticks;
    };
    std::vector<int> seconds;
    for (int loss = 0; loss < 9; ++loss)
        seconds.push_back(ticksToReopen() / 5);
    EXPECT_THAT(seconds, ElementsAre(1, 2, 4, 8, 16, 32, 60, 60, 60));
    EXPECT_EQ(session.Rest(), std::chrono::milliseconds(0)) << "the repeats wait to be counted";
    monotonic += std::chrono::seconds(61);
    Tick();
    EXPECT_EQ(ticksToReopen(), 5);
    EXPECT_EQ(ticksToReopen(true), 5) << "a replug within the minute is no repeat";

    const std::string port3 = "STATUS: Port Com3 [/dev/ttyFAKE] ";
    const std::string lost = port3 + "lost: Input/output error. Port closed; it opens again "
                                     "when the device is back.";
    const std::string again = port3 + "open again: 9600,N,8,1";
    EXPECT_THAT(Logged(),
                ElementsAre(lost, again,
                            port3 + "lost again within a minute: Input/output error. Tried "
                                    "again after 2, 4 ... 60 s while it keeps failing; its "
                                    "losses are counted until it stays open a minute.",
                            port3 + "lost 8 times within a minute of opening again (Input/output "
                                    "error); open for a minute now: 9600,N,8,1",
                            lost, again, lost, again));
}

// A lost port whose link went with its device waits for the link: the machine's own port of
// that number is another device.
TEST_F(SessionTest, ALostPortWaitsForTheLinkItWasOpenedBy)
{
    const std::filesystem::path link = folder.Path() / "ports" / "com1";
    std::filesystem::create_directories(link.parent_path());
    std::ofstream{folder.Path() / "device"};
    std::filesystem::create_symlink(folder.Path() / "device", link);
    Change([](SettingsRecord &s) { s.compoort = 1; });
    ASSERT_EQ(session.OpenPort(1), 0);
    port.Lose("Input/output error");
    std::filesystem::remove(link);
    port.calls.clear();
    for (int tick = 0; tick < 15; ++tick)
        Tick();
    EXPECT_FALSE(port.open) << "opened " << BuiltInPortPath(1) << " instead";
    std::filesystem::create_symlink(folder.Path() / "device", link);
    for (int tick = 0; tick < 5; ++tick)
        Tick();
    EXPECT_TRUE(port.open);
}

// Device paths and the system's reasons come in the system's encoding (UTF-8); the log and the
// window get them in Windows-1252, like every other text.
TEST_F(SessionTest, PathsAndReasonsBecomeTextIn1252)
{
    port.device = "/home/M\xC3\xBCller/ports/com3";
    port.Fail("Open", "Ger\xC3\xA4t besetzt");
    EXPECT_EQ(session.OpenPort(3), -1);
    port.Heal("Open");
    ASSERT_EQ(session.OpenPort(3), 0);
    port.Lose("Ger\xC3\xA4t weg");
    EXPECT_THAT(Logged(),
                ElementsAre("DEBUG: Compoort 3 [/home/M\xFCller/ports/com3]: Ger\xE4t besetzt",
                            "STATUS: Port Com3 [/home/M\xFCller/ports/com3] lost: Ger\xE4t weg. "
                            "Port closed; it opens again when the device is back."));

    const std::filesystem::path blocker = folder.Path() / "M\xC3\xBCller";
    std::ofstream(blocker) << "not a folder";
    log.SetLogDirectory((blocker / "logs").string());
    session.ToggleRts();
    Tick();
    ASSERT_EQ(view.logFailures.size(), 1u);
    EXPECT_NE(view.logFailures[0].find("M\xFCller/logs"), std::string::npos) << view.logFailures[0];
}

TEST_F(SessionTest, EmptyCaptionsHideTheirQuickButtons)
{
    Session::QuickRows rows;
    const char *const captions[] = {"One", "Two", "Three", "", "Five", "", "Seven", "Eight"};
    for (std::size_t r = 0; r < rows.size(); ++r)
        rows[r][ModSnelkeuze::ButtonText] = captions[r];
    ASSERT_TRUE(session.SaveQuickRows(rows).ok);
    session.UpdateQuickButtons();
    EXPECT_FALSE(view.buttons[3].visible);
    EXPECT_EQ(view.buttons[3].caption, "");
    EXPECT_FALSE(view.buttons[5].visible);
    EXPECT_TRUE(view.buttons[7].visible);
    EXPECT_EQ(view.buttons[7].caption, "Eight");

    rows[3][ModSnelkeuze::ButtonText] = "Start";
    ASSERT_TRUE(session.SaveQuickRows(rows).ok);
    session.UpdateQuickButtons();
    EXPECT_TRUE(view.buttons[3].visible);
    EXPECT_EQ(view.buttons[3].caption, "Start");
}

} // namespace

// Rest says how long a front end's receive tick may sleep: until the port or the user brings
// something while nothing waits, the time to the next attempt at a lost port, none while bytes
// or lines wait. The lamp tick rests once no lamp counts down, unless CTS must be polled.
TEST_F(SessionTest, TheTicksRestWhileThereIsNothingToDo)
{
    using std::chrono::milliseconds;
    constexpr milliseconds kUntilActivity = Session::kRestUntilActivity;
    EXPECT_EQ(session.Rest(), kUntilActivity) << "closed: nothing can arrive";
    ASSERT_EQ(session.OpenPort(3), 0);
    EXPECT_EQ(session.Rest(), kUntilActivity);
    port.Feed("AB");
    EXPECT_EQ(session.Rest(), milliseconds(0)) << "bytes waiting";
    session.ToggleHold();
    EXPECT_EQ(session.Rest(), kUntilActivity) << "on hold, nothing is read";
    session.ToggleHold();
    Tick();
    EXPECT_EQ(session.Rest(), kUntilActivity);
    EXPECT_FALSE(session.LampsAtRest()) << "the receive lamp counts down";
    for (int tick = 0; tick < 3; ++tick)
        session.LampTick();
    EXPECT_TRUE(session.LampsAtRest());
    port.modemPolling = true;
    EXPECT_FALSE(session.LampsAtRest()) << "CTS cannot be waited for";

    port.Lose("Input/output error");
    EXPECT_EQ(session.Rest(), milliseconds(1000)) << "lost: the next attempt";
    Tick();
    EXPECT_EQ(session.Rest(), milliseconds(800));
}

TEST_F(SessionTest, LinesKeptWhileTheLogFailedArriveOnAQuietTick)
{
    const std::filesystem::path blocker = folder.Path() / "blocker";
    {
        std::ofstream(blocker) << "not a folder";
    }
    log.SetLogDirectory((blocker / "logs").string());
    session.ToggleRts();
    ASSERT_TRUE(log.Failure().has_value());
    ASSERT_EQ(session.OpenPort(3), 0);
    Tick();
    EXPECT_EQ(session.Rest(), std::chrono::milliseconds(0)) << "a line waits for the log";
    Tick(); // the same failure is shown once
    ASSERT_EQ(view.logFailures.size(), 1u);
    EXPECT_THAT(view.logFailures[0], ::testing::StartsWith("Logbestand niet te schrijven: " +
                                                           (blocker / "logs").string()));
    EXPECT_TRUE(view.logFailureShown);

    std::filesystem::remove(blocker);
    Tick(); // nothing arrives, yet the kept line is written
    EXPECT_FALSE(log.Failure().has_value());
    EXPECT_FALSE(view.logFailureShown);
    EXPECT_EQ(session.Rest(), Session::kRestUntilActivity);
    EXPECT_THAT(LoggedTexts(log, clock.Now()), ElementsAre("STATUS: RTS made ACTIVE (+12V)."));

    std::filesystem::remove_all(blocker);
    std::ofstream(blocker) << "not a folder";
    session.Quit();
    EXPECT_EQ(session.UnwrittenLines(),
              "2 log lines not written: " + log.LogFilePath(clock.Now()) + ": Not a directory");
}

// A port on a serial device server opens later: what follows an open, its failure, or a lost
// port's reopen waits for the outcome, and nothing opens the port again meanwhile.
TEST_F(SessionTest, AnOpenThatCompletesLaterIsFollowedUpWhenItDoes)
{
    std::filesystem::create_directories(folder.Path() / "ports");
    std::filesystem::create_symlink("tcp://lab7:4001", folder.Path() / "ports" / "com3");
    const auto opens = [&] { return std::count(port.calls.begin(), port.calls.end(), "Open()"); };
    port.opensLater = true;
    session.StartUp();
    EXPECT_THAT(view.messages, IsEmpty());
    EXPECT_THAT(view.captions, ElementsAre(" Tamvi"));
    port.FinishOpening("tcp://lab7:4001: Connection refused");
    EXPECT_THAT(view.messages, ElementsAre(kNoPort));
    EXPECT_THAT(Logged(), ::testing::Contains("DEBUG: Compoort 3 [/dev/ttyFAKE]: tcp://lab7:4001: "
                                              "Connection refused"));

    ASSERT_EQ(OpenFresh(3), 0);
    port.notTaken = {{"line settings", "9600,N,8,1", "the server's"}};
    port.FinishOpening(std::nullopt);
    EXPECT_EQ(view.caption, kCom3Caption);
    EXPECT_EQ(Logged().back(), "DEBUG: Compoort 3 [/dev/ttyFAKE]: line settings 9600,N,8,1 not "
                               "taken, the device runs with the server's");

    port.Lose("the server closed the connection");
    port.calls.clear();
    for (int tick = 0; tick < 15; ++tick)
        Tick();
    EXPECT_EQ(opens(), 1) << "one attempt at a time";
    EXPECT_EQ(session.Rest(), Session::kRestUntilActivity) << "the outcome wakes the ticks";
    const std::size_t lines = Logged().size();
    port.FinishOpening("tcp://lab7:4001: Connection refused");
    EXPECT_EQ(Logged().size(), lines) << "a reopen fails quietly";
    for (int tick = 0; tick < 5; ++tick)
        Tick();
    EXPECT_EQ(opens(), 2);
    port.FinishOpening(std::nullopt);
    EXPECT_THAT(Logged(),
                ::testing::Contains("STATUS: Port Com3 [/dev/ttyFAKE] open again: 9600,N,8,1"));
}
