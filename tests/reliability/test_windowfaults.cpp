// The main window on the real serial backend and a pseudo-terminal, wired as main() wires them:
// a hold that outlasts the receive buffer, and a port that goes away mid-run, comes back and is
// opened again by a Save made while the disk cannot take the settings file.

#include "dialogs/frmInstellingen.h"
#include "reliability/StreamRun.h"
#include "support/EventLoop.h"
#include "support/MainWindowRig.h"
#include "support/PtyPair.h"
#include "support/Widgets.h"
#include "termios/TermiosSerialPort.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The device's end of the line, a base so that it outlives the window and the port.
struct PtyDevice {
    PtyPair device;
};

class WindowOnPty : public ::testing::Test,
                    protected PtyDevice,
                    protected MainWindowRig<TermiosSerialPort>
{
protected:
    // Port `number` of the program folder is the test's pseudo-terminal.
    void Start(std::int16_t number)
    {
        device.LinkAs(folder.Path(), number);
        SettingsRecord settings = PlainTextSettings(number);
        settings.logfilepath = (folder.Path() / "logfile").string();
        ASSERT_NO_FATAL_FAILURE(Write(settings));
        MainWindowRig::Start();
        window->show();
        ASSERT_TRUE(port.IsOpen()) << port.ErrorString();
    }

    std::ptrdiff_t CountLogged(const std::string &part) const
    {
        const auto texts = LogLines();
        return std::count_if(texts.begin(), texts.end(), [&](const std::string &t) {
            return t.find(part) != std::string::npos;
        });
    }
};

// On hold the program keeps its receive buffer and the line then holds the device off: its writes block, no
// byte is dropped, and after "Continue" the log holds the whole stream in order.
TEST_F(WindowOnPty, AHoldLongerThanTheReceiveBufferLosesNothing)
{
    constexpr std::uint64_t kBytes =
        3 * TermiosSerialPort::kReceiveBufferBytes / StreamSender::kLine * StreamSender::kLine;
    Start(25);
    const std::string logFile = log.LogFilePath(clock.Now());
    const std::uintmax_t startSize = fs::file_size(logFile);
    auto *hold = window->findChild<QPushButton *>("CmdStartStop");
    Click(hold);
    ASSERT_EQ(session.State().LogHold, -1);

    StreamSender sender(device, kBytes);
    ASSERT_TRUE(RunEventLoopUntil(
        [&] { return port.WaitingCount() >= TermiosSerialPort::kReceiveBufferBytes; }, 30s));
    // Held off: the device makes no progress for half a second, far from done.
    std::uint64_t sent = 0;
    for (int i = 0; i < 20 && sent != sender.Sent(); ++i) {
        sent = sender.Sent();
        QTest::qWait(500);
    }
    EXPECT_EQ(sender.Sent(), sent) << "the device was not held off";
    EXPECT_LT(sent, kBytes);
    EXPECT_FALSE(sender.Failed());

    Click(hold);
    ASSERT_TRUE(RunEventLoopUntil([&] { return sender.Finished(); }, 60s));
    ASSERT_FALSE(sender.Failed()) << "the device could not send everything after the hold";
    const std::uintmax_t expected =
        startSize + kBytes / StreamSender::kLine * StreamSender::kLoggedLine;
    ASSERT_TRUE(RunEventLoopUntil([&] { return fs::file_size(logFile) >= expected; }, 60s));
    window->close();
    ExpectStreamLogged(ReadFileBytes(logFile), kBytes);
}

// Bytes the port held during a hold belong to the port a save closes: none of them shows up in
// the log as the reopened port's, after Continue.
TEST_F(WindowOnPty, ASaveOnHoldLeavesTheHeldBytesWithTheClosedPort)
{
    constexpr int kPort = 22;
    Start(kPort);
    auto *hold = window->findChild<QPushButton *>("CmdStartStop");
    Click(hold);
    ASSERT_TRUE(device.WriteAll("held\r\n"));
    ASSERT_TRUE(RunEventLoopUntil([&] { return port.WaitingCount() >= 6; }, 5s));

    window->findChild<QAction *>("Instellingen")->trigger();
    auto *dialog = window->findChild<frmInstellingen *>();
    ASSERT_NE(dialog, nullptr);
    Click(Find<QPushButton>(*dialog, "ButtonWijzigen"));
    Click(Find<QPushButton>(*dialog, "ButtonOpslaan"));
    Click(hold);
    ASSERT_TRUE(device.WriteAll("after\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return HasLogged("after"); }, 5000));

    const std::vector<std::string> texts = LogLines();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "held"), 0);
    EXPECT_EQ(texts.back(), "after");
    EXPECT_EQ(texts[texts.size() - 2],
              "DEBUG: ComPoort opnieuw geopend:  " + std::to_string(kPort));
}

