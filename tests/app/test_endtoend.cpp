// The real program, copied into a temporary program folder, on a pseudo-terminal linked as
// ports/com1: bytes go in on the line, a termination signal ends it, the log file must hold
// every line.

#include "settings/LeesIniFile.h"
#include "support/LoggedTexts.h"
#include "support/PtyPair.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace
{

using namespace std::chrono_literals;

// Polls an outside process's effect until it shows or the time is up.
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

class Program
{
public:
    // With `arguments`, from `directory`, its standard error into `errors`.
    explicit Program(const std::filesystem::path &executable,
                     std::vector<std::string> arguments = {},
                     const std::filesystem::path &directory = {},
                     const std::filesystem::path &errors = "/dev/null")
    {
        std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen"};
        for (char **entry = environ; *entry; ++entry) {
            if (std::string_view(*entry).rfind("QT_QPA_PLATFORM=", 0) != 0)
                environment.emplace_back(*entry);
        }
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string path = executable.string();
        arguments.insert(arguments.begin(), path);
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT, 0644);
        if (!directory.empty())
            posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
        if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void Signal(int signal) const { kill(pid_, signal); }

    // The exit status once the program has ended, or -1 when it is still running at the timeout.
    int WaitForExit(std::chrono::milliseconds timeout = 10s)
    {
        int status = 0;
        const bool ended =
            WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended)
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
};

// The texts of the log folder's lines, without their time stamps. While the program runs its
// last line may still be on its way; once it has ended, every line must be whole.
std::vector<std::string> LogTexts(const std::filesystem::path &logFolder,
                                  LogEnd end = LogEnd::Growing)
{
    return Texts(ParseLog(LogFolderBytes(logFolder), end));
}

bool Contains(const std::vector<std::string> &texts, const std::string &text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(EndToEnd, EveryReceivedLineIsLoggedWhenASignalEndsTheProgram)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        TempFolder folder;
        const auto executable = folder.Path() / "tamvi";
        std::filesystem::copy_file(TAMVI_EXECUTABLE, executable);
        SettingsRecord settings;
        settings.compoort = 1;
        settings.baudrate = 4; // 9600, N, 8, 1: a pseudo-terminal takes no other parity or size
        settings.bits = 1;
        settings.Start1 = "2";
        ASSERT_TRUE(LeesIniFile::SchrijfIni(settings, folder.Str()).ok);
        PtyPair line;
        line.LinkAs(folder.Path(), 1);
        const auto logFolder = folder.Path() / "logfile";

        Program program(executable);
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(WaitUntil(
            [&] { return Contains(LogTexts(logFolder), "Tamvi van Dranel BV gestart"); }));
        ASSERT_TRUE(line.WriteAll(std::string("one\x02two \xA5\x02three\x00", 16)));
        ASSERT_TRUE(WaitUntil(
            [&] { return Contains(LogTexts(logFolder), "->START: [STX]two[SPATIE][0xA5]"); }));
        program.Signal(signal);
        EXPECT_EQ(program.WaitForExit(), 0);

        EXPECT_EQ(
            LogTexts(logFolder, LogEnd::Finished),
            std::vector<std::string>({
                "DEBUG: Bij instellingen geen logfilepath ingevuld, default: " + logFolder.string(),
                "Tamvi van Dranel BV gestart",
                "one",
                "->START: [STX]two[SPATIE][0xA5]",
                "->START: [STX]three[NULL]",
                "Logging beeindigd",
            }));
    }
}

// A signal while start-up's message box is up (the port cannot be opened) ends the run as Quit
// does: start-up finishes, and the (empty) unfinished line and the end line follow the start
// line.
TEST(EndToEnd, ASignalWhileStartUpsMessageIsUpEndsTheRunAsQuitDoes)
{
    TempFolder folder;
    const auto executable = folder.Path() / "tamvi";
    std::filesystem::copy_file(TAMVI_EXECUTABLE, executable);
    SettingsRecord settings;
    settings.compoort = 1;
    ASSERT_TRUE(LeesIniFile::SchrijfIni(settings, folder.Str()).ok);
    std::filesystem::create_directory(folder.Path() / "ports");
    std::ofstream(folder.Path() / "ports" / "com1") << "not a serial device";
    const auto logFolder = folder.Path() / "logfile";

    Program program(executable);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto texts = LogTexts(logFolder);
            return !texts.empty() && texts.back().starts_with("DEBUG: Compoort 1 ");
        },
        30s));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.WaitForExit(30s), 0);
    const auto texts = LogTexts(logFolder, LogEnd::Finished);
    ASSERT_GE(texts.size(), 3U);
    EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
              std::vector<std::string>({"Tamvi van Dranel BV gestart", "", "Logging beeindigd"}));
}

