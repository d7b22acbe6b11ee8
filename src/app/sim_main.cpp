// zaziruv-sim: a simulated TYX controller on a pseudo-terminal. The first line of
// stdout is the device to open as the serial port; it serves until SIGINT or SIGTERM.

#include "app/common/versiontext.h"
#include "sim/ptysimulator.h"
#include "sim/simoptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>

#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

// Only async-signal-safe work here: the event loop reads the pipe and quits.
void onSignal(int signo)
{
    const char c = char(signo);
    const ssize_t n = ::write(signalPipe[1], &c, 1);
    (void)n;
}

bool installSignalPipe()
{
    if (::pipe(signalPipe) != 0)
        return false;
    for (int fd : signalPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &sa, nullptr) == 0 && sigaction(SIGTERM, &sa, nullptr) == 0;
}

} // namespace
#endif

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zaziruv-sim"));

    const QStringList arguments = app.arguments().mid(1);
    if (arguments.contains(QStringLiteral("--version"))) {
        printVersion("zaziruv-sim");
        return 0;
    }
    QString error;
    const std::optional<SimOptions> options = parseSimOptions(arguments, &error);
    if (!options) {
        std::fprintf(stderr, "zaziruv-sim: %s\n", qPrintable(error));
        return 2;
    }
    if (options->help) {
        std::printf(
            "Usage: zaziruv-sim [options]\n"
            "A simulated TYX motion controller on a pseudo-terminal. The first line\n"
            "printed is the device to open as the serial port. Stops on SIGINT or SIGTERM.\n\n"
            "%s"
            "  --version               show the version and the Qt version\n",
            qPrintable(simOptionsHelp()));
        return 0;
    }
#ifndef Q_OS_WIN
    if (!installSignalPipe()) {
        std::perror("zaziruv-sim: signal handling");
        return 1;
    }
#endif

    PtySimulator sim(*options);
    if (!sim.start()) {
        std::fprintf(stderr, "zaziruv-sim: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    std::printf("%s\n", qPrintable(sim.slavePath()));
    std::fflush(stdout);

#ifndef Q_OS_WIN
    QSocketNotifier signals(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signals, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
#endif
    QObject::connect(&sim, &PtySimulator::hungUp, &app, [&sim] {
        std::fprintf(stderr, "zaziruv-sim: hung up after %lld lines\n",
            static_cast<long long>(sim.controller().linesReceived()));
    });

    app.exec();
    if (!sim.stop()) {
        std::fprintf(stderr, "zaziruv-sim: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    return 0;
}
