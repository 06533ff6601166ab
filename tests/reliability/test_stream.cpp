// The real program on a pseudo-terminal: a stream at full speed and a port that goes away.

#include "reliability/RunningTamvi.h"
#include "reliability/StreamRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace
{

using namespace std::chrono_literals;

TEST(RealProgram, TenMegabytesAtFullSpeedReachTheLogCompleteAndInOrder)
{
    constexpr std::uint64_t kBytes = 10'000'000 / StreamSender::kLine * StreamSender::kLine;
    RunningTamvi tamvi(PlainTextSettings(21));
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();
    const std::uintmax_t startSize = tamvi.LogSize();

    const auto begin = std::chrono::steady_clock::now();
    StreamSender sender(tamvi.Pty(), kBytes);
    const std::uintmax_t expected =
        startSize + kBytes / StreamSender::kLine * StreamSender::kLoggedLine;
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogSize() >= expected; }, 240s))
        << "logged " << tamvi.LogSize() - startSize << " bytes of " << expected - startSize
        << "; sent " << sender.Sent();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    sender.Join();
    EXPECT_FALSE(sender.Failed());
    std::printf("10 MB through the pseudo-terminal into the log in %.1f s (%.1f MB/s)\n",
                took.count(), kBytes / 1e6 / took.count());

    ASSERT_EQ(tamvi.Terminate(), 0) << tamvi.Output();
    ExpectStreamLogged(tamvi.LogBytes(), kBytes);
}

// The far side closes mid-run (an adapter pulled out): the lines already received are logged,
// then one STATUS line; the program neither spins nor stops, and still ends the ordinary way.
TEST(RealProgram, APortThatVanishesIsLoggedOnceWithoutSpinning)
{
    RunningTamvi tamvi(PlainTextSettings(22));
    ASSERT_TRUE(tamvi.Start()) << tamvi.Output();
    ASSERT_TRUE(tamvi.Pty().WriteAll("before\r\nunfinished"));
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas("before"); }, 10s));

    tamvi.Pty().CloseMaster();
    ASSERT_TRUE(RunningTamvi::WaitUntil([&] { return tamvi.LogHas("STATUS: "); }, 10s))
        << tamvi.LogBytes() << tamvi.Output();
    const double cpuBefore = tamvi.CpuSeconds();
    std::this_thread::sleep_for(2s); // what the program does while nothing happens
    const double cpu = tamvi.CpuSeconds() - cpuBefore;
    EXPECT_LT(cpu, 0.3) << "CPU seconds used in 2 s after the port went away";
    EXPECT_TRUE(tamvi.Running());

    ASSERT_EQ(tamvi.Terminate(), 0) << tamvi.Output();
    std::vector<std::string> texts;
    for (const LogLine &line : ParseLog(tamvi.LogBytes()))
        texts.push_back(line.text);
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string &t) { return t.starts_with("STATUS: "); }),
              1);
    const auto status = std::find_if(
        texts.begin(), texts.end(), [](const std::string &t) { return t.starts_with("STATUS: "); });
    // The bytes that arrived before the loss end their line there: a returning device starts a
    // line of its own.
    EXPECT_EQ(*(status - 2), "before");
    EXPECT_EQ(*(status - 1), "unfinished");
    EXPECT_NE(status->find("lost"), std::string::npos) << *status;
    EXPECT_EQ(texts.back(), "Logging beeindigd");
}

} // namespace
