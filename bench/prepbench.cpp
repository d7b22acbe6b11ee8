// Time to prepare a command file into a stored macro, and how it grows with the
// file: the preparation must stay linear in the number of lines.

#include "figures.h"

#include "core/prompter.h"
#include "eeprom/macroprep.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

namespace {

// `lines` lines, of which `labels` carry a label and `jumps` are status jumps to
// those labels; the rest are moves, delays and status waits.
QByteArray commandFile(int lines, int labels, int jumps)
{
    QByteArray out;
    const int labelEvery = lines / labels;
    const int jumpEvery = lines / jumps;
    int label = 0;
    int jump = 0;
    for (int i = 0; i < lines; ++i) {
        if (i % labelEvery == 0 && label < labels) {
            out += "L" + QByteArray::number(label++) + ":1 MV " + QByteArray::number(i) + "\n";
        } else if (i % jumpEvery == jumpEvery / 2 && jump < jumps) {
            out += "1 ST 8>L" + QByteArray::number(jump++ % labels) + "\n";
        } else if (i % 3 == 0) {
            out += "DELAY 10\n";
        } else if (i % 3 == 1) {
            out += "1 ST 1234\n";
        } else {
            out += "1 MV " + QByteArray::number(i) + "\n";
        }
    }
    return out;
}

// Median milliseconds of `runs` preparations of `file`. The work directory lives
// in memory where the system offers it, so the figure is the program's work and
// not the disk's flush latency.
double prepareMs(const QByteArray& file, int runs, PrepResult expected = PrepResult::Prepared)
{
    const QString base
        = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/zz_bench_XXXXXX"));
    QFile f(dir.filePath(QStringLiteral("bench.cmd")));
    if (!f.open(QIODevice::WriteOnly))
        return -1;
    f.write(file);
    f.close();

    HeadlessPrompter prompter;
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        MacroPrep prep(prompter, dir.path());
        prep.MacroFileName = QStringLiteral("bench.cmd");
        QElapsedTimer clock;
        clock.start();
        const PrepResult result = prep.PrepFile(prep.MacroFileName);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (result != expected)
            return -1;
        if (i > 0) // the first run warms the caches
            times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double prep500LinesMs()
{
    return prepareMs(commandFile(500, 50, 100), 41);
}

double prepScaling()
{
    const double small = prepareMs(commandFile(500, 100, 100), 41);
    const double large = prepareMs(commandFile(5000, 100, 100), 21);
    return small > 0 && large > 0 ? large / small : -1;
}

// One line of 32,000 status jumps: refused for its jumps, after work that must not
// grow with the square of the line.
double prepJumpFloodMs()
{
    return prepareMs(
        "L0:1 HO\n1" + QByteArray(" ST 8>L0").repeated(32000) + "\n", 5, PrepResult::Refused);
}

} // namespace

ZZ_BENCH_FIGURE(102, "prep_32000_jumps_line_ms", prepJumpFloodMs);
ZZ_BENCH_FIGURE(100, "prep_500_lines_ms", prep500LinesMs);
ZZ_BENCH_FIGURE(101, "prep_scaling_5000_over_500", prepScaling);
