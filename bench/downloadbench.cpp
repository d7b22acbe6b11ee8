// Wall time of a download, a directory read and a read back against the paced simulator, over
// the protocol's floor: the line time of every byte sent (10 bits a character) plus
// every stated tick wait at Delay ms a tick. Node 1, Delay 2 (1 where the name says so),
// verify off. The tick timer runs free, so a wait of k ticks lasts k-1 to k ticks: a
// download's figure lies between its "_lower_floor" (the floor with k-1 ticks a wait,
// over the floor) and 1.00. "_logged_over_plain" is the download with the traffic log
// on (every byte written to a file) over the same without it (goal: at most 1.01).
// "_socket_over_local" and "_rfc2217_over_local": the download through ser2net in
// front of the simulator's pseudo-terminal (raw TCP, Telnet COM Port Control) over the
// local one at the same Delay (goal: at most 1.05; nan without ser2net).

#include "figures.h"

#include "core/prompter.h"
#include "core/ticktimer.h"
#include "link/pacedsender.h"
#include "link/trafficlog.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "terminal/terminalcore.h"
#include "utility/downloadcontroller.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QString ser2netProgram()
{
    return QStandardPaths::findExecutable(
        QStringLiteral("ser2net"), { QStringLiteral("/usr/sbin"), QStringLiteral("/sbin") });
}

// ser2net serving `pty` at `baud` on a free local TCP port, by raw TCP ("socket") or
// RFC 2217; returns the port name for the link once the server accepts connections.
QString startSer2net(
    QProcess& server, const QString& scheme, const QString& pty, int baud, const QString& dir)
{
    QTcpServer probe; // a free port for the server
    if (!probe.listen(QHostAddress::LocalHost))
        qFatal("no free TCP port");
    const quint16 tcp = probe.serverPort();
    probe.close();
    const QString accepter = scheme == QLatin1String("socket")
        ? QStringLiteral("tcp,127.0.0.1,%1").arg(tcp)
        : QStringLiteral("telnet(rfc2217),tcp,127.0.0.1,%1").arg(tcp);
    server.start(ser2netProgram(),
        { QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-P"),
            dir + QStringLiteral("/ser2net.pid"), QStringLiteral("-Y"),
            QStringLiteral("connection: &tyx"), QStringLiteral("-Y"),
            QStringLiteral("  accepter: ") + accepter, QStringLiteral("-Y"),
            QStringLiteral("  connector: serialdev,%1,%2n81,local").arg(pty).arg(baud) });
    if (!server.waitForStarted())
        qFatal("ser2net did not start");
    for (int tries = 0; tries < 50; ++tries) { // 5 s at most
        QTcpSocket knock;
        knock.connectToHost(QHostAddress::LocalHost, tcp);
        if (knock.waitForConnected(100))
            return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(tcp);
        if (server.state() == QProcess::NotRunning || server.waitForFinished(100))
            break;
    }
    qFatal("ser2net does not accept: %s", server.readAllStandardError().constData());
}

struct Run
{
    double wall = 0; // s
    double floor = 0; // s
    double lowerFloor = 0; // s
    double cpu = 0; // s
};

