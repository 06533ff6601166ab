#pragma once

// One run of the program around its main window, wired as main() wires it: a temporary program
// folder, a clock that stands still, the log writer, a port and the Session over them. Start()
// makes the window and starts the session up; message boxes that start-up shows are answered
// with OK and noted. The port is the window tests' FakeSerialPort or the real TermiosSerialPort
// (on a pseudo-terminal the test links as ports/com<n>):
//
//   MainWindowRig<FakeSerialPort> rig;
//   rig.Write(settings);
//   rig.Start();
//   rig.Receive("A\r\n");
//   EXPECT_EQ(rig.LastLogLine(), "A");

#include "app/frmHoofdscherm.h"
#include "logfile/logfile.h"
#include "session/Session.h"
#include "settings/LeesIniFile.h"
#include "settings/SettingsRecord.h"
#include "support/FakeClock.h"
#include "support/LoggedTexts.h"
#include "support/TempFolder.h"
#include "support/Widgets.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

template <typename Port> class MainWindowRig
{
public:
    TempFolder folder;
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log{clock};
    Port port = MakePort(folder);
    Session session{port, log, folder.Str()};
    // "title|text" of each message box start-up showed, "warning:title|text" for a warning
    std::vector<QString> messages;
    std::unique_ptr<frmHoofdscherm> window;

    // `settings` becomes the program folder's settings file.
    void Write(const SettingsRecord &settings)
    {
        ASSERT_TRUE(LeesIniFile::SchrijfIni(settings, folder.Str()).ok);
    }

    void Start()
    {
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            const bool warning = box->icon() == QMessageBox::Warning;
            messages.push_back((warning ? "warning:" : "") + box->windowTitle() + "|" +
                               box->text());
            EXPECT_TRUE(warning || box->icon() == QMessageBox::NoIcon);
            EXPECT_EQ(box->buttons().size(), 1);
            box->button(QMessageBox::Ok)->click();
        });
        answer.start(5);
        window = std::make_unique<frmHoofdscherm>(session);
        if constexpr (requires { &Port::Activity; })
            QObject::connect(&port, &Port::Activity, window.get(), &frmHoofdscherm::WakeTicks);
        window->StartUp();
    }

    template <typename T = QWidget> T *Find(const QString &name) const
    {
        return ::Find<T>(*window, name);
    }
    // The finding of Widgets.h, which the one above would hide in a test derived from the rig.
    template <typename T = QWidget> static T *Find(const QWidget &parent, const QString &name)
    {
        return ::Find<T>(parent, name);
    }
    QLineEdit *LogBox(int i) const { return Find<QLineEdit>(QStringLiteral("TxtLog_%1").arg(i)); }
    QString Text(const QString &button) const { return Find<QPushButton>(button)->text(); }

    // Bytes arrive on the fake port and the window's receive tick takes them.
    void Receive(std::string_view bytes) requires requires(Port &fake, std::string_view fed)
    {
        fake.Feed(fed);
    }
    {
        port.Feed(bytes);
        window->ReceiveTick();
    }

    // The texts of today's log file, without their stamps; every stamp is the clock's time.
    std::vector<std::string> LogLines() const
    {
        const logfile::DateTime now = clock.Now();
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", now.hour, now.minute, now.second);
        const std::vector<LogLine> lines = ReadLog(log.LogFilePath(now));
        for (const LogLine &line : lines)
            EXPECT_EQ(line.stamp, stamp) << line.text;
        return Texts(lines);
    }
    std::string LastLogLine() const
    {
        const auto lines = LogLines();
        return lines.empty() ? std::string() : lines.back();
    }
    bool HasLogged(std::string_view prefix) const
    {
        const auto texts = LogLines();
        return std::any_of(texts.begin(), texts.end(),
                           [&](const std::string &text) { return text.starts_with(prefix); });
    }

private:
    static Port MakePort(const TempFolder &folder)
    {
        if constexpr (std::is_constructible_v<Port, std::string>)
            return Port(folder.Str()); // the real backend finds ports/com<n> in the folder
        else
            return Port();
    }
};