struct Answer {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program with one argument and no display, and collects what it prints.
Answer Ask(const std::filesystem::path &executable, const std::string &argument,
           const std::string &platform)
{
    const std::filesystem::path out = executable.parent_path() / "out.txt";
    const std::filesystem::path err = executable.parent_path() / "err.txt";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + platform +
                                " '" + executable.string() + "' " + argument + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    Answer answer;
    const int status = std::system(command.c_str());
    answer.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    answer.out = ReadFileBytes(out);
    answer.err = ReadFileBytes(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return answer;
}

// --help and --version answer without a display and without touching the program folder; an
// unknown word is refused with the usage, whatever else the line asks.
TEST(EndToEnd, TheCommandLineIsAnsweredBeforeAnyWindow)
{
    TempFolder folder;
    const auto executable = folder.Path() / "tamvi";
    std::filesystem::copy_file(TAMVI_EXECUTABLE, executable);
    const auto folderHoldsOnlyTheProgram = [&] {
        return std::distance(std::filesystem::directory_iterator(folder.Path()),
                             std::filesystem::directory_iterator()) == 1;
    };

    const Answer version = Ask(executable, "--version", "");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tamvi " + std::to_string(TAMVI_VERSION_MAJOR) + "." +
                               std::to_string(TAMVI_VERSION_MINOR) + "\n");
    const Answer help = Ask(executable, "--help", "");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: ")) << help.out;
    EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
    EXPECT_TRUE(folderHoldsOnlyTheProgram());

    const Answer unknown = Ask(executable, "-folder line1 --version", "QT_QPA_PLATFORM=offscreen");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err, "tamvi: Unknown option '-folder'. Usage: tamvi [options] [Qt's "
                           "options] (tamvi --help tells more)\n");
    EXPECT_TRUE(folderHoldsOnlyTheProgram());

    // A folder that cannot be used, without a display: said on stderr, never Qt's abort.
    for (const auto &[front, status] : {std::pair{"", 1}, std::pair{"--headless ", 78}}) {
        SCOPED_TRACE(front);
        const Answer refused = Ask(executable, std::string(front) + "--folder /dev/null/x", "");
        EXPECT_EQ(refused.status, status);
        EXPECT_TRUE(refused.err.starts_with("tamvi: cannot use the folder /dev/null/x: "))
            << refused.err;
    }
}

// --folder names the run's folder relative to the working directory, Qt's own options go to Qt,
// and a second run on a folder in use ends, naming the folder and the first run, and writes
// nothing into it.
TEST(EndToEnd, ARunsFolderIsNamedOnTheCommandLineAndHeldByOneRun)
{
    TempFolder temporary;
    const auto executable = temporary.Path() / "tamvi";
    std::filesystem::copy_file(TAMVI_EXECUTABLE, executable);
    const auto folder = temporary.Path() / "line1";
    const auto logFolder = folder / "logfile";
    std::filesystem::create_directory(folder);
    SettingsRecord settings;
    settings.compoort = 1;
    settings.baudrate = 4;
    settings.bits = 1;
    ASSERT_TRUE(LeesIniFile::SchrijfIni(settings, folder.string()).ok);
    PtyPair line;
    line.LinkAs(folder, 1);
    const std::vector<std::string> arguments = {
        "-reverse", "--folder", "line1", "-qwindowtitle", "-v", "-stylesheet", "missing.qss"};

    Program first(executable, arguments, temporary.Path());
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(
        WaitUntil([&] { return Contains(LogTexts(logFolder), "Tamvi van Dranel BV gestart"); }));
    const std::string logBefore = LogFolderBytes(logFolder);
    const auto listing = [&] {
        std::vector<std::filesystem::path> paths;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(temporary.Path()))
            paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        return paths;
    };
    const auto filesBefore = listing();

    const auto errors = temporary.Path() / "second.err";
    const std::string refusal = "tamvi: cannot use the folder " + folder.string() +
                                ": in use by another Tamvi (process " +
                                std::to_string(first.Pid()) + ")\n";
    {
        // The window program then shows the same in a message box, which nobody closes here.
        Program second(executable, arguments, temporary.Path(), errors);
        ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(errors).starts_with(refusal); }))
            << ReadFileBytes(errors);
    }
    std::filesystem::remove(errors);
    EXPECT_EQ(listing(), filesBefore);
    EXPECT_EQ(LogFolderBytes(logFolder), logBefore);

    first.Signal(SIGTERM);
    EXPECT_EQ(first.WaitForExit(), 0);
    EXPECT_EQ(LogTexts(logFolder, LogEnd::Finished).back(), "Logging beeindigd");
}

// A program folder whose name 1252 can hold but the file system stores in UTF-8: the log names
// it in 1252, and the folders are the ones of that name, a relative log folder inside it.
TEST(EndToEnd, ANonAsciiProgramFolderIsNamedIn1252AndHoldsTheLogFolders)
{
    TempFolder temporary;
    const auto folder = temporary.Path() / "M\xC3\xBCller";
    std::filesystem::create_directory(folder);
    const auto executable = folder / "tamvi";
    std::filesystem::copy_file(TAMVI_EXECUTABLE, executable);
    PtyPair line;
    line.LinkAs(folder, 1);
    SettingsRecord settings;
    settings.compoort = 1;
    settings.baudrate = 4;
    settings.bits = 1;

    const auto runUntilStarted = [&](const std::filesystem::path &logFolder) {
        ASSERT_TRUE(LeesIniFile::SchrijfIni(settings, folder.string()).ok);
        Program program(executable);
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(WaitUntil(
            [&] { return Contains(LogTexts(logFolder), "Tamvi van Dranel BV gestart"); }));
        program.Signal(SIGTERM);
        EXPECT_EQ(program.WaitForExit(), 0);
    };

    runUntilStarted(folder / "logfile");
    const auto texts = LogTexts(folder / "logfile", LogEnd::Finished);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "DEBUG: Bij instellingen geen logfilepath ingevuld, default: " +
                                 temporary.Str() + "/M\xFCller/logfile");

    settings.logfilepath = "B\xFC"
                           "cher";
    runUntilStarted(folder / "B\xC3\xBC"
                             "cher");
}

} // namespace
