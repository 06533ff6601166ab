// The logging station: the real program with --headless on a pseudo-terminal, started with no
// display variables at all. It must log what the window logs, wait for a device that is not
// there yet, refuse settings without a port, end on each termination signal, and say on standard
// error what the window would show in a box.

#include "reliability/RunningTamvi.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Front = RunningTamvi::Front;

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

// The texts of the log once the program has ended, its folder's name written as <folder>.
std::vector<std::string> FinishedTexts(const RunningTamvi &tamvi, fs::path logFolder = {})
{
    auto texts = Texts(ParseLog(tamvi.LogBytes(logFolder.string())));
    const std::string folder = tamvi.Folder().string();
    for (std::string &text : texts) {
        if (const auto at = text.find(folder); at != std::string::npos)
            text.replace(at, folder.size(), "<folder>");
    }
    return texts;
}

// The program as `front` on a line that sends kBytes, ended by `signal` once they are logged.
struct Ended {
    int status = -1;
    std::string output;
    std::vector<std::string> log;
};
Ended LogOfTheBytes(Front front, int signal)
{
    RunningTamvi tamvi(LineSettings(), front);
    EXPECT_TRUE(tamvi.Start()) << tamvi.Output();
    EXPECT_TRUE(tamvi.Pty().WriteAll(kBytes));
    EXPECT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas(kLastFinishedLine); }, 10s));
    const int status = tamvi.Terminate(signal);
    return {status, tamvi.Output(), FinishedTexts(tamvi)};
}

TEST(Station, LogsWhatTheWindowLogsAndEndsLikeQuitOnEachSignal)
{
    const Ended window = LogOfTheBytes(Front::Window, SIGTERM);
    ASSERT_EQ(window.status, 0) << window.output;
    EXPECT_EQ(window.log, std::vector<std::string>({
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
        const Ended station = LogOfTheBytes(Front::Station, signal);
        EXPECT_EQ(station.status, 0);
        EXPECT_EQ(station.output, "");
        EXPECT_EQ(station.log, window.log);
    }
}

// The device's link is there before the device: the station says once why the port does not
// open, tries it every second without a line per attempt, and logs when it opens.
TEST(Station, WaitsForADeviceMissingAtStart)
{
    RunningTamvi tamvi(LineSettings(), Front::Station);
    const fs::path link = tamvi.Folder() / "ports" / "com1";
    fs::remove(link);
    fs::create_symlink(tamvi.Folder() / "no-device-yet", link);
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();
    std::this_thread::sleep_for(2500ms);
    const std::string waiting = "tamvi: Compoort niet te openen. Controleer instellingen (Compoort "
                                "1 [" +
                                link.string() +
                                "]: No such file or directory); waiting for the device\n";
    EXPECT_EQ(tamvi.Output(), waiting);
    const std::size_t linesWhileWaiting = ParseLog(tamvi.LogBytes(), LogEnd::Growing).size();

    tamvi.Pty().LinkAs(tamvi.Folder(), 1);
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas("9600,N,8,1"); }, 5s));
    ASSERT_TRUE(tamvi.Pty().WriteAll(kBytes));
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas(kLastFinishedLine); }, 10s));
    EXPECT_EQ(tamvi.Terminate(), 0);
    EXPECT_EQ(tamvi.Output(),
              waiting + "tamvi: STATUS: Port Com1 [" + link.string() + "] open: 9600,N,8,1\n");
    EXPECT_EQ(FinishedTexts(tamvi),
              std::vector<std::string>({
                  "DEBUG: Bij instellingen geen logfilepath ingevuld, default: <folder>/logfile",
                  "DEBUG: Compoort 1 [<folder>/ports/com1]: No such file or directory",
                  "Tamvi van Dranel BV gestart",
                  "STATUS: Port Com1 [<folder>/ports/com1] open: 9600,N,8,1",
                  "one",
                  kLastFinishedLine,
                  "->START: [STX]three[NULL]",
                  "Logging beeindigd",
              }));
    EXPECT_EQ(linesWhileWaiting, 3u) << "a line per attempt";
}

// No settings file (port 0), a port no device can be, or settings that cannot be read: nothing
// to wait for, and only a changed configuration mends it, which the status tells the unit.
TEST(Station, EndsAtOnceWithOneLineWhenTheSettingsNameNoPort)
{
    struct Case {
        std::int16_t port;
        bool withSettings;
        std::string says;
    };
    const std::vector<Case> cases = {{26, false, " give port 0, "},
                                     {26, true, " give port 26, "},
                                     {-3, true, " give port -3, "}};
    for (const auto &[port, withSettings, says] : cases) {
        SCOPED_TRACE(says);
        RunningTamvi tamvi(LineSettings(port), Front::Station);
        if (!withSettings)
            fs::remove(tamvi.Folder() / "tamvi.set");
        EXPECT_FALSE(tamvi.Start(0s));
        EXPECT_EQ(tamvi.Terminate(0), 78);
        EXPECT_EQ(tamvi.Output(), "tamvi: No port to wait for: the settings in " +
                                      tamvi.Folder().string() + says +
                                      "and a port is 1 to 25 (no tamvi.set gives 0)\n");
        EXPECT_FALSE(tamvi.LogHas("Tamvi van Dranel BV gestart"));
    }

    RunningTamvi unreadable(LineSettings(), Front::Station);
    fs::remove(unreadable.Folder() / "tamvi.set");
    fs::create_directory(unreadable.Folder() / "tamvi.set");
    EXPECT_FALSE(unreadable.Start(0s));
    EXPECT_EQ(unreadable.Terminate(0), 78);
    EXPECT_EQ(unreadable.Output(),
              "tamvi: Instellingen niet te lezen: " + (unreadable.Folder() / "tamvi.set").string() +
                  ": not a regular file\n");
}

