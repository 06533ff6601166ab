#include "app/CommandLine.h"
#include "app/Station.h"
#include "app/TerminationSignals.h"
#include "app/frmHoofdscherm.h"
#include "logfile/logfile.h"
#include "qtserial/QtSerialPort.h"
#include "resources/Artwork.h"
#include "session/Session.h"

#include <QApplication>

#include <filesystem>
#include <system_error>

namespace
{

// The executable's folder as Qt finds it, without an application object: the kernel's link to
// the running executable, resolved.
std::string ExecutableFolder()
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::canonical("/proc/self/exe", error);
    return error ? std::string(".") : executable.parent_path().string();
}

} // namespace

// Everything of a run lives next to the executable: tamvi.set, the log folder and ports/.
int main(int argc, char **argv)
{
    if (const auto status = CommandLine::AnswerBeforeStart(argc, argv))
        return *status;
    const std::string programFolder = ExecutableFolder();
    if (CommandLine::AsksForHeadless(argc, argv))
        return RunStation(argc, argv, programFolder);
    QApplication app(argc, argv);
    if (const auto status = CommandLine::RefuseUnknownOptions())
        return *status;
    QApplication::setWindowIcon(Artwork::ApplicationIcon());

    logfile::SystemClock clock;
    logfile::LogWriter log(clock);
    QtSerialPort port(programFolder, nullptr);

    Session session(port, log, programFolder);
    // Start-up runs while the window is built; until then no byte can have been received.
    frmHoofdscherm window(session);

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::Received, &window, &QWidget::close);
    QObject::connect(&window, &frmHoofdscherm::Ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    window.show();
    return QApplication::exec();
}
