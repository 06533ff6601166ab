#include "app/Station.h"

#include "app/EndOfRun.h"
#include "app/ExitStatus.h"
#include "app/RestingTimer.h"
#include "app/TerminationSignals.h"
#include "conversions/Windows1252.h"
#include "logfile/logfile.h"
#include "session/Session.h"
#include "session/View.h"
#include "termios/TermiosSerialPort.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/statvfs.h>
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace
{

// Said in the system's encoding: a journal or a terminal reads it, and the paths in the session's
// Windows-1252 texts are spelled there as the file system spells them. One line whatever a path
// in it holds, so that each journal entry is whole.
std::string NativeLine(const std::string &text)
{
    std::string line = Windows1252::NativeFromText(text);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
}

// Whether `path`, or the nearest folder of it that exists, lies on a file system mounted
// read-only, as all but a station's own folder is under its unit's ProtectSystem=strict.
bool OnReadOnlyMount(std::filesystem::path path)
{
    struct statvfs status;
    while (::statvfs(path.c_str(), &status) != 0) {
        if (!path.has_relative_path())
            return false;
        path = path.parent_path();
    }
    return (status.f_flag & ST_RDONLY) != 0;
}

// A folder outside the station's own is read-only to a station run by its unit: how to allow
// it, when that is why the log cannot be written.
std::string ReadOnlyHint(const logfile::LogWriter &log)
{
    const auto &failure = log.Failure();
    if (!failure || !OnReadOnlyMount(failure->path))
        return {};
    return " (read-only here: a station's unit may write only its own folder; allow this one "
           "with `systemctl edit tamvi@NAME`, [Service] ReadWritePaths=" +
           Windows1252::TextFromNative(log.LogDirectory()) + ")";
}

// The session tells a station's view only what the window shows in a box or in its log view; the
// rest has no one to show it to. The session says each failure once until it changes, and so
// does this view; after each, `changed` is called.
class HeadlessView final : public NoView
{
public:
    HeadlessView(const logfile::LogWriter &log, std::function<void()> changed)
        : log_(log), changed_(std::move(changed))
    {
    }

    void ShowMessage(const std::string &text) override { Say(text); }
    void ShowWarning(const std::string &text) override { Say(text); }
    void ShowLogFailure(const std::string &text) override { Say(text + ReadOnlyHint(log_)); }
    void EndLogFailure() override { Say("Logbestand weer te schrijven"); }
    void ShowStatus(const std::string &line) override { Say(line); }

private:
    void Say(const std::string &text)
    {
        std::fprintf(stderr, "tamvi: %s\n", NativeLine(text).c_str());
        std::fflush(stderr);
        changed_();
    }

    const logfile::LogWriter &log_;
    std::function<void()> changed_;
};

// What systemd knows of a station it runs: ready once the run's folder is claimed and the start
// line written, what the station does now in one line, and that its event loop still turns.
// Without systemd (NOTIFY_SOCKET unset) each call does nothing.
class ServiceManager
{
public:
    void Ready(const std::string &activity)
    {
        shown_ = NativeLine(activity);
        sd_notify(0, ("READY=1\nSTATUS=" + shown_).c_str());
    }
    void Status(const std::string &activity)
    {
        std::string line = NativeLine(activity);
        if (line == shown_)
            return;
        shown_ = std::move(line);
        sd_notify(0, ("STATUS=" + shown_).c_str());
    }
    void Stopping() { sd_notify(0, "STOPPING=1\nSTATUS=stopping"); }
    void Alive() { sd_notify(0, "WATCHDOG=1"); }
    // Half the unit's WatchdogSec=, so that one late ping is not yet a kill; none without one.
    std::chrono::milliseconds PingInterval() const
    {
        std::uint64_t microseconds = 0;
        if (sd_watchdog_enabled(0, &microseconds) <= 0)
            return {};
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::microseconds(microseconds) / 2);
    }

private:
    std::string shown_;
};

} // namespace

int RunStation(CommandLine::Options &options, const std::string &runFolder)
{
    // A core application: it loads no platform plugin and needs no display.
    QCoreApplication app(options.qtArgumentCount, options.qtArguments.data());
    // Before start-up, so that a signal during it ends the run the ordinary way.
    TerminationSignals terminationSignals;

    logfile::SystemClock clock;
    logfile::LogWriter log(clock);
    TermiosSerialPort port(runFolder);
    Session session(port, log, runFolder);
    ServiceManager serviceManager;
    const auto activity = [&] { return session.Activity() + ReadOnlyHint(log); };
    bool started = false;
    HeadlessView view(log, [&] {
        if (started)
            serviceManager.Status(activity());
    });
    session.SetView(&view);
    if (!session.StartUp(Session::PortAtStart::Await))
        return ExitStatus::kConfig;
    started = true;
    serviceManager.Ready(activity());

    // Each ping also brings the status's count of kept lines up to date. A station without a
    // watchdog has no such timer.
    QTimer watchdog;
    if (const auto interval = serviceManager.PingInterval(); interval.count() > 0) {
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            serviceManager.Alive();
            serviceManager.Status(activity());
        });
        watchdog.start(interval);
    }
    // The receive tick rests as the window's does; a station has no lamps to keep up, so an idle
    // line costs no wake-ups at all, and a lost device one a second.
    RestingTimer receiveTick(Session::kReceiveInterval, [&] {
        session.ReceiveTick();
        return session.Rest();
    });
    QObject::connect(&port, &TermiosSerialPort::Activity, &receiveTick, &RestingTimer::Wake);
    receiveTick.Wake();
    QObject::connect(&terminationSignals, &TerminationSignals::Received, &app, [&] {
        receiveTick.End();
        session.ReceiveTick(); // bytes that came after the last tick belong in the log too
        serviceManager.Stopping();
        session.Quit();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return EndOfRun(session);
}
