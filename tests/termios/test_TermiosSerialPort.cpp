// The real backend on a pseudo-terminal pair linked as ports/com<n> in a temporary program folder.
// Each test uses its own port number (8..24), so that its link names only its own device.

#include "logfile/logfile.h"
#include "serial/PortName.h"
#include "serial/RSinput.h"
#include "session/Session.h"
#include "settings/SettingsRecord.h"
#include "termios/ModemWaiter.h"
#include "termios/TermiosSerialPort.h"

#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/FakeView.h"
#include "support/LoggedTexts.h"
#include "support/PtyPair.h"
#include "support/TempFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

using namespace std::chrono_literals;

std::string AllByteValues()
{
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes.push_back(static_cast<char>(value));
    return bytes;
}

std::uintmax_t FileSize(const std::string &path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// The program folder with a pseudo-terminal as port n, and the port as the program opens it.
class PtyPortTest : public ::testing::Test
{
protected:
    bool OpenAs(int n)
    {
        pty_.LinkAs(folder_.Path(), n);
        port_.SetLostHandler([this](const std::string &reason) {
            ++lostReports_;
            lostReason_ = reason;
        });
        return port_.SetPortNumber(static_cast<std::int16_t>(n)) && port_.Open() &&
               port_.SetSettings("9600,N,8,1") && port_.SetNullDiscard(false) &&
               port_.SetEofEnable(false) && port_.SetDtr(true) && port_.SetReadLength(1);
    }

    bool WaitForWaiting(int count)
    {
        return QTest::qWaitFor([&] { return port_.WaitingCount().value_or(-1) >= count; }, 5000);
    }

    // What the device receives; bytes it could not take at once are written from the event loop.
    std::string ReadFromDevice(std::size_t count)
    {
        std::string received;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                received += pty_.Read(count - received.size(), 0ms);
                return received.size() >= count;
            },
            5000));
        return received;
    }

    // Drains what waits, one byte per read as the receive tick does.
    std::string ReadAllWaiting()
    {
        std::string received;
        while (port_.WaitingCount().value_or(0) > 0)
            received += port_.Read().value_or("");
        return received;
    }

    TempFolder folder_;
    PtyPair pty_;
    TermiosSerialPort port_{folder_.Str()};
    int lostReports_ = 0;
    std::string lostReason_;
};

TEST(PortDevicePath, NamesTheLinkWhenPresentElseTheBuiltInPort)
{
    TempFolder folder;
    EXPECT_EQ(PortDevicePath(folder.Str(), 3), "/dev/ttyS2");

    std::filesystem::create_directories(folder.Path() / "ports");
    std::ofstream(folder.Path() / "ports" / "com4") << "";
    EXPECT_EQ(PortDevicePath(folder.Str(), 4), (folder.Path() / "ports" / "com4").string());

    // An unplugged adapter leaves its link dangling: it still names the port.
    std::filesystem::create_symlink(folder.Path() / "gone", folder.Path() / "ports" / "com5");
    EXPECT_EQ(PortDevicePath(folder.Str(), 5), (folder.Path() / "ports" / "com5").string());
    EXPECT_EQ(PortDevicePath(folder.Str(), 6), "/dev/ttyS5");
}

TEST_F(PtyPortTest, EveryByteValuePassesUnchangedBothWays)
{
    ASSERT_TRUE(OpenAs(11)) << port_.ErrorString();
    EXPECT_EQ(port_.DeviceName(), (folder_.Path() / "ports" / "com11").string());
    const std::string all = AllByteValues();

    ASSERT_TRUE(pty_.WriteAll(all));
    ASSERT_TRUE(WaitForWaiting(256));
    EXPECT_EQ(port_.WaitingCount(), 256);
    EXPECT_EQ(port_.Read(), std::string(1, '\0'));
    EXPECT_EQ(all.substr(1), ReadAllWaiting());
    EXPECT_EQ(port_.Read(), "") << "nothing waits";

    for (const char byte : all)
        ASSERT_TRUE(port_.Write(std::string(1, byte)));
    EXPECT_EQ(ReadFromDevice(all.size()), all);
}

TEST_F(PtyPortTest, BytesQueuedJustBeforeACloseStillGoOut)
{
    ASSERT_TRUE(OpenAs(19)) << port_.ErrorString();
    for (const char byte : std::string("bye\r\n"))
        ASSERT_TRUE(port_.Write(std::string(1, byte)));
    ASSERT_TRUE(port_.Close()); // no event loop ran in between: the bytes were only queued
    EXPECT_EQ(pty_.Read(5, 1000ms), "bye\r\n");
}

