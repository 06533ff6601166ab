// The main window on the real serial backend and a pseudo-terminal, wired as main() wires them:
// the port goes away mid-run, comes back, and a Save in the settings dialog, made while the disk
// cannot take the settings file, opens it again.

#include "app/frmHoofdscherm.h"
#include "logfile/logfile.h"
#include "serial/QtSerialPort.h"
#include "settings/DialogTestSupport.h"
#include "settings/frmInstellingen.h"
#include "support/FakeClock.h"
#include "support/LoggedTexts.h"
#include "support/PtyPair.h"
#include "support/TempFolder.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

constexpr int kPort = 20; // a port number no other test opens: QSerialPort locks by name

TEST(WindowFaults, APortThatCameBackIsOpenedBySaveEvenWhenTheSettingsCannotBeWritten)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to stand for a full disk";
    TempFolder folder;
    PtyPair device;
    device.LinkAs(folder.Path(), kPort);
    SettingsRecord settings;
    settings.compoort = kPort;
    settings.baudrate = 8;
    settings.bits = 1;
    settings.AnsiLogMode = true;
    settings.logfilepath = (folder.Path() / "logfile").string();
    ASSERT_TRUE(LeesIniFile::SchrijfIni(settings, folder.Str()).ok);
    const std::string settingsBefore = ReadFileBytes(folder.Path() / LeesIniFile::kFileName);

    FakeClock clock({2026, 12, 8, 14, 5, 9});
    logfile::LogWriter log(clock);
    QtSerialPort port(folder.Str());
    frmHoofdscherm window(port, log, folder.Str());
    port.SetPortLostHandler(
        [&window](const std::string &reason) { window.GetSession().PortLost(reason); });
    window.show();
    const auto logged = [&] { return LoggedTexts(log, clock.Now()); };
    const auto hasLogged = [&](const std::string &prefix) {
        const auto texts = logged();
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string &t) { return t.starts_with(prefix); });
    };
    ASSERT_TRUE(port.IsOpen()) << port.ErrorString();

    ASSERT_TRUE(device.WriteAll("one\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hasLogged("one"); }, 5000));
    device.CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return hasLogged("STATUS: "); }, 5000));
    EXPECT_FALSE(port.IsOpen());

    // The device is back, and the disk is full: the settings file cannot be rewritten.
    PtyPair replugged;
    replugged.LinkAs(folder.Path(), kPort);
    const fs::path temporary = folder.Path() / (std::string(LeesIniFile::kFileName) + ".tmp");
    fs::create_symlink("/dev/full", temporary);
    window.findChild<QAction *>("Instellingen")->trigger();
    auto *dialog = window.findChild<frmInstellingen *>();
    ASSERT_NE(dialog, nullptr);
    Click(Find<QPushButton>(*dialog, "ButtonWijzigen"));
    const std::optional<SeenMessage> message =
        ClickAndCatchMessage(Find<QPushButton>(*dialog, "ButtonOpslaan"));

    ASSERT_TRUE(message.has_value()) << "a failed save must say so";
    EXPECT_TRUE(message->text.contains("No space left on device")) << message->text.toStdString();
    EXPECT_EQ(ReadFileBytes(folder.Path() / LeesIniFile::kFileName), settingsBefore);
    EXPECT_FALSE(fs::exists(fs::symlink_status(temporary)));
    ASSERT_TRUE(port.IsOpen()) << port.ErrorString();
    ASSERT_TRUE(replugged.WriteAll("two\r\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hasLogged("two"); }, 5000));

    const std::vector<std::string> texts = logged();
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string &t) { return t.starts_with("STATUS: "); }),
              1);
    const auto reopened = std::find(texts.begin(), texts.end(),
                                    "DEBUG: ComPoort opnieuw geopend:  " + std::to_string(kPort));
    ASSERT_NE(reopened, texts.end());
    EXPECT_EQ(texts.back(), "two");
}

} // namespace
