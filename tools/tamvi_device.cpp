// tamvi-device: a simulated serial instrument on a pseudo-terminal, for the demo, the end-to-end
// tests and the benchmark. Plain POSIX; see Usage() for what it does.

#include "tools/Instrument.h"
#include "tools/PtyLine.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char *kUsage = R"(Usage: tamvi-device --folder DIR [--port N] [options]

Plays a serial instrument on a pseudo-terminal linked as DIR/ports/com<N> (N 1..25, default 1),
so that Tamvi started from DIR opens it as port N. Ends on SIGTERM, SIGINT or SIGHUP and removes
its link.

Instrument (the default):
  every second a measurement:   STX "MEAS;N=0001;T=20.7;RH=43" ETX checksum CR LF
  echo of every byte received, followed by the answer it calls for:
    ENQ                         ACK, then STX "STATUS;OK;N=<measurements so far>" ETX checksum CR LF
    "?V"                        STX "VERSION;TAMVI-SIM;1.0" ETX checksum CR LF
    STX text ETX checksum       ACK when the checksum is right, NAK when it is not
  The checksum is the XOR of the bytes from STX through ETX with the top bit cleared, as the
  quick-send editor computes it.
  --interval-ms MS   time between measurements (default 1000; 0: none)

Benchmark:
  --bytes N          send the first N bytes of the benchmark stream at full speed, print
                     "sent bytes=... seconds=... rate=... fnv1a64=..." on standard output, then
                     keep the line open until ended. The stream is lines of 64 bytes: an 8-digit
                     line number, a blank, 53 bytes running through every value but CR and LF,
                     CR LF.
  --rate B           with --bytes: pace the stream at B bytes per second
  --wait-usr1        with --bytes: start sending when SIGUSR1 arrives
  --dump N           write the first N bytes of the benchmark stream to standard output and end;
                     no port is made (for re-rendering what a run sent)

  --help             this text
)";

struct Options {
    std::filesystem::path folder;
    int port = 1;
    std::int64_t intervalMs = 1000;
    std::optional<std::uint64_t> bytes;
    std::uint64_t rate = 0; // bytes per second; 0: full speed
    bool waitUsr1 = false;
    std::optional<std::uint64_t> dump;
};

volatile std::sig_atomic_t gStop = 0;
volatile std::sig_atomic_t gStart = 0;

extern "C" void OnStop(int)
{
    gStop = 1;
}
extern "C" void OnStart(int)
{
    gStart = 1;
}

bool ParseCount(const char *text, std::uint64_t &value)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-')
        return false;
    value = parsed;
    return true;
}

// Fills `options` from argv; false (with a message on stderr) when they make no sense.
bool ParseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (name == "--wait-usr1") {
            options.waitUsr1 = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "tamvi-device: %s needs a value (see --help)\n", argv[i]);
            return false;
        }
        const char *value = argv[++i];
        std::uint64_t number = 0;
        const bool numeric = ParseCount(value, number);
        if (name == "--folder") {
            options.folder = value;
        } else if (name == "--port" && numeric && number >= 1 && number <= 25) {
            options.port = static_cast<int>(number);
        } else if (name == "--interval-ms" && numeric) {
            options.intervalMs = static_cast<std::int64_t>(number);
        } else if (name == "--bytes" && numeric) {
            options.bytes = number;
        } else if (name == "--rate" && numeric && number > 0) {
            options.rate = number;
        } else if (name == "--dump" && numeric) {
            options.dump = number;
        } else {
            std::fprintf(stderr, "tamvi-device: bad option %s %s (see --help)\n", argv[i - 1],
                         value);
            return false;
        }
    }
    if (!options.dump && options.folder.empty()) {
        std::fputs("tamvi-device: --folder is needed (see --help)\n", stderr);
        return false;
    }
    return true;
}

// Waits on the master with the stop and start signals let through, so a signal ends any wait at
// once; everywhere else they stay blocked and cannot be lost between a test and a wait.
class Line
{
public:
    Line(int fd, const sigset_t &waitMask) : fd_(fd), waitMask_(waitMask) {}