TEST_F(PtyPortTest, OpenFailsWithAReasonForABusyOrAbsentDeviceAndInvalidSettings)
{
    ASSERT_TRUE(OpenAs(12)) << port_.ErrorString();
    ASSERT_TRUE(pty_.WriteAll("ok")); // with the system until the port collects it

    TermiosSerialPort second(folder_.Str());
    ASSERT_TRUE(second.SetPortNumber(12));
    EXPECT_FALSE(second.Open());
    EXPECT_FALSE(second.IsOpen());
    EXPECT_NE(second.ErrorString().find("in use"), std::string::npos) << second.ErrorString();

    // A link left behind by an unplugged adapter.
    std::filesystem::create_symlink(folder_.Path() / "gone", folder_.Path() / "ports" / "com13");
    ASSERT_TRUE(second.SetPortNumber(13));
    EXPECT_FALSE(second.Open());
    EXPECT_NE(second.ErrorString().find("No such file"), std::string::npos) << second.ErrorString();

    for (const char *text :
         {"", "9600", "9600,N,8", "9600,N,8,1,", "96x0,N,8,1", "-9600,N,8,1", "9600,X,8,1",
          "9600,n,8,1", "9600,N,9,1", "9600,N,8,3", "9601,N,8,1"}) {
        EXPECT_FALSE(port_.SetSettings(text)) << text;
        EXPECT_NE(port_.ErrorString().find("invalid"), std::string::npos) << text;
    }
    EXPECT_TRUE(port_.SetSettings("115200,N,8,2")) << port_.ErrorString();

    // The refused open took nothing from the port, and the invalid settings left it usable.
    ASSERT_TRUE(WaitForWaiting(2));
    EXPECT_EQ(ReadAllWaiting(), "ok");
    EXPECT_TRUE(port_.Close());
    EXPECT_TRUE(second.SetPortNumber(12) && second.Open()) << "the lock went with the close";
}

TEST_F(PtyPortTest, AClosedPortReadsNothingAndKeepsTheRtsLevel)
{
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_FALSE(port_.WaitingCount());
    EXPECT_FALSE(port_.Read());
    EXPECT_FALSE(port_.Write("x"));
    EXPECT_FALSE(port_.GetCts());
    EXPECT_FALSE(port_.PollsModemLines());
    EXPECT_FALSE(port_.Close());
    port_.SetRts(true);
    EXPECT_TRUE(port_.GetRts());
    port_.SetRts(false);
    EXPECT_FALSE(port_.GetRts());
    EXPECT_FALSE(port_.SetPortNumber(0));
}

// Bytes received and not read belong to the port they came through: a close, or an open of the
// port again, starts with nothing held.
TEST_F(PtyPortTest, CloseAndOpenStartWithNothingHeld)
{
    ASSERT_TRUE(OpenAs(14)) << port_.ErrorString();
    ASSERT_TRUE(pty_.WriteAll("before close"));
    ASSERT_TRUE(WaitForWaiting(12));
    ASSERT_TRUE(port_.Close());
    EXPECT_FALSE(port_.WaitingCount());
    ASSERT_TRUE(port_.Open()) << port_.ErrorString();
    EXPECT_EQ(port_.WaitingCount(), 0);

    // Collected or still with the system: gone either way.
    ASSERT_TRUE(pty_.WriteAll("before reopen"));
    ASSERT_TRUE(WaitForWaiting(1));
    ASSERT_TRUE(port_.Open()) << port_.ErrorString();
    ASSERT_TRUE(pty_.WriteAll("after"));
    ASSERT_TRUE(WaitForWaiting(5));
    EXPECT_EQ(ReadAllWaiting(), "after");
}

// A device that takes bytes slower than they are written gets them later, in order, from the
// event loop; a close does not wait for what it never takes.
TEST_F(PtyPortTest, BytesTheDeviceCannotTakeYetAreSentLaterAndACloseDoesNotWaitForThem)
{
    ASSERT_TRUE(OpenAs(13)) << port_.ErrorString();
    std::string sent;
    for (int i = 0; i < (128 << 10); ++i)
        sent.push_back(static_cast<char>(i * 7));
    for (const char byte : sent)
        ASSERT_TRUE(port_.Write(std::string(1, byte)));
    EXPECT_EQ(ReadFromDevice(sent.size()), sent);

    for (const char byte : sent)
        ASSERT_TRUE(port_.Write(std::string(1, byte)));
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(port_.Close());
    EXPECT_LT(clock.elapsed(), 1000);
}

