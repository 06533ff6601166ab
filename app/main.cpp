#include "app/CommandLine.h"
#include "app/EndOfRun.h"
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

namespace
{

// The window front end over a claimed (or refused) run's folder.
int RunWindow(CommandLine::Options &options, const RunFolder::Claim &folder)
{
    QApplication app(options.qtArgumentCount, options.qtArguments.data());
    QApplication::setWindowIcon(Artwork::ApplicationIcon());
    if (!folder.Ok()) {
        QMessageBox::critical(nullptr, QStringLiteral("Tamvi"),
                              QString::fromLocal8Bit(folder.Failure()));
        return 1;
    }
    // Before start-up, whose message box may be up when the session ends.
    TerminationSignals terminationSignals;

    logfile::SystemClock clock;
    logfile::LogWriter log(clock);
    TermiosSerialPort port(folder.Folder(), nullptr);
    Session session(port, log, folder.Folder());
    frmHoofdscherm window(session);

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
    if (!folder.Ok())
        std::fprintf(stderr, "tamvi: %s\n", folder.Failure().c_str());
    if (options.headless)
        return folder.Ok() ? RunStation(options, folder.Folder()) : 1;
    return RunWindow(options, folder);
}
