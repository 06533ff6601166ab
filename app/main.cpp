#include "app/CommandLine.h"
#include "app/TerminationSignals.h"
#include "app/frmHoofdscherm.h"
#include "logfile/logfile.h"
#include "qtserial/QtSerialPort.h"
#include "resources/Artwork.h"
#include "session/Session.h"

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
    QtSerialPort port(programFolder, nullptr);

    Session session(port, log, programFolder);
    frmHoofdscherm window(session);

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::Received, &window, &QWidget::close);
    QObject::connect(&window, &frmHoofdscherm::Ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // After the signals: one may come while start-up's message box is up.
    window.StartUp();
    window.show();
    return QApplication::exec();
}