// The line settings on a device's attributes: raw bytes, and with parity E or O the input checked
// and damaged bytes marked, which the port decodes; without parity none of that.
TEST(LineAttributes, ParityEOrOChecksAndMarksTheInputNoParityLeavesItRaw)
{
    constexpr tcflag_t kChecking = INPCK | PARMRK | IGNPAR | ISTRIP;
    for (const auto parity :
         {PortLists::kNoParity, PortLists::kEvenParity, PortLists::kOddParity}) {
        termios attributes{};
        attributes.c_iflag = kChecking | ICRNL | IXON | IXOFF | IXANY;
        attributes.c_lflag = ICANON | ECHO;
        attributes.c_cflag = CRTSCTS | CMSPAR;
        ASSERT_TRUE(TermiosSerialPort::SetLineAttributes(attributes, {115200, parity, 7, 2}));
        const bool checked = parity != PortLists::kNoParity;
        EXPECT_EQ(attributes.c_iflag & kChecking, checked ? INPCK | PARMRK : 0u) << parity;
        EXPECT_EQ((attributes.c_cflag & PARENB) != 0, checked) << parity;
        EXPECT_EQ((attributes.c_cflag & PARODD) != 0, parity == PortLists::kOddParity) << parity;
        EXPECT_EQ(attributes.c_cflag & (CSIZE | CSTOPB | CLOCAL | CREAD | CRTSCTS),
                  CS7 | CSTOPB | CLOCAL | CREAD | CRTSCTS)
            << "handshaking is set on its own";
        EXPECT_EQ(attributes.c_iflag & (ICRNL | IXON | IXOFF | IXANY), 0u);
        EXPECT_EQ(attributes.c_cflag & CMSPAR, 0u);
        EXPECT_EQ(attributes.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(cfgetispeed(&attributes), B115200);
        EXPECT_EQ(cfgetospeed(&attributes), B115200);
    }
    termios attributes{};
    EXPECT_FALSE(
        TermiosSerialPort::SetLineAttributes(attributes, {115201, PortLists::kNoParity, 8, 1}));
}

// Flags an earlier program left on the device go with the open: software flow control would
// send bytes nobody typed, mark or space parity would damage every byte. A pseudo-terminal keeps
// no parity, so parity E is not taken, and the line must not check it either: a line left
// checking would deliver every 0xFF twice.
TEST_F(PtyPortTest, TheOpenDefinesEveryFlagAndParityCheckingGoesWithTheParityTaken)
{
    constexpr tcflag_t kChecking = INPCK | PARMRK | IGNPAR | ISTRIP;
    constexpr tcflag_t kLeftOver = kChecking | IXON | IXOFF | IXANY;
    // The device end as another program sees it; opened first, as the port keeps others out.
    const int device = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(device, 0);
    const auto deviceFlags = [device] {
        termios attributes{};
        ::tcgetattr(device, &attributes);
        return std::pair(attributes.c_iflag & kLeftOver, attributes.c_cflag & CMSPAR);
    };
    termios earlier{};
    ::tcgetattr(device, &earlier);
    earlier.c_iflag |= kLeftOver;
    earlier.c_cflag |= CMSPAR;
    ::tcsetattr(device, TCSANOW, &earlier);
    ASSERT_EQ(deviceFlags(), std::pair(kLeftOver, tcflag_t{CMSPAR}));

    EXPECT_TRUE(OpenAs(10)) << port_.ErrorString();
    EXPECT_EQ(deviceFlags(), std::pair(tcflag_t{0}, tcflag_t{0}));
    EXPECT_TRUE(port_.SetSettings("9600,E,8,1")) << port_.ErrorString();
    EXPECT_EQ(port_.SettingsNotTaken(), (std::vector<SerialPort::NotTaken>{{"parity", "E", "N"}}));
    EXPECT_EQ(deviceFlags(), std::pair(tcflag_t{0}, tcflag_t{0}));
    const std::string marks("\xFF\x00"
                            "A\xFF\xFF",
                            5);
    ASSERT_TRUE(pty_.WriteAll(marks));
    ASSERT_TRUE(WaitForWaiting(5));
    EXPECT_EQ(ReadAllWaiting(), marks);
    ::close(device);
}

// A device that does not take a stored line setting (a pseudo-terminal has no parity and no 7
// data bits) opens with what it takes: one line names what it did not take, the caption keeps the
// stored settings, and every byte arrives as sent.
TEST(SettingsNotTaken, ThePortOpensWithWhatTheDeviceTakesAndOneLineNamesTheRest)
{
    struct Case {
        std::int16_t parity, bits, stopbits;
        std::string stored, notTaken;
    };
    const Case cases[] = {
        {1, 1, 0, "9600,E,8,1", "parity E not taken, the device runs with N"},
        {2, 1, 0, "9600,O,8,1", "parity O not taken, the device runs with N"},
        {0, 0, 0, "9600,N,7,1", "data bits 7 not taken, the device runs with 8"},
        {1, 0, 1, "9600,E,7,2",
         "data bits 7 not taken, the device runs with 8; parity E not taken, the device runs "
         "with N"},
    };
    std::string low, high; // every byte value, CR and LF aside, in two lines of the plain view
    for (int value = 0; value < 256; ++value) {
        if (value != '\r' && value != '\n')
            (value < 128 ? low : high).push_back(static_cast<char>(value));
    }
    std::int16_t number = 20;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored);
        TempFolder folder;
        PtyPair pty;
        const std::string link = pty.LinkAs(folder.Path(), ++number).string();
        FakeClock clock{{2026, 12, 8, 14, 5, 9}};
        logfile::LogWriter log{clock};
        TermiosSerialPort port{folder.Str()};
        FakeView view;
        Session session{port, log, folder.Str()};
        session.SetView(&view);
        SettingsRecord record;
        record.compoort = number;
        record.baudrate = 4;
        record.parity = c.parity;
        record.bits = c.bits;
        record.stopbits = c.stopbits;
        record.AnsiLogMode = true;
        session.ApplySettings(record);
        ASSERT_TRUE(port.IsOpen());
        EXPECT_THAT(view.caption,
                    ::testing::EndsWith("Com" + std::to_string(number) + " " + c.stored));

        ASSERT_TRUE(pty.WriteAll(low + "\r\n" + high + "\r\n"));
        RunEventLoopUntil(
            [&] {
                session.ReceiveTick();
                return LoggedTexts(log, clock.Now()).size() >= 4;
            },
            5s);
        EXPECT_THAT(
            LoggedTexts(log, clock.Now()),
            ::testing::ElementsAre("DEBUG: ComPoort opnieuw geopend:  " + std::to_string(number),
                                   "DEBUG: Compoort " + std::to_string(number) + " [" + link +
                                       "]: " + c.notTaken,
                                   low, high));
    }
}

