// The simulator's --pace: characters taken from and sent to the host at the line's
// rate of 10 bits a character, at every speed the program uses. The figure is the
// worst error over 1 s of a saturated line in either direction, in percent (goal: 2
// or less); the download figures lean on it.

#include "figures.h"

#include "core/eventwait.h"
#include "link/framing.h"
#include "sim/ptysimulator.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>
#include <cmath>

namespace {

// Percent by which the paced rates at `baud` miss the line's rate (the worse
// direction); -1 when the line could not be set up.
double paceErrorPct(int baud)
{
    SimOptions o;
    o.pace = true;
    o.echo = true;
    o.baud = baud;
    PtySimulator sim(o);
    if (!sim.start())
        return -1;
    QSerialPort port;
    port.setPortName(sim.slavePath());
    port.setBaudRate(baud);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite))
        return -1;
    // 1.5 s of commands at once: the line to the simulator stays full, and the way
    // back (echo and answers, more than twice as long) too.
    const double perSecond = baud / 10.0;
    const QByteArray command = frameCommand(QStringLiteral("0 ST"), false);
    port.write(command.repeated(qsizetype(1.5 * perSecond) / command.size()));
    QObject::connect(&port, &QSerialPort::readyRead, [&port] { port.readAll(); });

    QElapsedTimer clock;
    clock.start();
    qint64 t1 = 0;
    qint64 rx1 = 0;
    qint64 tx1 = 0;
    bool done = false;
    double error = -1;
    QTimer::singleShot(250, [&] {
        t1 = clock.nsecsElapsed();
        rx1 = sim.bytesReceived();
        tx1 = sim.bytesSent();
    });
    QTimer::singleShot(1250, [&] {
        const double seconds = double(clock.nsecsElapsed() - t1) / 1e9;
        const double rx = double(sim.bytesReceived() - rx1) / seconds;
        const double tx = double(sim.bytesSent() - tx1) / seconds;
        error = 100.0 * std::max(std::abs(rx / perSecond - 1), std::abs(tx / perSecond - 1));
        done = true;
    });
    waitUntil([&] { return done; });
    port.close();
    sim.stop();
    return error;
}

double worstPaceErrorPct()
{
    double worst = 0;
    for (int baud : { 9600, 19200, 38400, 57600 }) {
        const double e = paceErrorPct(baud);
        if (e < 0)
            return -1;
        worst = std::max(worst, e);
    }
    return worst;
}

} // namespace

ZZ_BENCH_FIGURE(300, "sim_pace_worst_error_pct", worstPaceErrorPct);
