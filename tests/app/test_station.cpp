// The logging station: the real program with --headless on a pseudo-terminal, started with no
// display variables at all. It must log what the window logs, wait for a device that is not
// there yet, refuse settings without a port, end on each termination signal, and say on standard
// error what the window would show in a box.

#include "settings/LeesIniFile.h"
#include "support/LoggedTexts.h"
#include "support/PtyPair.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// 9600,N,8,1 (a pseudo-terminal takes no other parity or size), STX starts a line.
SettingsRecord LineSettings(std::int16_t port = 1)
{
    SettingsRecord settings;
    settings.compoort = port;
    settings.baudrate = 4;
    settings.bits = 1;
    settings.Start1 = "2";
    return settings;
}

const std::string kBytes("one\x02two \xA5\x02three\x00", 16);
const std::string kLastFinishedLine = "->START: [STX]two[SPATIE][0xA5]";

// The program in a program folder of its own, as a station (--headless, no display variables)
// or as the window (offscreen); its standard error goes to a file.
class Tamvi
{
public:
    enum class As { Station, Window };

    explicit Tamvi(const std::optional<SettingsRecord> &settings)
    {
        fs::copy_file(TAMVI_EXECUTABLE, folder_.Path() / "tamvi");
        if (settings) {
            EXPECT_TRUE(LeesIniFile::SchrijfIni(*settings, folder_.Str()).ok);
        }
    }
    ~Tamvi()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Tamvi(const Tamvi &) = delete;
    Tamvi &operator=(const Tamvi &) = delete;

    bool Start(As as = As::Station)
    {
        std::vector<std::string> environment;
        if (as == As::Window)
            environment.emplace_back("QT_QPA_PLATFORM=offscreen");
        for (char **entry = environ; *entry; ++entry) {
            const std::string_view variable(*entry);
            if (!variable.starts_with("DISPLAY=") && !variable.starts_with("WAYLAND_DISPLAY=") &&
                !variable.starts_with("QT_QPA_PLATFORM="))
                environment.emplace_back(variable);
        }
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = (folder_.Path() / "tamvi").string();
        std::string headless = "--headless";
        std::vector<char *> argv = {program.data()};
        if (as == As::Station)
            argv.push_back(headless.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, ErrPath().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int spawned =
            posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            pid_ = -1;
        return pid_ > 0;
    }
    bool Started()
    {
        return WaitUntil([&] { return Logged("Tamvi van Dranel BV gestart"); });
    }

    // Sends `signal` (none: 0) and returns the exit status once it has ended, -1 when it did not
    // end in time or not normally.
    int End(int signal = SIGTERM)
    {
        if (signal != 0)
            ::kill(pid_, signal);
        int status = 0;
        if (!WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }))
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const TempFolder &Folder() const { return folder_; }
    fs::path DefaultLogFolder() const { return folder_.Path() / "logfile"; }
    std::string Err() const { return ReadFileBytes(ErrPath()); }
    std::vector<std::string> Texts(const fs::path &logFolder, LogEnd end = LogEnd::Growing) const
    {
        return ::Texts(ParseLog(LogFolderBytes(logFolder), end));
    }
    std::vector<std::string> Texts() const { return Texts(DefaultLogFolder()); }
    bool Logged(const std::string &text, fs::path logFolder = {}) const
    {
        const auto texts = Texts(logFolder.empty() ? DefaultLogFolder() : logFolder);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    // The log without the folder's own name, which differs between runs.
    std::vector<std::string> FinishedTexts() const
    {
        auto texts = Texts(DefaultLogFolder(), LogEnd::Finished);
        for (std::string &text : texts) {
            if (const auto at = text.find(folder_.Str()); at != std::string::npos)
                text.replace(at, folder_.Str().size(), "<folder>");
        }
        return texts;
    }

private:
    std::string ErrPath() const { return (folder_.Path() / "stderr.txt").string(); }

    TempFolder folder_;
    pid_t pid_ = -1;
};

// Runs `as` on a line that sends kBytes, until kLastFinishedLine is logged, then ends it with
// `signal`; returns the log's texts.
std::vector<std::string> LogOfTheBytes(Tamvi::As as, int signal, int *status, std::string *err)
{
    Tamvi run(LineSettings());
    PtyPair line;
    line.LinkAs(run.Folder().Path(), 1);
    EXPECT_TRUE(run.Start(as));
    EXPECT_TRUE(run.Started()) << run.Err();
    EXPECT_TRUE(line.WriteAll(kBytes));
    EXPECT_TRUE(WaitUntil([&] { return run.Logged(kLastFinishedLine); }));
    *status = run.End(signal);
    *err = run.Err();
    return run.FinishedTexts();
}

TEST(Station, LogsWhatTheWindowLogsAndEndsLikeQuitOnEachSignal)
{
    int status = -1;
    std::string err;
    const auto windowLog = LogOfTheBytes(Tamvi::As::Window, SIGTERM, &status, &err);
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(windowLog, std::vector<std::string>({
                             "DEBUG: Bij instellingen geen logfilepath ingevuld, default: "
                             "<folder>/logfile",
                             "Tamvi van Dranel BV gestart",
                             "one",
                             kLastFinishedLine,
                             "->START: [STX]three[NULL]",
                             "Logging beeindigd",
                         }));
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        EXPECT_EQ(LogOfTheBytes(Tamvi::As::Station, signal, &status, &err), windowLog);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(err, "");
    }
}