// A pseudo-terminal has no modem lines; the system refuses every call on them, which must neither
// fail the open nor pass for a vanished device.
TEST_F(PtyPortTest, ModemLineCallsOnADeviceWithoutModemLinesAreHarmless)
{
    port_.SetRts(true);
    ASSERT_TRUE(OpenAs(15)) << port_.ErrorString();
    EXPECT_TRUE(port_.GetRts());
    EXPECT_TRUE(port_.SetHandshaking(SerialPort::Handshaking::RtsCts));
    EXPECT_TRUE(port_.SetHandshaking(SerialPort::Handshaking::None));

    for (int tick = 0; tick < 100; ++tick) {
        port_.SetRts(tick % 2 == 0);
        EXPECT_EQ(port_.GetRts(), tick % 2 == 0);
        EXPECT_FALSE(port_.GetCts());
        QCoreApplication::processEvents();
    }
    QTest::qWait(50);
    EXPECT_TRUE(port_.IsOpen());
    EXPECT_FALSE(port_.PollsModemLines()) << "no lines to poll, no waiter either";
    EXPECT_EQ(lostReports_, 0);
    ASSERT_TRUE(pty_.WriteAll("still here"));
    ASSERT_TRUE(WaitForWaiting(10));
    EXPECT_EQ(ReadAllWaiting(), "still here");
}

