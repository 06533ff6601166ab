// Throughput of receive processing: bytes per second through ProcessInput, from a port in memory
// into the view buffer and the real log writer on disk, in each rendering regime.
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/release --target bench_receive && build/release/bench/bench_receive
//
// A 115200-baud line brings 11,520 bytes a second; every regime should manage at least 1 MB/s.

#include "logfile/logfile.h"
#include "serial/RSinput.h"
#include "settings/SettingsRecord.h"
#include "support/FakeSerialPort.h"
#include "support/TempFolder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace
{

enum class Regime { TextView, HexView, PlainText };

// What a device typically sends: framed telegrams of varying length with STX, ETX and CR LF.
std::string Telegrams(std::size_t size)
{
    std::string bytes;
    for (int n = 0; bytes.size() < size; ++n) {
        char body[64];
        std::snprintf(body, sizeof body, "ID=%05d;T=%+.1f;P=%d;STATE=%s", n, (n % 400) / 10.0 - 20,
                      950 + n % 100, n % 7 == 0 ? "ALARM" : "OK");
        bytes += '\x02';
        bytes += body;
        bytes += "\x03\r\n";
    }
    bytes.resize(size);
    return bytes;
}

void ProcessInput(benchmark::State &state, Regime regime)
{
    constexpr std::size_t kChunk = 64 * 1024; // about 5.7 s of a 115200-baud line
    const std::string chunk = Telegrams(kChunk);

    TempFolder folder;
    logfile::SystemClock clock;
    logfile::LogWriter log(clock);
    log.SetLogDirectory(folder.Str());
    FakeSerialPort port;
    port.recordCalls = false;
    port.Open();
    SettingsRecord settings;
    settings.Start1 = "2"; // STX begins a line in the rendered views
    for (std::string *start :
         {&settings.Start2, &settings.Start3, &settings.Start4, &settings.Start5})
        *start = "-1";
    settings.AnsiLogMode = regime == Regime::PlainText;
    RunState run;
    run.DisplayMode = regime == Regime::HexView ? -1 : 0;
    RSinput rs(port, log, settings, run);

    for (auto _ : state) {
        port.Feed(chunk);
        log.KeepFileOpen(); // as the receive tick does
        rs.ProcessInput();
        log.CloseFile();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kChunk));
    if (log.Failure())
        state.SkipWithError(("log writer failed: " + log.Failure()->reason).c_str());
}

} // namespace

BENCHMARK_CAPTURE(ProcessInput, rendered_text_view, Regime::TextView)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProcessInput, rendered_hex_view, Regime::HexView)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProcessInput, plain_text, Regime::PlainText)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