// The log folder is replaced by a file for a while: one line says so, one that it works again,
// and every line received meanwhile is in the log.
TEST(Station, SaysOnceThatTheLogCannotBeWrittenAndLosesNothing)
{
    const TempFolder space;
    const fs::path logs = space.Path() / "logs";
    SettingsRecord settings = LineSettings();
    settings.logfilepath = logs.string();
    settings.AnsiLogMode = true; // every CR or LF ends a line
    RunningTamvi tamvi(settings, Front::Station);
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();

    fs::rename(logs, space.Path() / "retired");
    std::ofstream(logs) << "not a folder";
    ASSERT_TRUE(tamvi.Pty().WriteAll("first\r\nsecond\r\n"));
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return !tamvi.Output().empty(); }, 10s));
    std::this_thread::sleep_for(1s); // ticks go by while it fails
    ASSERT_TRUE(tamvi.Pty().WriteAll("third\r\n"));
    std::this_thread::sleep_for(500ms);
    fs::remove(logs);
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas("third"); }, 10s));
    EXPECT_EQ(tamvi.Terminate(), 0);

    EXPECT_EQ(FinishedTexts(tamvi, logs),
              std::vector<std::string>({"first", "second", "third", "", "Logging beeindigd"}));
    const std::string output = tamvi.Output();
    EXPECT_TRUE(output.starts_with("tamvi: Logbestand niet te schrijven: " + logs.string() + "/"))
        << output;
    EXPECT_TRUE(output.ends_with(": Not a directory\ntamvi: Logbestand weer te schrijven\n"))
        << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 2) << output;
}

// A socket where systemd would be: the station tells it when it is ready and what it does, pings
// its watchdog, and says when it stops.
class NotifySocket
{
public:
    explicit NotifySocket(const fs::path &path) : fd_(::socket(AF_UNIX, SOCK_DGRAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
        ::setenv("WATCHDOG_USEC", "400000", 1);
    }
    ~NotifySocket()
    {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::close(fd_);
    }
    // The next message that `wanted` accepts, skipping others; empty after 10 s without one.
    std::string Await(const std::function<bool(const std::string &)> &wanted)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, 100) != 1)
                continue;
            char buffer[4096];
            const ssize_t size = ::recv(fd_, buffer, sizeof buffer, 0);
            if (size > 0 && wanted(std::string(buffer, std::size_t(size))))
                return std::string(buffer, std::size_t(size));
        }
        return {};
    }

private:
    int fd_;
};

TEST(Station, TellsSystemdWhenItIsReadyWhatItDoesAndThatItTurns)
{
    const TempFolder space;
    const fs::path logs = space.Path() / "logs";
    SettingsRecord settings = LineSettings();
    settings.logfilepath = logs.string();
    settings.AnsiLogMode = true;
    RunningTamvi tamvi(settings, Front::Station);
    NotifySocket systemd(space.Path() / "notify");
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();
    const auto startsWith = [](std::string start) {
        return [start](const std::string &message) { return message.starts_with(start); };
    };

    EXPECT_EQ(systemd.Await(startsWith("READY=1")),
              "READY=1\nSTATUS=logging Com1 " + (tamvi.Folder() / "ports" / "com1").string() +
                  " -> " + tamvi.Pty().SlavePath() + " 9600,N,8,1");
    EXPECT_EQ(systemd.Await(startsWith("WATCHDOG=1")), "WATCHDOG=1");

    fs::create_directory(space.Path() / "retired");
    fs::rename(logs, space.Path() / "retired" / "logs");
    std::ofstream(logs) << "not a folder";
    ASSERT_TRUE(tamvi.Pty().WriteAll("first\r\n"));
    const std::string failing = systemd.Await(startsWith("STATUS=logging"));
    EXPECT_TRUE(failing.ends_with(": Not a directory (1 line kept)")) << failing;

    EXPECT_EQ(tamvi.Terminate(), 1) << "the kept line was not written";
    EXPECT_EQ(systemd.Await(startsWith("STOPPING=1")), "STOPPING=1\nSTATUS=stopping");
}

} // namespace
