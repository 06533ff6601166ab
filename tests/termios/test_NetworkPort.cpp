// The real backend on a serial device server: ser2net on loopback with a pseudo-terminal behind
// it, and a scripted RFC 2217 server for the modem lines a pseudo-terminal does not have.

#include "logfile/logfile.h"
#include "session/Session.h"
#include "termios/TermiosSerialPort.h"

#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/FakeView.h"
#include "support/LoggedTexts.h"
#include "support/PtyPair.h"
#include "support/TempFolder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace
{

using namespace std::chrono_literals;

int ListeningSocket(std::uint16_t &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), length);
    ::listen(fd, 0);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// A connection to a loopback port, or one on its way when not `waiting`; -1 when refused.
int ConnectTo(std::uint16_t port, bool waiting)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (waiting ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 ||
        errno == EINPROGRESS)
        return fd;
    ::close(fd);
    return -1;
}

std::uint16_t FreePort()
{
    std::uint16_t port = 0;
    ::close(ListeningSocket(port));
    return port;
}

// ser2net serving the pty on a loopback port, as `accepter` speaks ("telnet(rfc2217),tcp" or
// "tcp").
class Ser2net
{
public:
    Ser2net(std::string accepter, std::string device)
        : accepter_(std::move(accepter)), device_(std::move(device))
    {
        Start();
    }
    ~Ser2net() { Stop(); }

    void Start()
    {
        const std::string yaml = "connection: &line#  accepter: " + accepter_ + ",127.0.0.1," +
                                 std::to_string(port) + "#  connector: serialdev," + device_ +
                                 ",9600n81,local";
        process_.start("ser2net", {"-n", "-u", "-Y", QString::fromStdString(yaml)});
        EXPECT_TRUE(process_.waitForStarted(5000)) << "ser2net is needed (Debian's package)";
        // Listening once a connect is taken; the probe is let go at once.
        EXPECT_TRUE(RunEventLoopUntil([&] { return Answers(); }, 5s));
    }
    void Stop()
    {
        process_.terminate();
        process_.waitForFinished(5000);
    }

    const std::uint16_t port = FreePort();

private:
    bool Answers() const
    {
        const int fd = ConnectTo(port, true);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    }

    std::string accepter_;
    std::string device_;
    QProcess process_;
};

class NetworkPortTest : public ::testing::Test
{
protected:
    // Links port n to `address` and opens it with `settings`; true once the open completed.
    bool OpenAt(int n, const std::string &address, const std::string &settings = "9600,N,8,1",
                SerialPort::Handshaking handshaking = SerialPort::Handshaking::None)
    {
        std::filesystem::create_directories(folder_.Path() / "ports");
        std::filesystem::create_symlink(address,
                                        folder_.Path() / "ports" / ("com" + std::to_string(n)));
        port_.SetOpenedHandler([this](const std::optional<std::string> &failure) {
            outcome_ = failure.value_or("open");
        });
        outcome_.clear();
        return port_.SetPortNumber(static_cast<std::int16_t>(n)) && port_.Open() &&
               port_.Opening() && port_.SetSettings(settings) &&
               port_.SetHandshaking(handshaking) && port_.SetDtr(true) && port_.SetReadLength(0) &&
               RunEventLoopUntil([&] { return !outcome_.empty(); }, 10s);
    }

    std::string ReadFromPort(std::size_t count)
    {
        std::string read;
        RunEventLoopUntil(
            [&] {
                read += port_.Read().value_or("");
                return read.size() >= count;
            },
            10s);
        return read;
    }

    TempFolder folder_;
    PtyPair pty_;
    TermiosSerialPort port_{folder_.Str()};
    std::string outcome_;
};

// Every byte value passes both ways through ser2net, and the line settings arrive at the device.
TEST_F(NetworkPortTest, Rfc2217CarriesEveryByteAndTheLineSettings)
{
    Ser2net server("telnet(rfc2217),tcp", pty_.SlavePath());
    ASSERT_TRUE(OpenAt(3, "rfc2217://127.0.0.1:" + std::to_string(server.port), "19200,N,8,2",
                       SerialPort::Handshaking::RtsCts));
    EXPECT_EQ(outcome_, "open");
    EXPECT_THAT(port_.SettingsNotTaken(), ::testing::IsEmpty());
    termios line{};
    ASSERT_EQ(::tcgetattr(pty_.MasterFd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), B19200);
    EXPECT_NE(line.c_cflag & CSTOPB, 0u);
    EXPECT_NE(line.c_cflag & CRTSCTS, 0u);

    std::string all;
    for (int value = 0; value < 256; ++value)
        all.push_back(static_cast<char>(value));
    ASSERT_TRUE(port_.Write(all + all));
    EXPECT_EQ(pty_.Read(512), all + all);
    ASSERT_TRUE(pty_.WriteAll(all + all));
    EXPECT_EQ(ReadFromPort(512), all + all);
}

