#pragma once

// What the dialog tests share: a session over fakes in a temporary program folder, and the
// finding, clicking and message catching of support/Widgets.h.

#include "logfile/logfile.h"
#include "session/Session.h"
#include "settings/LeesIniFile.h"
#include "support/FakeClock.h"
#include "support/FakeSerialPort.h"
#include "support/FakeView.h"
#include "support/LoggedTexts.h"
#include "support/TempFolder.h"
#include "support/Widgets.h"

#include <QAbstractButton>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

struct DialogHarness {
    TempFolder folder;
    FakeSerialPort port;
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log{clock};
    FakeView view;
    Session session{port, log, folder.Str()};
    std::string markedLog; // the log file as Use left it, and its lines then
    std::size_t linesBefore = 0;

    DialogHarness()
    {
        log.SetLogDirectory((folder.Path() / "logfile").string());
        session.SetView(&view);
    }

    // The program starts with `record` as its settings file, which is then removed; the port
    // is closed again and what the start-up did is forgotten, so a test sees only its own calls,
    // lines and files.
    void Use(const SettingsRecord &record)
    {
        ASSERT_TRUE(LeesIniFile::SchrijfIni(record, folder.Str()).ok);
        session.StartUp();
        std::filesystem::remove(SettingsFile());
        session.ClosePort();
        port.calls.clear();
        view = FakeView();
        markedLog = log.LogFilePath(clock.Now());
        linesBefore = ReadLog(markedLog).size();
    }

    std::filesystem::path SettingsFile() const { return folder.Path() / "tamvi.set"; }

    // The lines of a file split at CR LF (the settings file).
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
    // The log's lines since Use, each with its stamp.
    std::vector<std::string> LogLines() const
    {
        const std::string file = log.LogFilePath(clock.Now());
        const std::vector<LogLine> all = ReadLog(file);
        const std::size_t skip = file == markedLog ? linesBefore : 0;
        std::vector<std::string> lines;
        for (std::size_t i = skip; i < all.size(); ++i)
            lines.push_back(all[i].stamp + ' ' + all[i].text);
        return lines;
    }
};

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