// The waiter for a device's modem lines, with the driver's wait played by a test: each change
// reaches the event loop, a driver without the wait says so once, and the end of the waiter
// interrupts a wait that would last for ever.
TEST(ModemWaiter, PostsChangesSaysWhenItCannotWaitAndEndsAWaitInProgress)
{
    std::atomic<int> calls = 0;
    int changes = 0;
    {
        ModemWaiter waiter(-1, [&](int) {
            if (calls++ < 2)
                return 0;
            ::pause(); // until the waiter's end interrupts it
            errno = EINTR;
            return -1;
        });
        QObject::connect(&waiter, &ModemWaiter::Changed, [&] { ++changes; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return changes == 2; }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 3; }, 5000));
    }
    EXPECT_EQ(changes, 2);

    bool unsupported = false;
    ModemWaiter waiter(-1, [](int) {
        errno = ENOTTY;
        return -1;
    });
    QObject::connect(&waiter, &ModemWaiter::Unsupported, [&] { unsupported = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return unsupported; }, 5000));
}

TEST_F(PtyPortTest, ADeviceGoneMidRunIsReportedOnceAndItsBytesStayReadable)
{
    ASSERT_TRUE(OpenAs(16)) << port_.ErrorString();

    // Nothing reads the port before the device goes: the port collects on its own what arrives,
    // as a hang-up discards whatever the system still held for the device.
    ASSERT_TRUE(pty_.WriteAll("last words"));
    QTest::qWait(100);
    pty_.CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lostReports_ > 0; }, 5000));
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_EQ(lostReason_, port_.ErrorString());
    EXPECT_FALSE(lostReason_.empty());

    // Nothing spins once the port is closed: a watch left on the hung-up device would fire
    // without end.
    const std::clock_t cpuBefore = std::clock();
    RunEventLoopUntil([] { return false; }, 300ms);
    EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC, 0.1);
    EXPECT_EQ(lostReports_, 1);

    EXPECT_EQ(port_.WaitingCount(), 10);
    EXPECT_EQ(ReadAllWaiting(), "last words");
    EXPECT_FALSE(port_.WaitingCount());
    EXPECT_FALSE(port_.Read());

    // The port opens again once the device is back.
    PtyPair replugged;
    replugged.LinkAs(folder_.Path(), 16);
    ASSERT_TRUE(port_.Open()) << port_.ErrorString();
    ASSERT_TRUE(replugged.WriteAll("back"));
    ASSERT_TRUE(WaitForWaiting(4));
    EXPECT_EQ(ReadAllWaiting(), "back");

    // Lost again with bytes nobody read (the log on hold): they are still there, ahead of the
    // new ones, when the port opens again, however many attempts failed first (the device node
    // is there before its permissions, a setting is refused after the open), each closed as
    // after every failed open.
    ASSERT_TRUE(replugged.WriteAll("kept"));
    QTest::qWait(100);
    replugged.CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lostReports_ == 2; }, 5000));
    const auto link = folder_.Path() / "ports" / "com16";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(folder_.Path() / "not yet", link);
    EXPECT_FALSE(port_.Open());
    EXPECT_FALSE(port_.Close());
    PtyPair again;
    again.LinkAs(folder_.Path(), 16);
    ASSERT_TRUE(port_.Open()) << port_.ErrorString();
    EXPECT_TRUE(port_.Close());
    ASSERT_TRUE(port_.Open()) << port_.ErrorString();
    ASSERT_TRUE(again.WriteAll("new"));
    ASSERT_TRUE(WaitForWaiting(7));
    EXPECT_EQ(ReadAllWaiting(), "keptnew");
    EXPECT_TRUE(port_.Close());
    EXPECT_FALSE(port_.WaitingCount()) << "once read, a close empties the port again";
}

// A hang-up discards what the system still held for the device: the port takes bytes as they
// arrive, and on a hang-up reads what is left, so that a device's last words reach the reader.
TEST_F(PtyPortTest, TheLastBytesBeforeAHangUpAreKept)
{
    ASSERT_TRUE(OpenAs(20)) << port_.ErrorString();
    std::string words;
    for (int i = 0; i < 3000; ++i)
        words.push_back(static_cast<char>('a' + i % 26));
    ASSERT_TRUE(pty_.WriteAll(words));
    QTest::qWait(5); // the event loop runs as in the program; the receive tick has not come yet
    pty_.CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lostReports_ > 0; }, 5000));
    const std::string kept = ReadAllWaiting();
    EXPECT_EQ(kept.size(), words.size());
    EXPECT_TRUE(kept == words);
}

