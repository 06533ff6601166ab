// A long run of the real program: 100 MB through the pseudo-terminal at full speed, more than two
// hours of a busy line at 115200 baud. The log must hold every line and the program's resident
// memory must not grow with what it has received.

#include "reliability/RunningTamvi.h"
#include "reliability/StreamRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

using namespace std::chrono_literals;

constexpr std::uint64_t kMegabyte = 1'000'000;
constexpr std::uint64_t kBytes = 100 * kMegabyte / StreamSender::kLine * StreamSender::kLine;

// What the program may hold beyond its receive buffer once it has settled: a growth above
// this between 10 MB and 100 MB is memory that grows with the data.
constexpr long kAllowedGrowthKiB = 8 * 1024;

TEST(LongRun, HundredMegabytesAreLoggedCompleteWithFlatMemory)
{
    // Under AddressSanitizer freed memory waits in a quarantine of 256 MB before it is used
    // again, which would pass for growth; a small one keeps the program's own use visible.
    const char *options = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS",
             (std::string(options ? options : "") + ":quarantine_size_mb=4").c_str(), 1);
    RunningTamvi tamvi(PlainTextSettings(23));
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();
    const std::uintmax_t startSize = tamvi.LogSize();
    const auto loggedFor = [&](std::uint64_t bytes) {
        return startSize + bytes / StreamSender::kLine * StreamSender::kLoggedLine;
    };

    const auto begin = std::chrono::steady_clock::now();
    StreamSender sender(tamvi.Pty(), kBytes);
    ASSERT_TRUE(RunningTamvi::WaitUntil(
        [&] { return tamvi.LogSize() >= loggedFor(10 * kMegabyte); }, 300s));
    const long rssAt10 = tamvi.VmRssKiB();
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogSize() >= loggedFor(kBytes); }, 900s))
        << "logged " << tamvi.LogSize() - startSize << " bytes; sent " << sender.Sent();
    const long rssAt100 = tamvi.VmRssKiB();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    sender.Join();
    EXPECT_FALSE(sender.Failed());

    std::printf("100 MB in %.1f s (%.2f MB/s); VmRSS %ld KiB at 10 MB, %ld KiB at 100 MB\n",
                took.count(), kBytes / 1e6 / took.count(), rssAt10, rssAt100);
    ::testing::Test::RecordProperty("VmRSS_KiB_at_10MB", std::to_string(rssAt10));
    ::testing::Test::RecordProperty("VmRSS_KiB_at_100MB", std::to_string(rssAt100));
    EXPECT_LT(rssAt100 - rssAt10, kAllowedGrowthKiB);

    ASSERT_EQ(tamvi.Terminate(), 0) << tamvi.Output();
    ExpectStreamLogged(tamvi.LogBytes(), kBytes);
}

} // namespace
