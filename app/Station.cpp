#include "app/Station.h"

#include "app/EndOfRun.h"
#include "app/ExitStatus.h"
#include "app/TerminationSignals.h"
#include "conversions/Windows1252.h"
#include "logfile/logfile.h"
#include "session/Session.h"
#include "session/View.h"
#include "termios/TermiosSerialPort.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{

// The session tells a station's view only what the window shows in a box; the rest has no one
// to show it to. The session says each failure once until it changes, and so does this view.
class HeadlessView final : public NoView
{
public:
    void ShowMessage(const std::string &text) override { Say(text); }
    void ShowWarning(const std::string &text) override { Say(text); }
    void ShowLogFailure(const std::string &text) override { Say(text); }
    void EndLogFailure() override { Say("Logbestand weer te schrijven"); }

private:
    // The session's texts are Windows-1252; a journal or a terminal reads the system's encoding,
    // in which the paths in them are spelled as the file system spells them.
    // One line per message, whatever a path in it holds, so that each journal entry is whole.
    static void Say(const std::string &text)
    {
        std::string line = Windows1252::NativeFromText(text);
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        std::fprintf(stderr, "tamvi: %s\n", line.c_str());
        std::fflush(stderr);
    }
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
    HeadlessView view;
    Session session(port, log, runFolder);
    session.SetView(&view);
    if (!session.StartUp(Session::PortAtStart::Await))
        return ExitStatus::kConfig;

    // The receive tick runs as the window's while it has something to do. A station has no lamps
    // to keep up, so a quiet tick stops it and the station sleeps until the port reports bytes or
    // a loss: an idle line costs no wake-ups at all.
    QTimer receiveTick;
    receiveTick.setInterval(Session::kReceiveInterval);
    QObject::connect(&receiveTick, &QTimer::timeout, [&] {
        session.ReceiveTick();
        if (session.Quiet())
            receiveTick.stop();
    });
    QObject::connect(&port, &TermiosSerialPort::Activity, &receiveTick, [&receiveTick] {
        if (!receiveTick.isActive())
            receiveTick.start();
    });
    receiveTick.start();
    QObject::connect(&terminationSignals, &TerminationSignals::Received, &app, [&] {
        receiveTick.stop();
        session.ReceiveTick(); // bytes that came after the last tick belong in the log too
        session.Quit();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return EndOfRun(session);
}
