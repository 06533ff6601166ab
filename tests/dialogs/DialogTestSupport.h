#pragma once

// What the dialog tests share: a session over fakes in a temporary program folder, finding
// controls by name, and catching the message box a click opens.

#include "logfile/logfile.h"
#include "session/Session.h"
#include "support/FakeClock.h"
#include "support/FakeSerialPort.h"
#include "support/FakeView.h"
#include "support/TempFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << text.toStdString();
}

struct DialogHarness {
    TempFolder folder;
    FakeSerialPort port;
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log{clock};
    FakeView view;
    Session session{port, log, view, folder.Str()};

    DialogHarness() { log.SetLogDirectory((folder.Path() / "logfile").string()); }

    std::filesystem::path SettingsFile() const { return folder.Path() / "tamvi.set"; }

    // The lines of a file split at CR LF.
    static std::vector<std::string> Lines(const std::filesystem::path &file)
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadFileBytes(file));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    std::vector<std::string> LogLines() const { return Lines(log.LogFilePath(clock.Now())); }
};

template <class T> T *Find(const QWidget &dialog, const QString &name)
{
    T *widget = dialog.findChild<T *>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

// View mode offers Edit and Exit, edit mode Save and Cancel.
inline void ExpectEditButtons(const QWidget &dialog, bool editing)
{
    const auto enabled = [&dialog](const char *name) {
        return Find<QAbstractButton>(dialog, QString::fromLatin1(name))->isEnabled();
    };
    EXPECT_EQ(enabled("ButtonWijzigen"), !editing);
    EXPECT_EQ(enabled("ButtonExit"), !editing);
    EXPECT_EQ(enabled("ButtonOpslaan"), editing);
    EXPECT_EQ(enabled("ButtonAnnuleren"), editing);
}

inline void Click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

struct SeenMessage {
    QString title;
    QString text;
};

// Clicks `button`; when that opens a modal message box, notes it, runs `whileShown` and presses
// its OK button.
inline std::optional<SeenMessage> ClickAndCatchMessage(QAbstractButton *button,
                                                       std::function<void()> whileShown = {})
{
    std::optional<SeenMessage> seen;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        watch.stop();
        seen = SeenMessage{box->windowTitle(), box->text()};
        if (whileShown)
            whileShown();
        box->button(QMessageBox::Ok)->click();
    });
    watch.start(10);
    Click(button);
    return seen;
}