// A hang-up of a terminal that stays alive (another program holds it, the system hung it up)
// must not leave it in exclusive mode: a user other than root could not open it again.
TEST_F(PtyPortTest, AHangUpLeavesTheDeviceOpenToOthers)
{
    ASSERT_TRUE(OpenAs(8)) << port_.ErrorString();
    const int other = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (other < 0 || ::ioctl(other, TIOCVHANGUP) != 0) {
        if (other >= 0)
            ::close(other);
        GTEST_SKIP() << "hanging up a terminal takes root";
    }
    ::close(other);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lostReports_ > 0; }, 5000));
    const int fresh = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fresh, 0);
    int exclusive = -1;
    ::ioctl(fresh, TIOCGEXCL, &exclusive);
    ::close(fresh);
    EXPECT_EQ(exclusive, 0);
    EXPECT_TRUE(port_.Open()) << port_.ErrorString();
}

// The receive tick of the program, draining the port every 200 ms into a real log file, in plain
// text mode with lines framed by CR LF; a device thread sends as fast as the line takes it.
class ReceiveToLogTest : public PtyPortTest
{
protected:
    ReceiveToLogTest()
    {
        log_.SetLogDirectory((folder_.Path() / "logfile").string());
        settings_.AnsiLogMode = true;
        QObject::connect(&tick_, &QTimer::timeout, [this] { receiver_.ProcessInput(); });
        tick_.start(200);
    }
    ~ReceiveToLogTest() override
    {
        if (device_.joinable())
            device_.join();
    }

    // Lines of 8 to 147 bytes carrying every byte value but CR and LF, `size` bytes at least.
    void SendLines(std::size_t size)
    {
        unsigned char next = 0;
        for (int n = 0; sent_.size() < size; ++n) {
            char number[16];
            std::snprintf(number, sizeof number, "%07d:", n);
            std::string line = number;
            for (int i = 0; i < n % 140; ++i, ++next)
                line.push_back(static_cast<char>(next == '\n' || next == '\r' ? '.' : next));
            sent_ += line + "\r\n";
            expectedLog_ += "14:05:09 " + line + "\r\n";
        }
        device_ = std::thread([this] {
            written_ = pty_.WriteAll(sent_, 60s);
            sending_ = false;
        });
    }

    void ExpectLogComplete()
    {
        const std::string logFile = log_.LogFilePath(clock_.Now());
        EXPECT_TRUE(RunEventLoopUntil(
            [&] { return !sending_ && FileSize(logFile) >= expectedLog_.size(); }, 60s));
        EXPECT_TRUE(written_);
        EXPECT_EQ(lostReports_, 0);
        const std::string logged = ReadFileBytes(logFile);
        ASSERT_EQ(logged.size(), expectedLog_.size());
        const auto mismatch = std::mismatch(logged.begin(), logged.end(), expectedLog_.begin());
        EXPECT_TRUE(logged == expectedLog_)
            << "first difference at byte " << (mismatch.first - logged.begin());
    }

    FakeClock clock_{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log_{clock_};
    SettingsRecord settings_;
    RunState state_;
    RSinput receiver_{port_, log_, settings_, state_};
    QTimer tick_;
    std::thread device_;
    std::string sent_;
    std::string expectedLog_;
    std::atomic<bool> sending_ = true;
    std::atomic<bool> written_ = false;
};

TEST_F(ReceiveToLogTest, AMebibyteAtFullSpeedReachesTheLogFileCompleteAndInOrder)
{
    ASSERT_TRUE(OpenAs(17)) << port_.ErrorString();
    SendLines(1 << 20);
    ExpectLogComplete();
}

// On hold nothing is read: the port keeps its receive buffer full, then holds the sender off
// without spinning, and everything arrives once the hold ends.
TEST_F(ReceiveToLogTest, AHoldFillsTheReceiveBufferAndThenHoldsTheSenderOff)
{
    ASSERT_TRUE(OpenAs(18)) << port_.ErrorString();
    state_.LogHold = -1;
    SendLines(TermiosSerialPort::kReceiveBufferBytes + (256 << 10));
    ASSERT_TRUE(RunEventLoopUntil(
        [&] { return port_.WaitingCount() >= TermiosSerialPort::kReceiveBufferBytes; }, 30s));

    const std::clock_t cpuBefore = std::clock();
    RunEventLoopUntil([] { return false; }, 300ms);
    const double cpuSeconds = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuSeconds, 0.15) << "the event loop spins while the buffer is full";
    EXPECT_TRUE(sending_) << "the sender is held off";
    EXPECT_EQ(port_.WaitingCount(), TermiosSerialPort::kReceiveBufferBytes);

    state_.LogHold = 0;
    ExpectLogComplete();
}

} // namespace