// The device's link is there before the device: the station says once why the port does not
// open, tries it every second without a line per attempt, and logs when it opens.
TEST(Station, WaitsForADeviceMissingAtStart)
{
    Tamvi run(LineSettings());
    const fs::path link = run.Folder().Path() / "ports" / "com1";
    fs::create_directories(link.parent_path());
    fs::create_symlink(run.Folder().Path() / "no-device-yet", link);
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(run.Started()) << run.Err();
    std::this_thread::sleep_for(2500ms);
    const std::string waiting = "tamvi: Compoort niet te openen. Controleer instellingen (Compoort "
                                "1 [" +
                                link.string() +
                                "]: No such file or directory); waiting for the device\n";
    EXPECT_EQ(run.Err(), waiting);
    const auto logBefore = run.Texts();

    PtyPair line;
    line.LinkAs(run.Folder().Path(), 1);
    const std::string opened = "STATUS: Port Com1 [" + link.string() + "] open: 9600,N,8,1";
    ASSERT_TRUE(WaitUntil([&] { return run.Logged(opened); }, 5s));
    ASSERT_TRUE(line.WriteAll(kBytes));
    ASSERT_TRUE(WaitUntil([&] { return run.Logged(kLastFinishedLine); }));
    EXPECT_EQ(run.End(), 0);
    EXPECT_EQ(run.Err(), waiting);
    EXPECT_EQ(run.FinishedTexts(), std::vector<std::string>({
                                       "DEBUG: Bij instellingen geen logfilepath ingevuld, "
                                       "default: <folder>/logfile",
                                       "DEBUG: Compoort 1 [<folder>/ports/com1]: No such file or "
                                       "directory",
                                       "Tamvi van Dranel BV gestart",
                                       "STATUS: Port Com1 [<folder>/ports/com1] open: 9600,N,8,1",
                                       "one",
                                       kLastFinishedLine,
                                       "->START: [STX]three[NULL]",
                                       "Logging beeindigd",
                                   }));
    EXPECT_EQ(logBefore.size(), 3u) << "a line per attempt";
}

// No settings file (port 0) or a port no device can be: nothing to wait for.
TEST(Station, EndsAtOnceWhenTheSettingsNameNoPort)
{
    for (const std::optional<SettingsRecord> &settings :
         {std::optional<SettingsRecord>(), std::optional(LineSettings(26))}) {
        Tamvi run(settings);
        ASSERT_TRUE(run.Start());
        EXPECT_EQ(run.End(0), 1);
        const std::string port = settings ? "26" : "0";
        EXPECT_EQ(run.Err(), "tamvi: No port to wait for: the settings in " + run.Folder().Str() +
                                 " give port " + port +
                                 ", and a port is 1 to 25 (no tamvi.set gives 0)\n");
        EXPECT_FALSE(run.Logged("Tamvi van Dranel BV gestart"));
    }
}

// The log folder is replaced by a file for a while: one line says so, one that it works again,
// and every line received meanwhile is in the log.
TEST(Station, SaysOnceThatTheLogCannotBeWrittenAndLosesNothing)
{
    SettingsRecord settings = LineSettings();
    settings.AnsiLogMode = true; // every CR or LF ends a line
    Tamvi run(settings);
    const fs::path logs = run.Folder().Path() / "logs";
    settings.logfilepath = logs.string();
    ASSERT_TRUE(LeesIniFile::SchrijfIni(settings, run.Folder().Str()).ok);
    PtyPair line;
    line.LinkAs(run.Folder().Path(), 1);
    ASSERT_TRUE(run.Start());
    ASSERT_TRUE(WaitUntil([&] { return run.Logged("Tamvi van Dranel BV gestart", logs); }));

    fs::rename(logs, run.Folder().Path() / "retired");
    std::ofstream(logs) << "not a folder";
    ASSERT_TRUE(line.WriteAll("first\r\nsecond\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return run.Err().find("\n") != std::string::npos; }));
    std::this_thread::sleep_for(1s); // ticks go by while it fails
    ASSERT_TRUE(line.WriteAll("third\r\n"));
    std::this_thread::sleep_for(500ms);
    fs::remove(logs);
    ASSERT_TRUE(WaitUntil([&] { return run.Logged("third", logs); })) << run.Err();
    EXPECT_EQ(run.End(), 0);

    const auto texts = run.Texts(logs, LogEnd::Finished);
    const auto at = std::find(texts.begin(), texts.end(), "first");
    ASSERT_NE(at, texts.end());
    EXPECT_EQ(std::vector<std::string>(at, texts.end()),
              std::vector<std::string>({"first", "second", "third", "", "Logging beeindigd"}));
    const std::string err = run.Err();
    EXPECT_TRUE(err.starts_with("tamvi: Logbestand niet te schrijven: " + logs.string() + "/"))
        << err;
    EXPECT_TRUE(err.ends_with(": Not a directory\ntamvi: Logbestand weer te schrijven\n")) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
}

} // namespace
