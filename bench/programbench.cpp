// zaziruv-cli program against separate zaziruv-sim --pace processes, each on its own
// pseudo-terminal: the wall time of four targets over that of one (the line bounds
// both, so near 1), the processor time each unit's child takes per second of wall
// time, and that of the parent (records, progress, the children's output) apart.

#include "figures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace {

constexpr int Baud = 57600;

QString program(const QString& name)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../src/app/") + name;
}

struct Run
{
    double wall = 0; // s
    double parentCpu = 0; // s, of zaziruv-cli program itself
    double childrenCpu = 0; // s, of its children together
};

// A macro of about 400 bytes into `targets` simulated controllers at once.
Run programTo(int targets)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("run.cmd")));
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QByteArray("1 A 1234567\r\n").repeated(36)) < 0)
        qFatal("cannot write run.cmd");
    file.close();
    std::vector<std::unique_ptr<QProcess>> sims;
    QStringList args { QStringLiteral("--settings"), dir.filePath(QStringLiteral("s.json")),
        QStringLiteral("--dir"), dir.path(), QStringLiteral("--baud"), QString::number(Baud),
        QStringLiteral("program"), QStringLiteral("run.cmd"), QStringLiteral("--delay"),
        QStringLiteral("1"), QStringLiteral("--json") };
    for (int i = 0; i < targets; ++i) {
        auto sim = std::make_unique<QProcess>();
        sim->start(program(QStringLiteral("zaziruv-sim")),
            { QStringLiteral("--baud"), QString::number(Baud), QStringLiteral("--pace") });
        if (!sim->waitForStarted() || !sim->waitForReadyRead(5000))
            qFatal("zaziruv-sim did not start");
        args << QStringLiteral("--target")
             << QString::fromLocal8Bit(sim->readLine()).trimmed() + QStringLiteral("@1");
        sims.push_back(std::move(sim));
    }
    Run run;
    QProcess cli;
    QElapsedTimer wall;
    wall.start();
    cli.start(program(QStringLiteral("zaziruv-cli")), args);
    if (!cli.waitForFinished(600000) || cli.exitCode() != 0)
        qFatal("program failed: %s", cli.readAllStandardError().constData());
    run.wall = double(wall.nsecsElapsed()) / 1e9;
    // The summary's own account: the parent's processor time and its children's.
    const QJsonObject cpu = QJsonDocument::fromJson(cli.readAllStandardOutput())
                                .object()
                                .value("cpuSeconds")
                                .toObject();
    if (cpu.isEmpty())
        qFatal("program printed no cpuSeconds in its summary");
    run.parentCpu = cpu.value("program").toDouble();
    run.childrenCpu = cpu.value("children").toDouble();
    for (auto& sim : sims) {
        sim->terminate();
        sim->waitForFinished(5000);
    }
    return run;
}

Run g_four;

ZZ_BENCH_FIGURE(500, "program_4_over_1_wall", [] {
    const Run one = programTo(1);
    g_four = programTo(4);
    return g_four.wall / one.wall;
});

// Of the four-target run: the processor time of the four children (one a port, each
// writing one unit), per unit and per second of wall time.
ZZ_BENCH_FIGURE(
    501, "program_unit_cpu_per_wall", [] { return g_four.childrenCpu / 4 / g_four.wall; });

// Of the same run: the parent's own processor time per second of wall time.
ZZ_BENCH_FIGURE(502, "program_parent_cpu_per_wall", [] { return g_four.parentCpu / g_four.wall; });

} // namespace