// One session: the main window's logic and the download window on zaziruv-sim
// --pace at `baud` (a process of its own, so that its work is not counted here).
// `prepare` writes the working directory's files (a memory image "mem.bin" is
// loaded by the simulator); `work` runs the download window's command.
Run session(int baud, const std::function<void(const QString& dir)>& prepare,
    const std::function<void(DownloadController&)>& work, int delay = 2, bool logged = false,
    const std::function<void(DownloadController&)>& before = {}, const QString& scheme = {})
{
    QTemporaryDir dir;
    prepare(dir.path());
    QStringList args { QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--pace") };
    if (QFile::exists(dir.filePath(QStringLiteral("mem.bin"))))
        args << QStringLiteral("--eeprom") << dir.filePath(QStringLiteral("mem.bin"));
    QProcess sim;
    sim.start(
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/app/zaziruv-sim"), args);
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000))
        qFatal("zaziruv-sim did not start");
    const QString pty = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QProcess server;
    const QString port
        = scheme.isEmpty() ? pty : startSer2net(server, scheme, pty, baud, dir.path());

    SettingsStore store(dir.filePath(QStringLiteral("settings.json")));
    ScriptedPrompter prompter;
    prompter.answers = { PromptAnswer::Ok, PromptAnswer::No };
    Settings settings(store, prompter);
    SettingsInForce cfg;
    cfg.chosenDir = dir.path();
    cfg.baudRate = baud;
    Run run;
    {
        TerminalCore core(settings, cfg, prompter);
        core.setDeviceOverride(port);
        core.openPort();
        TrafficLog log;
        if (logged
            && !log.start(core.link().traffic(), dir.filePath(QStringLiteral("t.log")),
                TrafficLog::DefaultMaxBytes, nullptr))
            qFatal("cannot start the traffic log");
        QFile e2prom(dir.filePath(QStringLiteral("e2prom.dat")));
        if (e2prom.open(QIODevice::WriteOnly))
            e2prom.write(
                (QByteArray::number(delay).rightJustified(2, '0') + "010").leftJustified(500, ' '));
        e2prom.close();
        DownloadController u(core, prompter);
        u.load();
        if (before)
            before(u); // not timed
        u.sender().totals = {};
        QElapsedTimer wall;
        const double cpu = cpuSeconds();
        wall.start();
        work(u);
        run.wall = double(wall.nsecsElapsed()) / 1e9;
        run.cpu = cpuSeconds() - cpu;
        const PacedSender::Totals& t = u.sender().totals;
        run.floor = double(t.bytes) * 10 / baud + double(t.ticks) * u.delay() / 1000.0;
        run.lowerFloor
            = double(t.bytes) * 10 / baud + double(t.ticks - t.waits) * u.delay() / 1000.0;
        u.exitall();
    }
    if (!scheme.isEmpty()) {
        server.terminate();
        server.waitForFinished(5000);
    }
    sim.terminate();
    sim.waitForFinished(5000);
    return run;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A macro of 1000 bytes once prepared, a line end every 10 bytes: 98 lines of 10,
// one of 12 and "MACRO 0" with its CR.
QByteArray macro1000()
{
    QByteArray file;
    for (int i = 0; i < 98; ++i)
        file += "1 A 12345\r\n";
    return file + "1 B 1234567\r\n";
}

double g_checks = 0; // s: the first read and the final read-back of the last download

Run download(int baud, int delay = 2, bool logged = false, const QString& scheme = {})
{
    return session(
        baud,
        [](const QString& dir) {
            writeFile(QDir(dir).filePath(QStringLiteral("m.cmd")), macro1000());
        },
        [](DownloadController& u) {
            u.setDownloadFileName(QStringLiteral("m.cmd"));
            u.downloadFile();
            // The same reads once more, timed alone: what they add to the download.
            if (u.lastDownload().kind != Outcome::Completed)
                qFatal("the download did not complete");
            u.protocol().writeMark('I'); // as the download left it before its last write
            QElapsedTimer checks;
            checks.start();
            u.sender().send(QStringLiteral(" EES 503"), 6); // the header's line for the mark
            if (!u.protocol().probe()
                || !u.protocol().finishProgram(EepromProtocol::writtenRuns(
                    u.protocol().workFile(), u.downloadFileName(), 0, false)))
                qFatal("the download's checks failed");
            g_checks = double(checks.nsecsElapsed()) / 1e9;
        },
        delay, logged, {}, scheme);
}

Run g_download57600;
Run g_download9600;
Run g_download57600Delay1;

double downloadWallOverFloor57600()
{
    g_download57600 = download(57600);
    return g_download57600.wall / g_download57600.floor;
}

// Share of a 1000-byte download at 57600 baud spent proving that the controller
// answers before the first write and holds what was written before "X" (goal: at
// most 0.02).
double downloadChecksShare57600()
{
    return g_checks / (g_download57600.wall - g_checks);
}

double downloadWallOverFloor9600()
{
    g_download9600 = download(9600);
    return g_download9600.wall / g_download9600.floor;
}

double downloadWallOverFloor57600Delay1()
{
    g_download57600Delay1 = download(57600, 1);
    return g_download57600Delay1.wall / g_download57600Delay1.floor;
}

double downloadLoggedOverPlain57600()
{
    if (g_download57600.wall <= 0) // chosen alone by name
        downloadWallOverFloor57600();
    const Run logged = download(57600, 2, true);
    return (logged.wall / logged.floor) / (g_download57600.wall / g_download57600.floor);
}

std::function<double()> networkOverLocal57600(const char* scheme)
{
    return [scheme] {
        if (ser2netProgram().isEmpty()) {
            std::fprintf(stderr, "ser2net is not installed (scripts/setup installs it)\n");
            return std::nan("");
        }
        if (g_download57600.wall <= 0) // chosen alone by name
            downloadWallOverFloor57600();
        const Run remote = download(57600, 2, false, QString::fromLatin1(scheme));
        return remote.wall / g_download57600.wall;
    };
}

// The least the figure measured just before may be.
std::function<double()> lowerFloorOf(const Run& run)
{
    return [&run] { return run.floor > 0 ? run.lowerFloor / run.floor : 0; };
}

double downloadCpuPerSecond()
{
    return g_download57600.wall > 0 ? g_download57600.cpu / g_download57600.wall : 0;
}

double dir40WallOverFloor9600()
{
    const Run r = session(
        9600,
        [](const QString& dir) {
            // 40 macros of 100 bytes, as a combination download leaves them.
            QByteArray image(8192, char(0xFF));
            image[502] = 40;
            image[503] = 'X';
            for (int i = 0; i < 40; ++i) {
                const QByteArray name = "MACRO" + QByteArray::number(10 + i) + '\r';
                for (int k = 0; k < 8; ++k) // the first character at the slot's top
                    image[499 - 10 * i - k] = name[k];
            }
            const int end = 1024 + 40 * 100;
            image[516 + 80] = char(end / 256);
            image[516 + 81] = char(end % 256);
            writeFile(QDir(dir).filePath(QStringLiteral("mem.bin")), image);
        },
        [](DownloadController& u) { u.readDirectory(); });
    return r.wall / r.floor;
}

double readback1000WallOverFloor9600()
{
    const Run r = session(
        9600,
        [](const QString& dir) {
            // One stored macro "BIG": the 1000 bytes of macro1000() prepared.
            QByteArray image(8192, char(0xFF));
            image[502] = 1;
            image[503] = 'X';
            image.replace(492, 8, QByteArray("\r\r\r\r\rGIB", 8));
            const int end = 1024 + 1000;
            image[516] = 4;
            image[517] = 0;
            image[518] = char(end / 256);
            image[519] = char(end % 256);
            image.replace(1024, 1000, macro1000().replace("\n", "") + "MACRO 0\r");
            writeFile(QDir(dir).filePath(QStringLiteral("mem.bin")), image);
        },
        [](DownloadController& u) {
            u.readBack();
            // 1000 bytes and a LF after each of their 100 CRs.
            if (QFileInfo(QDir(u.workingDir()).filePath(QStringLiteral("Temporary.cmd"))).size()
                != 1100)
                qFatal("the read back lost bytes");
        },
        2, false,
        [](DownloadController& u) {
            // The stored macros as the directory read lists them, then the one to read.
            u.readDirectory();
            u.setReadBackList(QStringList { QStringLiteral("BIG") });
        });
    return r.wall / r.floor;
}

} // namespace