TEST_F(WindowOnPty, APortThatCameBackIsOpenedBySaveEvenWhenTheSettingsCannotBeWritten)
{
    constexpr int kPort = 20;
    Start(kPort);
    const fs::path settingsFile = folder.Path() / LeesIniFile::kFileName;
    const std::string settingsBefore = ReadFileBytes(settingsFile);

    ASSERT_TRUE(device.WriteAll("one\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return HasLogged("one"); }, 5000));
    device.CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return HasLogged("STATUS: "); }, 5000));
    EXPECT_FALSE(port.IsOpen());

    // The device is back, and the settings file cannot be rewritten: a second hard link to it
    // would be parted by a new file, also for root.
    PtyPair replugged;
    replugged.LinkAs(folder.Path(), kPort);
    fs::create_hard_link(settingsFile, folder.Path() / "station.set");
    window->findChild<QAction *>("Instellingen")->trigger();
    auto *dialog = window->findChild<frmInstellingen *>();
    ASSERT_NE(dialog, nullptr);
    Click(Find<QPushButton>(*dialog, "ButtonWijzigen"));
    const std::optional<SeenMessage> message =
        ClickAndCatchMessage(Find<QPushButton>(*dialog, "ButtonOpslaan"));

    ASSERT_TRUE(message.has_value()) << "a failed save must say so";
    EXPECT_TRUE(message->text.contains("hard links")) << message->text.toStdString();
    EXPECT_EQ(ReadFileBytes(settingsFile), settingsBefore);
    ASSERT_TRUE(port.IsOpen()) << port.ErrorString();
    ASSERT_TRUE(replugged.WriteAll("two\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return HasLogged("two"); }, 5000));

    // Had the port come back by itself first, the save would still have reopened it.
    EXPECT_EQ(CountLogged("lost: "), 1);
    const std::vector<std::string> texts = LogLines();
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        "DEBUG: ComPoort opnieuw geopend:  " + std::to_string(kPort)),
              texts.end());
    EXPECT_EQ(texts.back(), "two");
}

std::size_t OpenDescriptors()
{
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// The device goes away (both ends of its line closed) and a new one appears behind the port's
// link, ten times: each time the port opens again by itself within two seconds, with one line
// each way, everything sent while connected is logged, and no descriptor is left behind.
TEST_F(WindowOnPty, ALostPortOpensAgainByItselfAfterEveryReplug)
{
    constexpr int kPort = 21;
    constexpr int kReplugs = 10;
    Start(kPort);
    const std::size_t descriptors = OpenDescriptors();
    PtyPair *line = &device;
    std::unique_ptr<PtyPair> replugged;
    for (int plug = 1; plug <= kReplugs; ++plug) {
        SCOPED_TRACE(plug);
        const std::string sent = "sent " + std::to_string(plug);
        ASSERT_TRUE(line->WriteAll(sent + "\r\n"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return HasLogged(sent); }, 5000));
        // As an unplugged adapter's /dev/serial/by-id name, the link goes with the device: the
        // terminal number it named may meanwhile be another test's.
        const fs::path link = folder.Path() / "ports" / ("com" + std::to_string(kPort));
        fs::remove(link);
        fs::create_symlink(folder.Path() / "unplugged", link);
        line->CloseMaster();
        line->CloseSlave();
        ASSERT_TRUE(QTest::qWaitFor([&] { return CountLogged("lost: ") == plug; }, 5000));

        replugged = std::make_unique<PtyPair>();
        replugged->LinkAs(folder.Path(), kPort);
        line = replugged.get();
        ASSERT_TRUE(QTest::qWaitFor([&] { return CountLogged("open again: ") == plug; }, 2000));
        EXPECT_TRUE(port.IsOpen());
    }
    ASSERT_TRUE(line->WriteAll("last\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return HasLogged("last"); }, 5000));
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(CountLogged("lost: "), kReplugs);
    EXPECT_EQ(CountLogged("lost: the port is not open"), 0) << "the loss's own reason";
    EXPECT_EQ(CountLogged("open again: "), kReplugs);
    EXPECT_EQ(CountLogged("STATUS: "), 2 * kReplugs);
}

} // namespace