// A server that goes away in the middle of a stream is a loss like a device's hang-up; once it is
// back the port opens again, and every line it delivered is logged once, in order.
TEST_F(NetworkPortTest, AServerRestartMidStreamLosesAndDoublesNothing)
{
    Ser2net server("tcp", pty_.SlavePath());
    std::filesystem::create_directories(folder_.Path() / "ports");
    std::filesystem::create_symlink("tcp://127.0.0.1:" + std::to_string(server.port),
                                    folder_.Path() / "ports" / "com4");
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log{clock};
    FakeView view;
    Session session{port_, log, folder_.Str(), [] { return std::chrono::steady_clock::now(); }};
    session.SetView(&view);
    SettingsRecord settings;
    settings.compoort = 4;
    settings.AnsiLogMode = true;
    settings.logfilepath = (folder_.Path() / "log").string();
    session.ApplySettings(settings);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { session.ReceiveTick(); });
    tick.start(Session::kReceiveInterval);
    const auto logged = [&] { return LoggedTexts(log, clock.Now()); };
    const auto has = [&](const std::string &start) {
        return [&, start] {
            const auto lines = logged();
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string &l) { return l.starts_with(start); });
        };
    };
    const auto send = [&](int from, int to) {
        std::string lines;
        for (int n = from; n < to; ++n)
            lines += "line " + std::to_string(n) + "\r\n";
        return pty_.WriteAll(lines);
    };

    ASSERT_TRUE(RunEventLoopUntil([&] { return port_.IsOpen() && !port_.Opening(); }, 10s));
    ASSERT_TRUE(send(0, 100) && pty_.WriteAll("unfinished"));
    ASSERT_TRUE(RunEventLoopUntil(has("line 99"), 10s));
    RunEventLoopUntil([] { return false; }, 300ms);
    server.Stop();
    ASSERT_TRUE(RunEventLoopUntil(has("STATUS: Port Com4"), 10s));
    server.Start();
    ASSERT_TRUE(RunEventLoopUntil(
        has("STATUS: Port Com4 [" + folder_.Str() + "/ports/com4] open again"), 10s));
    ASSERT_TRUE(send(100, 200));
    ASSERT_TRUE(RunEventLoopUntil(has("line 199"), 10s));

    std::vector<std::string> expected;
    for (int n = 0; n < 200; ++n)
        expected.push_back("line " + std::to_string(n));
    std::vector<std::string> lines;
    for (const std::string &line : logged())
        if (line.starts_with("line ") || line == "unfinished")
            lines.push_back(line);
    expected.insert(expected.begin() + 100, "unfinished");
    EXPECT_EQ(lines, expected);
    EXPECT_THAT(logged(), ::testing::Contains(
                              ::testing::HasSubstr("lost: the server closed the connection")));
}

// An address that never answers, a refused port and an unknown host each fail within seconds,
// and the event loop goes on meanwhile.
TEST_F(NetworkPortTest, AnOpenThatCannotConnectFailsWithinSecondsWithoutHoldingUpTheProgram)
{
    // A listener whose queue is full takes no more connections: their handshakes go unanswered.
    std::uint16_t full = 0;
    const int listening = ListeningSocket(full);
    const std::array queued = {ConnectTo(full, false), ConnectTo(full, false)};
    const std::string addresses[] = {"rfc2217://127.0.0.1:" + std::to_string(FreePort()),
                                     "tcp://127.0.0.1:" + std::to_string(full),
                                     "rfc2217://no-such-host.invalid:4001"};
    int n = 5;
    for (const std::string &address : addresses) {
        SCOPED_TRACE(address);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(50);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(OpenAt(n++, address));
        EXPECT_LT(clock.elapsed(), 7000);
        EXPECT_GE(ticks, clock.elapsed() / 50 / 2) << "the event loop kept running";
        EXPECT_THAT(outcome_, ::testing::StartsWith(address + ": "));
        EXPECT_FALSE(port_.IsOpen());
    }
    for (const int fd : queued)
        ::close(fd);
    ::close(listening);
}

// RTS goes to the server as requests and CTS comes from its notifications.
TEST_F(NetworkPortTest, RtsGoesToTheServerAndCtsComesFromIt)
{
    std::uint16_t portNumber = 0;
    const int listening = ListeningSocket(portNumber);
    std::string received;
    std::thread server([&] {
        const int fd = ::accept(listening, nullptr, nullptr);
        const std::string script = {'\xff', '\xfd', 44, // DO COM-PORT-OPTION
                                    '\xff', '\xfa', 44,     101,    0,      0,      0x25,   '\x80',
                                    '\xff', '\xf0', '\xff', '\xfa', 44,     102,    8,      '\xff',
                                    '\xf0', '\xff', '\xfa', 44,     103,    1,      '\xff', '\xf0',
                                    '\xff', '\xfa', 44,     104,    1,      '\xff', '\xf0', '\xff',
                                    '\xfa', 44,     105,    1,      '\xff', '\xf0', '\xff', '\xfa',
                                    44,     107,    0x10,   '\xff', '\xf0'};
        ::write(fd, script.data(), script.size());
        char buffer[256];
        for (ssize_t n; received.find("end") == std::string::npos &&
                        (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
    });
    ASSERT_TRUE(OpenAt(6, "rfc2217://127.0.0.1:" + std::to_string(portNumber)));
    EXPECT_EQ(outcome_, "open");
    EXPECT_TRUE(port_.GetCts());
    port_.SetRts(true);
    port_.Write("end");
    server.join();
    ::close(listening);
    const std::string rtsOn = {'\xff', '\xfa', 44, 5, 11, '\xff', '\xf0'};
    const std::string rtsOff = {'\xff', '\xfa', 44, 5, 12, '\xff', '\xf0'};
    EXPECT_LT(received.find(rtsOff), received.find(rtsOn)) << "off at the open, then on";
    EXPECT_NE(received.find(rtsOn), std::string::npos);
}

} // namespace
