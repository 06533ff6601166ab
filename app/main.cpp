#include "app/CommandLine.h"
#include "app/EndOfRun.h"
#include "app/ExitStatus.h"
#include "app/Station.h"
#include "app/TerminationSignals.h"
#include "app/frmHoofdscherm.h"
#include "logfile/logfile.h"
#include "resources/Artwork.h"
#include "runfolder/RunFolder.h"
#include "session/Session.h"
#include "termios/TermiosSerialPort.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace
{

// Whether a window can plainly be shown: Qt ends the program with an abort when it finds no
// display, so a refusal that is already on standard error is shown in a box only where one is
// named.
bool DisplayNamed(const CommandLine::Options &options)
{
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char *value = std::getenv(variable);
        if (value && *value)
            return true;
    }
    return options.platformNamed;
}

// A folder the window cannot start on: said on standard error (already), and in a box where a
// display is named.
int RefuseWindow(CommandLine::Options &options, const RunFolder::Claim &folder)
{
    if (DisplayNamed(options)) {
        QApplication app(options.qtArgumentCount, options.qtArguments.data());
        QApplication::setWindowIcon(Artwork::ApplicationIcon());
        QMessageBox::critical(nullptr, QStringLiteral("Tamvi"),
                              QString::fromLocal8Bit(folder.Failure()));
    }
    return ExitStatus::kFailure;
}

// The window front end over a claimed run's folder.
int RunWindow(CommandLine::Options &options, const RunFolder::Claim &folder)
{
    QApplication app(options.qtArgumentCount, options.qtArguments.data());
    QApplication::setWindowIcon(Artwork::ApplicationIcon());
    // Before start-up, whose message box may be up when the session ends.
    TerminationSignals terminationSignals;

    logfile::SystemClock clock;
    logfile::LogWriter log(clock);
    TermiosSerialPort port(folder.Folder(), nullptr);
    Session session(port, log, folder.Folder());
    frmHoofdscherm window(session);

    QObject::connect(&port, &TermiosSerialPort::Activity, &window, &frmHoofdscherm::WakeTicks);
    QObject::connect(&terminationSignals, &TerminationSignals::Received, &window, &QWidget::close);
    QObject::connect(&window, &frmHoofdscherm::Ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // After the signals: one may come while start-up's message box is up.
    window.StartUp();
    window.show();
    QApplication::exec();
    return EndOfRun(session);
}

} // namespace

// The command line first, without Qt; then the run's folder, made and locked before anything is
// written into it; then the front end.
int main(int argc, char **argv)
{
    CommandLine::Options options = CommandLine::Parse(argc, argv);
    if (const auto status = CommandLine::Answer(options, RunFolder::DescribePlainStart()))
        return *status;
    const RunFolder::Claim folder(options.folder);
    if (!folder.Ok()) {
        std::fprintf(stderr, "tamvi: %s\n", folder.Failure().c_str());
        // A folder another run holds may be free at a station's next start; one that cannot be
        // used stays so until someone changes it.
        if (options.headless)
            return folder.InUse() ? ExitStatus::kFailure : ExitStatus::kConfig;
        return RefuseWindow(options, folder);
    }
    if (options.headless)
        return RunStation(options, folder.Folder());
    return RunWindow(options, folder);
}