    // The events that came, 0 on a timeout or a signal. No timeout: wait for ever.
    short Wait(short events, std::optional<milliseconds> timeout) const
    {
        pollfd pfd{fd_, events, 0};
        timespec ts{};
        if (timeout) {
            const auto ms = std::max<std::int64_t>(0, timeout->count());
            ts = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000};
        }
        const int n = ppoll(&pfd, events ? 1 : 0, timeout ? &ts : nullptr, &waitMask_);
        return n > 0 ? pfd.revents : 0;
    }

    // Writes as much of `bytes` as the line takes without waiting; returns how much.
    std::size_t WriteSome(std::string_view bytes) const
    {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    // Writes all of `bytes`, waiting while the line is full, unless a stop signal comes first;
    // returns how much was written.
    std::size_t WriteAll(std::string_view bytes) const
    {
        std::size_t written = 0;
        while (written < bytes.size() && !gStop) {
            const std::size_t n = WriteSome(bytes.substr(written));
            written += n;
            if (n == 0)
                Wait(POLLOUT, std::nullopt);
        }
        return written;
    }

    std::string ReadAvailable() const
    {
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    int fd_;
    sigset_t waitMask_;
};

void PlayInstrument(const Line &line, milliseconds interval)
{
    // What the line would not take yet. When nobody reads the line, measurements stop piling up
    // here, as they would be lost on a real line.
    constexpr std::size_t kMaxPending = 64 * 1024;
    simdevice::Instrument instrument;
    std::string pending;
    auto next = Clock::now() + interval;
    while (!gStop) {
        std::optional<milliseconds> timeout;
        if (interval.count() > 0)
            timeout = std::chrono::duration_cast<milliseconds>(next - Clock::now());
        const short events = POLLIN | (pending.empty() ? 0 : POLLOUT);
        if (line.Wait(events, timeout) & POLLIN)
            pending += instrument.Receive(line.ReadAvailable());
        if (interval.count() > 0 && Clock::now() >= next) {
            if (pending.size() < kMaxPending)
                pending += instrument.Measurement();
            next = std::max(next + interval, Clock::now());
        }
        pending.erase(0, line.WriteSome(pending));
    }
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Sends the benchmark stream, paced when `rate` is not 0, and prints what it sent.
void SendBenchmark(const Line &line, std::uint64_t total, std::uint64_t rate)
{
    constexpr std::size_t kMaxChunk = 64 * 1024;
    // Paced sending wakes about every 10 ms, like a UART's bytes gathered by a driver.
    const std::uint64_t pacedChunk = std::max<std::uint64_t>(1, rate / 100);
    simdevice::Fnv1a64 digest;
    std::uint64_t sent = 0;
    std::string chunk;
    const auto start = Clock::now();
    while (sent < total && !gStop) {
        std::uint64_t due = total;
        if (rate > 0)
            due = std::min(total, static_cast<std::uint64_t>(SecondsSince(start) * rate));
        if (due <= sent) {
            const double wakeAt = static_cast<double>(sent + pacedChunk) / rate;
            line.Wait(0, milliseconds(std::max<std::int64_t>(
                             1, static_cast<std::int64_t>((wakeAt - SecondsSince(start)) * 1e3))));
            continue;
        }
        chunk.clear();
        simdevice::AppendPattern(sent, std::min<std::uint64_t>(due - sent, kMaxChunk), chunk);
        const std::size_t written = line.WriteAll(chunk);
        digest.Add(std::string_view(chunk).substr(0, written));
        sent += written;
    }
    const double seconds = SecondsSince(start);
    std::printf("sent bytes=%llu seconds=%.3f rate=%.0f fnv1a64=%016llx%s\n",
                static_cast<unsigned long long>(sent), seconds, seconds > 0 ? sent / seconds : 0.0,
                static_cast<unsigned long long>(digest.Value()),
                sent < total ? " (stopped early)" : "");
    std::fflush(stdout);
}

int Dump(std::uint64_t total)
{
    constexpr std::uint64_t kChunk = 64 * 1024;
    std::string chunk;
    for (std::uint64_t offset = 0; offset < total; offset += kChunk) {
        chunk.clear();
        simdevice::AppendPattern(offset, std::min(kChunk, total - offset), chunk);
        if (std::fwrite(chunk.data(), 1, chunk.size(), stdout) != chunk.size())
            return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Blocks the signals the device reacts to and returns the mask that lets them through.
sigset_t InstallSignals()
{
    struct sigaction stop {
    };
    stop.sa_handler = OnStop;
    struct sigaction start {
    };
    start.sa_handler = OnStart;
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &stop, nullptr);
        sigaddset(&handled, signal);
    }
    sigaction(SIGUSR1, &start, nullptr);
    sigaddset(&handled, SIGUSR1);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &handled, &waitMask);
    return waitMask;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    if (options.dump)
        return Dump(*options.dump);

    const sigset_t waitMask = InstallSignals();
    PtyLine pty;
    if (!pty.Ok()) {
        std::fprintf(stderr, "tamvi-device: no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    std::string error;
    if (!pty.Link(options.folder, options.port, error)) {
        std::fprintf(stderr, "tamvi-device: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "tamvi-device: %s/ports/com%d -> %s\n", options.folder.c_str(),
                 options.port, pty.SlavePath().c_str());

    const Line line(pty.MasterFd(), waitMask);
    if (options.bytes) {
        while (options.waitUsr1 && !gStart && !gStop)
            line.Wait(0, std::nullopt);
        if (!gStop)
            SendBenchmark(line, *options.bytes, options.rate);
        // The program may still be reading: the line stays until the device is ended.
        while (!gStop)
            line.Wait(0, std::nullopt);
    } else {
        PlayInstrument(line, milliseconds(options.intervalMs));
    }
    return 0;
}