ZZ_BENCH_FIGURE(400, "download_1000_wall_over_floor_57600", downloadWallOverFloor57600);
ZZ_BENCH_FIGURE(
    400, "download_1000_wall_over_floor_57600_lower_floor", lowerFloorOf(g_download57600));
ZZ_BENCH_FIGURE(401, "download_1000_checks_share_57600", downloadChecksShare57600);
ZZ_BENCH_FIGURE(401, "download_1000_wall_over_floor_9600", downloadWallOverFloor9600);
ZZ_BENCH_FIGURE(
    401, "download_1000_wall_over_floor_9600_lower_floor", lowerFloorOf(g_download9600));
ZZ_BENCH_FIGURE(
    401, "download_1000_wall_over_floor_57600_delay1", downloadWallOverFloor57600Delay1);
ZZ_BENCH_FIGURE(401, "download_1000_wall_over_floor_57600_delay1_lower_floor",
    lowerFloorOf(g_download57600Delay1));
ZZ_BENCH_FIGURE(402, "download_cpu_per_s", downloadCpuPerSecond);
ZZ_BENCH_FIGURE(402, "download_1000_logged_over_plain_57600", downloadLoggedOverPlain57600);
ZZ_BENCH_FIGURE(402, "download_1000_socket_over_local_57600", networkOverLocal57600("socket"));
ZZ_BENCH_FIGURE(402, "download_1000_rfc2217_over_local_57600", networkOverLocal57600("rfc2217"));
ZZ_BENCH_FIGURE(403, "dir_40_wall_over_floor_9600", dir40WallOverFloor9600);
ZZ_BENCH_FIGURE(404, "readback_1000_wall_over_floor_9600", readback1000WallOverFloor9600);
