// The simulated device: what it says (checked directly) and the real executable on a real
// pseudo-terminal, reached through its ports/com<n> link as the program reaches it.

#include "support/TempFolder.h"
#include "tools/Instrument.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;
using namespace simdevice;
using namespace std::chrono_literals;

namespace
{

std::string Framed(const std::string &text)
{
    std::string stxThroughEtx = kStx + text + kEtx;
    unsigned char sum = 0;
    for (const char c : stxThroughEtx)
        sum ^= static_cast<unsigned char>(c);
    return stxThroughEtx + static_cast<char>(sum & 0x7F) + "\r\n";
}

std::string Pattern(std::uint64_t offset, std::size_t count)
{
    std::string out;
    AppendPattern(offset, count, out);
    return out;
}

TEST(Instrument, FramesCarryTheXorOfStxThroughEtx)
{
    EXPECT_EQ(Frame("AB"), std::string("\x02"
                                       "AB\x03") +
                               char(0x02 ^ 'A' ^ 'B' ^ 0x03) + "\r\n");
    // A top bit in the XOR is cleared, as the quick-send editor does.
    EXPECT_EQ(FrameChecksum("\x02\xC1\x03"), 0xC0 & 0x7F);

    Instrument instrument;
    const std::string first = instrument.Measurement();
    const std::string second = instrument.Measurement();
    EXPECT_EQ(first, Framed("MEAS;N=0001;T=20.7;RH=43"));
    EXPECT_NE(first, second);
    EXPECT_EQ(second, Framed(second.substr(1, second.find(kEtx) - 1)));
}

TEST(Instrument, EchoesAndAnswersItsCommands)
{
    Instrument instrument;
    instrument.Measurement();
    EXPECT_EQ(instrument.Receive("hi"), "hi");
    EXPECT_EQ(instrument.Receive("\x05"), "\x05\x06" + Framed("STATUS;OK;N=1"));
    // "?V" answers even when its two bytes arrive in two reads.
    EXPECT_EQ(instrument.Receive("?"), "?");
    EXPECT_EQ(instrument.Receive("V\r"), "V" + Framed("VERSION;TAMVI-SIM;1.0") + "\r");

    // The quick-send editor's row STX, "HELLO", ETX with its checksum: ACK; a wrong one: NAK.
    const std::string hello = Framed("HELLO").substr(0, 8);
    EXPECT_EQ(instrument.Receive(hello), hello + "\x06");
    EXPECT_EQ(instrument.Receive("\x02OK\x03\x7F"), "\x02OK\x03\x7F\x15");
    // Inside a frame, command bytes are text: no answer until the checksum.
    EXPECT_EQ(instrument.Receive("\x02\x05?V"), "\x02\x05?V");
}

TEST(Instrument, DropsAnOverlongFrameAndListensAgain)
{
    Instrument instrument;
    const std::string overlong = "\x02" + std::string(Instrument::kMaxFrame + 10, 'x');
    EXPECT_EQ(instrument.Receive(overlong), overlong);
    EXPECT_EQ(instrument.Receive("\x05").substr(0, 2), "\x05\x06");
}

TEST(Pattern, LinesOf64BytesWithEveryValueButCrLf)
{
    const std::string stream = Pattern(0, 1000 * kPatternLineLength);
    std::set<unsigned char> seen;
    for (std::size_t line = 0; line < 1000; ++line) {
        const std::string text = stream.substr(line * kPatternLineLength, kPatternLineLength);
        char number[16];
        std::snprintf(number, sizeof number, "%08zu ", line);
        EXPECT_EQ(text.substr(0, 9), number);
        EXPECT_EQ(text.substr(62), "\r\n");
        EXPECT_EQ(text.substr(0, 62).find_first_of("\r\n"), std::string::npos);
        seen.insert(text.begin() + 9, text.begin() + 62);
    }
    EXPECT_EQ(seen.size(), 254u);
    // Any slice equals the same bytes of one long run, so chunked sending changes nothing.
    EXPECT_EQ(Pattern(12345, 777), stream.substr(12345, 777));
}

TEST(Fnv1a64, KnownValues)
{
    Fnv1a64 empty;
    EXPECT_EQ(empty.Value(), 0xcbf29ce484222325ULL);
    Fnv1a64 digest;
    digest.Add("a");
    EXPECT_EQ(digest.Value(), 0xaf63dc4c8601ec8cULL);
    digest.Add("bc"); // adding in parts gives the digest of the whole
    Fnv1a64 whole;
    whole.Add("abc");
    EXPECT_EQ(digest.Value(), whole.Value());
}

// The real device, its standard output and error read through pipes.
class DeviceProcess
{
public:
    explicit DeviceProcess(std::vector<std::string> args)
    {
        int out[2], err[2];
        EXPECT_EQ(pipe(out), 0);
        EXPECT_EQ(pipe(err), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        args.insert(args.begin(), TAMVI_DEVICE);
        std::vector<char *> argv;
        for (auto &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, TAMVI_DEVICE, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~DeviceProcess()
    {
        if (pid_ > 0)
            Stop(SIGKILL);
        close(out_);
        close(err_);
    }

    // The first line on standard error: where the device linked, or why it could not.
    std::string ErrorLine() { return ReadLine(err_); }
    std::string OutputLine() { return ReadLine(out_); }
    void Signal(int signal) { kill(pid_, signal); }

    // Sends `signal` and returns the exit status.
    int Stop(int signal = SIGTERM)
    {
        kill(pid_, signal);
        return Wait();
    }
    int Wait()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    static std::string ReadLine(int fd)
    {
        std::string line;
        char c;
        pollfd pfd{fd, POLLIN, 0};
        while (poll(&pfd, 1, 5000) > 0 && read(fd, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// The program's side of the line: the slave opened through the link, raw.
class PortSide
{
public:
    explicit PortSide(const fs::path &link)
    {
        fd_ = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd_, 0) << link;
        termios attributes{};
        tcgetattr(fd_, &attributes);
        cfmakeraw(&attributes);
        tcsetattr(fd_, TCSANOW, &attributes);
    }
    ~PortSide() { close(fd_); }

    void Write(const std::string &bytes)
    {
        EXPECT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    // Reads until `count` bytes are in, or what came within `timeout`.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string received;
        char buffer[4096];
        while (received.size() < count) {
            const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - received.size()));
            if (n > 0) {
                received.append(buffer, std::size_t(n));
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, int(left.count())) <= 0)
                break;
        }
        return received;
    }

    // Reads one framed message: STX through ETX, the checksum byte, CR LF.
    std::string ReadFrame()
    {
        std::string frame = Read(1);
        while (!frame.empty() && frame.back() != kEtx) {
            const std::string next = Read(1);
            if (next.empty())
                break;
            frame += next;
        }
        return frame + Read(3);
    }

private:
    int fd_ = -1;
};

TEST(Device, PlaysTheInstrumentOnItsLinkAndRemovesTheLinkWhenEnded)
{
    TempFolder folder;
    const fs::path link = folder.Path() / "ports" / "com21";
    DeviceProcess device({"--folder", folder.Str(), "--port", "21", "--interval-ms", "20"});
    const std::string linked = device.ErrorLine();
    ASSERT_TRUE(fs::is_symlink(link)) << linked;
    EXPECT_TRUE(fs::read_symlink(link).string().starts_with("/dev/pts/"));

    PortSide port(link);
    const std::string frame = port.ReadFrame();
    ASSERT_GE(frame.size(), 5u);
    EXPECT_EQ(frame.substr(0, 6), "\x02MEAS;");
    EXPECT_EQ(frame, Framed(frame.substr(1, frame.find(kEtx) - 1)));

    // The echo and its answer go out in one piece, between two measurements.
    port.Write("?V");
    std::string reply;
    const std::string expected = "?V" + Framed("VERSION;TAMVI-SIM;1.0");
    while (reply.find(expected) == std::string::npos) {
        const std::string more = port.Read(1, 2s);
        if (more.empty())
            break;
        reply += more;
    }
    EXPECT_NE(reply.find(expected), std::string::npos);

    EXPECT_EQ(device.Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(Device, ReplacesAStalePtyLinkButKeepsAnyOtherFile)
{
    TempFolder folder;
    fs::create_directories(folder.Path() / "ports");
    const fs::path stale = folder.Path() / "ports" / "com22";
    fs::create_symlink("/dev/pts/999999", stale);
    {
        DeviceProcess device({"--folder", folder.Str(), "--port", "22", "--interval-ms", "0"});
        device.ErrorLine();
        EXPECT_NE(fs::read_symlink(stale), "/dev/pts/999999");
        EXPECT_EQ(device.Stop(SIGINT), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(stale)));
    }

    const fs::path users = folder.Path() / "ports" / "com23";
    fs::create_symlink("/dev/ttyUSB0", users);
    DeviceProcess device({"--folder", folder.Str(), "--port", "23"});
    EXPECT_NE(device.ErrorLine().find("not a pseudo-terminal link"), std::string::npos);
    EXPECT_EQ(device.Wait(), 1);
    EXPECT_EQ(fs::read_symlink(users), "/dev/ttyUSB0");
}

TEST(Device, SendsTheBenchmarkStreamWhenToldAndReportsCountAndDigest)
{
    TempFolder folder;
    const std::size_t total = 100'000;
    DeviceProcess device({"--folder", folder.Str(), "--port", "24", "--bytes",
                          std::to_string(total), "--rate", "1000000", "--wait-usr1"});
    device.ErrorLine();
    PortSide port(folder.Path() / "ports" / "com24");
    EXPECT_EQ(port.Read(1, 100ms), "") << "sent before SIGUSR1";

    device.Signal(SIGUSR1);
    const std::string received = port.Read(total);
    EXPECT_EQ(received, Pattern(0, total));

    Fnv1a64 digest;
    digest.Add(received);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(digest.Value()));
    const std::string report = device.OutputLine();
    EXPECT_TRUE(report.starts_with("sent bytes=100000 seconds=")) << report;
    EXPECT_NE(report.find(std::string("fnv1a64=") + hex), std::string::npos) << report;
    // Paced at 1 MB/s, 100 kB cannot go out in much less than 0.1 s.
    const double seconds = std::stod(report.substr(report.find("seconds=") + 8));
    EXPECT_GE(seconds, 0.09);
    EXPECT_EQ(device.Stop(SIGHUP), 0);
}

TEST(Device, DumpWritesTheStreamAndBadOptionsAreRefused)
{
    DeviceProcess dump({"--dump", "1000"});
    EXPECT_EQ(dump.OutputLine(), Pattern(0, 63)); // up to the LF
    EXPECT_EQ(dump.Wait(), 0);

    DeviceProcess bad({"--folder", "/tmp", "--port", "26"});
    EXPECT_NE(bad.ErrorLine().find("bad option --port 26"), std::string::npos);
    EXPECT_EQ(bad.Wait(), 2);
}

} // namespace
