#include "app/TerminationSignals.h"
#include "app/frmHoofdscherm.h"
#include "logfile/logfile.h"
#include "serial/QtSerialPort.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPixmap>

// Everything of a run lives next to the executable: tamvi.set, the log folder and ports/.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QPixmap icon(QStringLiteral(":/tamvi/icon.png"));
    if (!icon.isNull())
        QApplication::setWindowIcon(QIcon(icon));

    const std::string programFolder =
        QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
            .toLocal8Bit()
            .toStdString();
    logfile::SystemClock clock;
    logfile::LogWriter log(clock);
    QtSerialPort port(programFolder, nullptr);

    // Start-up runs while the window is built; until then no byte can have been received.
    frmHoofdscherm window(port, log, programFolder);
    port.SetPortLostHandler(
        [&window](const std::string &reason) { window.GetSession().PortLost(reason); });

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::Received, &window, &QWidget::close);
    QObject::connect(&window, &frmHoofdscherm::Ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    window.show();
    return QApplication::exec();
}
