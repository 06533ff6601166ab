// The least a program of Tamvi's kind can cost on this machine, for bench/e2e/run to show beside
// Tamvi's own figures: the same Qt application (a widget window under the given platform, or
// with --headless a core application), the window's two timers ticking with nothing to do, and
// the device read as bytes arrive, which keeps the last bytes before a hang-up. Every byte read
// is thrown away. Whatever Tamvi does on top of this is its own cost; what this costs, no
// program built that way can save.
//
//   bench_floor DEVICE [--headless]

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
constexpr int kReceiveMs = 200;
constexpr int kLampMs = 50;
} // namespace

int main(int argc, char **argv)
{
    const bool headless = argc > 2 && std::strcmp(argv[2], "--headless") == 0;
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_floor DEVICE [--headless]\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios raw{};
    if (fd < 0 || ::tcgetattr(fd, &raw) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);

    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<QWidget> window;
    QTimer receiveTick;
    QTimer lampTick;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
        window = std::make_unique<QWidget>();
        window->resize(800, 600);
        window->show();
        // The window's timers run for the whole run; the station has no lamps and its receive
        // tick runs only while bytes come.
        receiveTick.start(kReceiveMs);
        lampTick.start(kLampMs);
    }
    QSocketNotifier arrivals(fd, QSocketNotifier::Read);
    bool arrived = false;
    QObject::connect(&arrivals, &QSocketNotifier::activated, [&] {
        char chunk[16 * 1024];
        if (::read(fd, chunk, sizeof chunk) == 0)
            arrivals.setEnabled(false); // hung up
        arrived = true;
        if (!receiveTick.isActive())
            receiveTick.start(kReceiveMs);
    });
    QObject::connect(&receiveTick, &QTimer::timeout, [&] {
        if (headless && !arrived)
            receiveTick.stop();
        arrived = false;
    });
    return QCoreApplication::exec();
}
