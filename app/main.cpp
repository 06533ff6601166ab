#include "app/CommandLine.h"
#include "app/TerminationSignals.h"
#include "app/frmHoofdscherm.h"
#include "logfile/logfile.h"
#include "resources/Artwork.h"
#include "session/Session.h"
#include "termios/TermiosSerialPort.h"

#include <QApplication>
#include <QFile>

// Everything of a run lives next to the executable: tamvi.set, the log folder and ports/.
int main(int argc, char **argv)
{
    if (const auto status = CommandLine::AnswerBeforeStart(argc, argv))
        return *status;
    QApplication app(argc, argv);
    if (const auto status = CommandLine::RefuseUnknownOptions())
        return *status;
    QApplication::setWindowIcon(Artwork::ApplicationIcon());

    const std::string programFolder =
        QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    logfile::SystemClock clock;
    logfile::LogWriter log(clock);
    TermiosSerialPort port(programFolder, nullptr);

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
