// zaziruv-cli program FILE (--target PORT[@NODE]... | --targets LIST) [--verify-readback]
//     [--reset] [--retries N] [--jobs N] [--record FILE] [--record-format csv|jsonl] [--json]
//
// Writes one image, combination ("*.CMB") or command file into many controllers. Each
// port gets its own child zaziruv-cli (--port PORT program FILE --child NODES), so that a
// fault or a hang on one line never holds up another; the nodes of one port (a
// multi-drop line) run one after another in that child. A child reports each unit's
// start, phases and result as JSON lines on stdout; its messages come through on
// stderr with the port in front. The parent keeps the record, one row per attempt,
// retries a failed unit from the start in a new child, and prints the summary.
// Ctrl-C goes to every child as Cancel (each controller left marked incomplete).

#include "commands.h"
#include "core/numbers.h"
#include "core/wholefile.h"
#include "eeprom/combofile.h"
#include "eeprom/memoryimage.h"
#include "eeprom/unitrecord.h"
#include "jsonoutput.h"
#include "link/commandset.h"
#include "link/pacedsender.h"
#include "link/portscanner.h"
#include "settings/settings.h"
#include "terminal/terminalcore.h"
#include "utility/combinationcontroller.h"
#include "utility/downloadcontroller.h"
#include "utility/imagetransfer.h"
#include "utilitysession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <climits>
#include <csignal>
#include <cstdio>
#include <list>
#include <unistd.h>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

namespace {

enum class Kind
{
    Image,
    Combination,
    CommandFile
};

// A memory image by its magic, a combination by its extension, else a command file.
Kind kindOf(const QString& name, const QByteArray& bytes)
{
    if (bytes.startsWith(MemoryImage::magic().toByteArray()))
        return Kind::Image;
    if (name.endsWith(QLatin1String(".cmb"), Qt::CaseInsensitive))
        return Kind::Combination;
    return Kind::CommandFile;
}

struct ProgramOptions
{
    DownloadOptions link;
    bool readBack = false;
    bool reset = false;
};

// ---- The child: the targets of one port, one after another ----

int runChild(CliContext& ctx, const QString& file, const QStringList& nodes, ProgramOptions o)
{
    QString lastMessage;
    ctx.prompter.onShow = [&lastMessage](const PromptMessage& m) {
        if (m.icon == PromptIcon::Critical || m.icon == PromptIcon::Exclamation)
            lastMessage = QString(m.text).replace(QLatin1String("\r\n"), QLatin1String(" "));
    };
    for (const bool verified : { true, false })
        ctx.prompter.presets.append({ DownloadController::completionText(verified),
            o.reset ? PromptAnswer::Yes : PromptAnswer::No });
    DownloadController* running = nullptr;
    Interrupt interrupt([&running] {
        if (running)
            running->cancelOperation();
    });
    const QString dir = ctx.dir.isEmpty() ? ctx.settings().record.WorkingDir : ctx.dir;
    QString why;
    const auto bytes = readRegularFile(QDir(dir).filePath(file), MemoryImage::MaxFileSize, &why);
    const Kind kind = kindOf(file, bytes.value_or(QByteArray()));
    int status = 0;
    for (const QString& node : nodes) {
        if (interrupt.interrupted)
            break;
        printJson({ { "node", node }, { "event", "start" } });
        lastMessage.clear();
        DownloadOptions link = o.link;
        if (!node.isEmpty())
            link.node = node;
        const auto u = openUtility(ctx, link);
        Outcome outcome(Outcome::Failed);
        std::optional<qint64> written;
        if (u) {
            running = u.get();
            DownloadController::Progress shown;
            QObject::connect(u.get(), &DownloadController::changed, [&] {
                const DownloadController::Progress& p = u->progress();
                if (!p.visible || p == shown)
                    return;
                shown = p;
                printJson({ { "node", node }, { "phase", p.label }, { "percent", p.percent } });
            });
            if (kind == Kind::Image) {
                ImageTransfer transfer(*u);
                outcome = transfer.restore(file, o.readBack);
                written = transfer.image.bytes.size();
                if (outcome == Outcome::Completed && o.reset)
                    u->sender().sendTicks(Tyx::Reset, 0);
            } else if (kind == Kind::Combination) {
                if (u->combo.select(file)) {
                    u->combo.downloadCombination();
                    outcome = u->combo.lastDownload();
                    if (outcome == Outcome::Completed && !u->combo.leftOut().isEmpty())
                        outcome = { Outcome::Failed,
                            QStringLiteral("%1 left out of the combination")
                                .arg(u->combo.leftOut().join(QStringLiteral(", "))) };
                } else {
                    lastMessage = QStringLiteral("no combination file \"%1\"").arg(file);
                }
            } else {
                u->setDownloadFileName(file);
                u->setVerifiesReadBack(o.readBack);
                u->downloadFile();
                outcome = u->lastDownload();
                written = u->prep().MacroText.toLatin1().size();
            }
            running = nullptr;
        }
        // (A combination's download has no read back: refused before the children.)
        const QString verification = o.readBack ? QStringLiteral("readback")
            : (kind == Kind::Image || (u && u->protocol().verifiesDownload()))
            ? QStringLiteral("checksum")
            : QStringLiteral("none");
        QJsonObject result { { "node", node }, { "verification", verification } };
        if (outcome == Outcome::Completed) {
            result.insert("result", "ok");
            if (written)
                result.insert("bytes", *written);
        } else if (outcome == Outcome::Cancelled) {
            result.insert("result", "cancelled");
            status = Interrupt::cancelStatus();
        } else {
            const QString reason = !outcome.reason.isEmpty() ? outcome.reason
                : !lastMessage.isEmpty()                     ? lastMessage
                                                             : QStringLiteral("see the messages");
            result.insert("result", QStringLiteral("failed: ") + reason);
            if (status == 0)
                status = 1;
        }
        printJson(result);
    }
    return status;
}

// ---- The parent: children, records, progress and the summary ----

struct Target
{
    QString port;
    QString node; // empty: the download settings'
};

std::optional<Target> parseTarget(const QString& text)
{
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    Target t { at < 0 ? text : text.left(at), at < 0 ? QString() : text.mid(at + 1) };
    if (t.port.isEmpty())
        return std::nullopt;
    if (at >= 0) {
        const auto node = readIntOption(t.node, 0, 99);
        if (!node)
            return std::nullopt;
        t.node = QString::number(*node);
    }
    return t;
}

// A name of `port` that stays when the adapter is plugged in again, and its serial
// number, when the system knows them: read from the device's own entries, as a scan
// of every port (hundreds of tty entries) would cost more than the unit's download.
void identifyPort(const QString& port, QString& stableName, QString& serialNumber)
{
    const PortScanner scanner;
    const QString node = scanner.resolve(port);
    if (node.isEmpty() || port.contains(QLatin1String("://")))
        return;
    const PortEntry entry = scanner.identify(node);
    stableName = entry.stablePath;
    serialNumber = entry.serialNumber;
}

struct Unit
{
    Target target;
    int attempts = 0;
    UnitRecord last; // the last attempt's record; result empty while none ended
    QString phase = QStringLiteral("waiting");
    int percent = 0;
    QElapsedTimer clock; // since the attempt started
};

class ProgramRun
{
public:
    ProgramRun(CliContext& ctx, const QString& file, const QStringList& childArgs)
        : m_ctx(ctx)
        , m_file(file)
        , m_childArgs(childArgs)
    {
        m_inPlace = ::isatty(STDERR_FILENO);
    }

    std::list<Unit> units;
    QString recordPath;
    bool jsonl = false;
    int retries = 0;
    int jobs = INT_MAX;
    quint32 crc = 0;
    bool json = false; // the summary as JSON
    QStringList copies; // the files each child gets in its own working directory
    QString workingDir;

    int run();

private:
    struct Child
    {
        QString port;
        QList<Unit*> units;
        std::unique_ptr<QProcess> process;
        std::unique_ptr<QTemporaryDir> dir;
        QByteArray out;
        QByteArray err;
        Unit* current = nullptr;
        QList<Unit*> reported; // units whose attempt in this child ended
    };

    void startNext();
    void start(const QString& port, const QList<Unit*>& units);
    void readEvents(Child& c);
    void onEvent(Child& c, const QJsonObject& event);
    void finish(Unit& unit, const QString& result, std::optional<qint64> bytes,
        const QString& verification = QString());
    void onFinished(Child& c);
    void cancel();
    void message(const QString& text);
    void phase(Unit& unit);
    void draw();
    void writeRecord(const UnitRecord& r);

    CliContext& m_ctx;
    QString m_file;
    QStringList m_childArgs;
    QStringList m_pending; // ports waiting for a free job, in order
    std::list<Child> m_children;
    QEventLoop m_loop;
    bool m_cancelled = false;
    bool m_inPlace = false;
    int m_drawn = 0; // lines of the in-place display on the terminal
    bool m_recordFailed = false;
};

int ProgramRun::run()
{
    QElapsedTimer total;
    total.start();
    for (const Unit& u : units) {
        if (!m_pending.contains(u.target.port))
            m_pending << u.target.port;
    }
    Interrupt interrupt([this] { cancel(); });
    startNext();
    if (!m_children.empty())
        m_loop.exec();
    if (m_inPlace)
        draw();
    QList<UnitRecord> last;
    int ok = 0;
    for (Unit& u : units) {
        if (u.last.result.isEmpty()) {
            // Never started: Ctrl-C came first.
            u.last.port = u.target.port;
            u.last.node = u.target.node;
            u.last.result = QStringLiteral("cancelled");
            u.last.attempt = 0;
            u.last.started = u.last.ended = QDateTime::currentDateTime();
        }
        ok += u.last.ok() ? 1 : 0;
        last << u.last;
    }
    if (json) {
        QJsonArray rows;
        for (const UnitRecord& r : std::as_const(last))
            rows.append(QJsonDocument::fromJson(r.jsonLine()).object());
        QJsonObject summary { { "units", rows }, { "ok", ok }, { "notOk", int(last.size()) - ok },
            { "seconds", double(total.elapsed()) / 1000 } };
#ifndef Q_OS_WIN
        // What the run cost the processor: this process (the record, the progress) and
        // the children (the ports' units), each ended and waited for by now.
        const auto seconds = [](int who) {
            rusage u {};
            getrusage(who, &u);
            return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
                + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        };
        summary.insert("cpuSeconds",
            QJsonObject {
                { "program", seconds(RUSAGE_SELF) }, { "children", seconds(RUSAGE_CHILDREN) } });
#endif
        printJson(summary);
    } else {
        std::fputs(unitSummary(last, total.elapsed()).constData(), stdout);
        std::fflush(stdout);
    }
    if (m_cancelled)
        return Interrupt::cancelStatus();
    return ok == last.size() && !m_recordFailed ? 0 : 1;
}

void ProgramRun::startNext()
{
    while (!m_cancelled && !m_pending.isEmpty() && int(m_children.size()) < jobs) {
        const QString port = m_pending.takeFirst();
        QList<Unit*> mine;
        for (Unit& u : units) {
            if (u.target.port == port)
                mine << &u;
        }
        start(port, mine);
    }
    if (m_children.empty())
        m_loop.quit();
}

void ProgramRun::start(const QString& port, const QList<Unit*>& mine)
{
    Child& c = m_children.emplace_back();
    c.port = port;
    c.units = mine;
    // Each child prepares "macro.tmp" in a directory of its own.
    c.dir = std::make_unique<QTemporaryDir>();
    for (const QString& name : std::as_const(copies))
        QFile::copy(QDir(workingDir).filePath(name), c.dir->filePath(QFileInfo(name).fileName()));
    QStringList nodes;
    for (Unit* u : mine)
        nodes << (u->target.node.isEmpty() ? QStringLiteral("-") : u->target.node);
    QStringList args;
    if (!m_ctx.shared.settingsPath.isEmpty())
        args << QStringLiteral("--settings") << m_ctx.shared.settingsPath;
    if (m_ctx.shared.baud > 0)
        args << QStringLiteral("--baud") << QString::number(m_ctx.shared.baud);
    // Each port's traffic: traced on stderr with the port in front, logged in a file
    // of its own beside the one given.
    if (m_ctx.trace)
        args << QStringLiteral("--trace");
    if (!m_ctx.logPath.isEmpty())
        args << QStringLiteral("--log")
             << m_ctx.logPath + QLatin1Char('.') + QFileInfo(port).fileName()
             << QStringLiteral("--log-size") << QString::number(m_ctx.logMaxBytes);
    args << QStringLiteral("--timeout") << QString::number(m_ctx.timeoutMs)
         << QStringLiteral("--dir") << c.dir->path() << QStringLiteral("--port") << port
         << QStringLiteral("program") << QFileInfo(m_file).fileName() << QStringLiteral("--child")
         << nodes.join(QLatin1Char(','));
    args << m_childArgs;
    c.process = std::make_unique<QProcess>();
    QProcess* p = c.process.get();
    QObject::connect(p, &QProcess::readyReadStandardOutput, [this, &c] { readEvents(c); });
    QObject::connect(p, &QProcess::readyReadStandardError, [this, &c] {
        c.err += c.process->readAllStandardError();
        qsizetype end;
        while ((end = c.err.indexOf('\n')) >= 0) {
            message(c.port + QStringLiteral(": ") + QString::fromLocal8Bit(c.err.left(end)));
            c.err.remove(0, end + 1);
        }
    });
    QObject::connect(p, &QProcess::finished, [this, &c] { onFinished(c); });
    p->start(QCoreApplication::applicationFilePath(), args);
}

void ProgramRun::readEvents(Child& c)
{
    c.out += c.process->readAllStandardOutput();
    qsizetype end;
    while ((end = c.out.indexOf('\n')) >= 0) {
        const QByteArray line = c.out.left(end);
        c.out.remove(0, end + 1);
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (!event.isEmpty())
            onEvent(c, event);
    }
}

void ProgramRun::onEvent(Child& c, const QJsonObject& event)
{
    // The child names the settings' node "" (it was given "-").
    const QString node = event.value(QLatin1String("node")).toString();
    Unit* unit = nullptr;
    for (Unit* u : std::as_const(c.units)) {
        if (u->target.node == node)
            unit = u;
    }
    if (!unit)
        return;
    if (event.value(QLatin1String("event")).toString() == QLatin1String("start")) {
        c.current = unit;
        ++unit->attempts;
        unit->last = UnitRecord();
        unit->last.started = QDateTime::currentDateTime();
        unit->clock.start();
        unit->phase = QStringLiteral("starting");
        unit->percent = 0;
        phase(*unit);
    } else if (event.contains(QLatin1String("result"))) {
        const QJsonValue bytes = event.value(QLatin1String("bytes"));
        finish(*unit, event.value(QLatin1String("result")).toString(),
            bytes.isDouble() ? std::optional<qint64>(bytes.toInteger()) : std::nullopt,
            event.value(QLatin1String("verification")).toString());
        c.reported << unit;
        c.current = nullptr;
    } else {
        const QString label = event.value(QLatin1String("phase")).toString();
        const int percent = event.value(QLatin1String("percent")).toInt();
        const bool changed = label != unit->phase;
        unit->phase = label;
        unit->percent = percent;
        if (changed || m_inPlace)
            phase(*unit);
    }
}

void ProgramRun::finish(
    Unit& unit, const QString& result, std::optional<qint64> bytes, const QString& verification)
{
    UnitRecord& r = unit.last;
    r.ended = QDateTime::currentDateTime();
    if (!r.started.isValid())
        r.started = r.ended;
    r.port = unit.target.port;
    r.node = unit.target.node;
    r.attempt = unit.attempts;
    r.file = m_file;
    r.crc = crc;
    r.result = result;
    r.bytes = bytes;
    r.verification = verification.isEmpty() ? QStringLiteral("none") : verification;
    identifyPort(r.port, r.stableName, r.serialNumber);
    writeRecord(r);
    unit.phase = result;
    unit.percent = r.ok() ? 100 : unit.percent;
    phase(unit);
}

void ProgramRun::onFinished(Child& c)
{
    readEvents(c);
    // Units the child started or was given but never reported on.
    const QString why = c.process->exitStatus() == QProcess::NormalExit
        ? QStringLiteral("failed: the child process ended with status %1 before the unit's end")
              .arg(c.process->exitCode())
        : QStringLiteral("failed: the child process ended abnormally");
    if (c.current) {
        finish(*c.current, m_cancelled ? QStringLiteral("cancelled") : why, std::nullopt);
        c.reported << c.current;
    }
    QList<Unit*> again;
    for (Unit* u : std::as_const(c.units)) {
        if (m_cancelled)
            continue;
        if (!c.reported.contains(u)) {
            ++u->attempts;
            u->last = UnitRecord();
            finish(*u, why, std::nullopt);
        }
        if (!u->last.ok() && u->attempts <= retries)
            again << u;
    }
    const QString port = c.port;
    c.process->disconnect();
    c.process.release()->deleteLater();
    m_children.remove_if([&c](const Child& x) { return &x == &c; });
    if (!again.isEmpty() && !m_cancelled)
        start(port, again);
    startNext();
}

void ProgramRun::cancel()
{
    m_cancelled = true;
    m_pending.clear();
    message(QStringLiteral("cancelling every running unit; each controller is left marked "
                           "incomplete"));
#ifdef Q_OS_WIN
    // The children share this console: its Ctrl-C has reached each of them already.
#else
    for (Child& c : m_children) {
        if (c.process->state() != QProcess::NotRunning)
            ::kill(pid_t(c.process->processId()), SIGINT);
    }
#endif
}

void ProgramRun::message(const QString& text)
{
    if (m_inPlace && m_drawn > 0)
        std::fprintf(stderr, "\x1b[%dA\x1b[J", m_drawn);
    m_drawn = 0;
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (m_inPlace)
        draw();
    std::fflush(stderr);
}

void ProgramRun::phase(Unit& unit)
{
    if (m_inPlace) {
        draw();
        return;
    }
    std::fprintf(stderr, "%s: %s\n",
        qPrintable(unit.target.node.isEmpty() ? unit.target.port
                                              : unit.target.port + '@' + unit.target.node),
        qPrintable(unit.phase));
    std::fflush(stderr);
}

void ProgramRun::draw()
{
    if (m_drawn > 0)
        std::fprintf(stderr, "\x1b[%dA", m_drawn);
    m_drawn = 0;
    for (const Unit& u : units) {
        const QString target
            = u.target.node.isEmpty() ? u.target.port : u.target.port + '@' + u.target.node;
        QString eta;
        if (u.percent > 0 && u.percent < 100 && u.clock.isValid())
            eta = QStringLiteral(" ETA %1 s")
                      .arg(u.clock.elapsed() * (100 - u.percent) / u.percent / 1000);
        std::fprintf(stderr, "\x1b[2K%-24s %-28s %3d%%%s\n", qPrintable(target),
            qPrintable(u.phase.left(60)), u.percent, qPrintable(eta));
        ++m_drawn;
    }
    std::fflush(stderr);
}

void ProgramRun::writeRecord(const UnitRecord& r)
{
    if (recordPath.isEmpty() || m_recordFailed)
        return;
    QFile f(recordPath);
    QByteArray row = jsonl ? r.jsonLine() : r.csvRow();
    if (f.open(QIODevice::Append)) {
        if (!jsonl && f.size() == 0)
            row.prepend(UnitRecord::csvHeader());
        if (f.write(row) == row.size() && f.flush())
            return;
    }
    m_recordFailed = true;
    message(QStringLiteral("zaziruv-cli: the record %1 could not be written: %2; the run goes on "
                           "without it")
                .arg(QDir::toNativeSeparators(recordPath), f.errorString()));
}

// The targets of a --targets file: one a line, blank lines and "#" comments skipped.
bool readTargetList(const QString& path, QStringList& into)
{
    QString why;
    const auto bytes = readRegularFile(path, 1024 * 1024, &why);
    if (!bytes) {
        CliContext::error(QStringLiteral("program: %1 could not be read: %2").arg(path, why));
        return false;
    }
    for (const QByteArray& line : bytes->split('\n')) {
        const QString t = QString::fromLocal8Bit(line).trimmed();
        if (!t.isEmpty() && !t.startsWith(QLatin1Char('#')))
            into << t;
    }
    return true;
}

} // namespace

int runProgram(CliContext& ctx, QStringList& args)
{
    const QString command = QStringLiteral("program");
    ProgramOptions o;
    if (!takeDownloadOptions(command, args, o.link))
        return 2;
    o.readBack = takeFlag(args, QStringLiteral("--verify-readback"));
    o.reset = takeFlag(args, QStringLiteral("--reset"));
    QString value;
    bool present = false;
    if (!takeOption(args, QStringLiteral("--child"), value, present))
        return 2;
    if (present) {
        if (args.size() != 1) {
            CliContext::error(QStringLiteral("program --child needs one file"));
            return 2;
        }
        QStringList nodes = value.split(QLatin1Char(','));
        for (QString& n : nodes) {
            if (n == QLatin1String("-"))
                n.clear();
        }
        return runChild(ctx, args.first(), nodes, o);
    }
    // The options the children take as they are.
    QStringList childArgs;
    if (o.link.delay)
        childArgs << QStringLiteral("--delay") << QString::number(*o.link.delay);
    if (o.link.verify)
        childArgs << (*o.link.verify ? QStringLiteral("--verify") : QStringLiteral("--no-verify"));
    if (o.link.memorySize)
        childArgs << QStringLiteral("--memory-size") << QString::number(*o.link.memorySize);
    if (o.readBack)
        childArgs << QStringLiteral("--verify-readback");
    if (o.reset)
        childArgs << QStringLiteral("--reset");
    const bool json = takeJson(args);

    QStringList targets;
    while (takeOption(args, QStringLiteral("--target"), value, present) && present)
        targets << value;
    if (!takeOption(args, QStringLiteral("--targets"), value, present))
        return 2;
    if (present && !readTargetList(value, targets))
        return 1;
    const auto number = [&](const QString& option, int low, int& into) {
        if (!takeOption(args, option, value, present))
            return false;
        if (!present)
            return true;
        const auto n = readIntOption(value, low, 1000);
        if (!n)
            CliContext::error(QStringLiteral("program: %1 needs a number from %2 to 1000, not "
                                             "\"%3\"")
                                  .arg(option)
                                  .arg(low)
                                  .arg(value));
        into = n.value_or(into);
        return n.has_value();
    };
    int retries = 0;
    int jobs = INT_MAX;
    QString record;
    QString format = QStringLiteral("csv");
    if (!number(QStringLiteral("--retries"), 0, retries)
        || !number(QStringLiteral("--jobs"), 1, jobs)
        || !takeOption(args, QStringLiteral("--record"), record, present)
        || !takeOption(args, QStringLiteral("--record-format"), format, present))
        return 2;
    if (format != QLatin1String("csv") && format != QLatin1String("jsonl")) {
        CliContext::error(
            QStringLiteral("program: --record-format needs csv or jsonl, not \"%1\"").arg(format));
        return 2;
    }
    if (!noUnknownOption(command, args))
        return 2;
    if (args.size() != 1 || targets.isEmpty()) {
        CliContext::error(QStringLiteral(
            "program needs one file to write and at least one --target PORT[@NODE]"));
        return 2;
    }
    if (ctx.shared.simulate || !ctx.shared.port.isEmpty()) {
        CliContext::error(QStringLiteral("program takes its ports from --target, not from --port "
                                         "or --simulate"));
        return 2;
    }
    const QString file = args.first();
    ProgramRun run(ctx, file, childArgs);
    QStringList seen;
    for (const QString& t : std::as_const(targets)) {
        const auto target = parseTarget(t);
        if (!target) {
            CliContext::error(QStringLiteral("program: \"%1\" is no target: PORT or PORT@NODE "
                                             "with a node from 0 to 99")
                                  .arg(t));
            return 2;
        }
        const QString key = target->port + QLatin1Char('@') + target->node;
        if (seen.contains(key)) {
            CliContext::error(QStringLiteral("program: target \"%1\" is given twice").arg(t));
            return 2;
        }
        seen << key;
        Unit& unit = run.units.emplace_back();
        unit.target = *target;
    }

    // What is written, read once here: its CRC-32 for the record, and the files each
    // child copies.
    run.workingDir = ctx.dir.isEmpty() ? ctx.settings().record.WorkingDir : ctx.dir;
    const QDir dir(run.workingDir);
    QString why;
    const auto bytes = readRegularFile(dir.filePath(file), MemoryImage::MaxFileSize, &why);
    if (!bytes) {
        CliContext::error(QStringLiteral("program: %1 could not be read: %2")
                              .arg(QDir::toNativeSeparators(dir.filePath(file)), why));
        return 1;
    }
    const Kind kind = kindOf(file, *bytes);
    run.copies << file << QStringLiteral("e2prom.dat");
    quint32 crc = MemoryImage::crc32(*bytes);
    if (kind == Kind::Image) {
        const auto image = MemoryImage::read(*bytes, &why);
        if (!image) {
            CliContext::error(QStringLiteral("program: %1: %2").arg(file, why));
            return 1;
        }
        crc = MemoryImage::crc32(image->bytes);
    } else if (kind == Kind::Combination) {
        if (o.readBack) {
            CliContext::error(QStringLiteral("program: --verify-readback is for images and "
                                             "command files; a combination's download compares "
                                             "checksums (--verify)"));
            return 2;
        }
        // The combination and every file it lists, in its order.
        const ComboFile::Contents c = ComboFile::read(*bytes, file);
        const QStringList names = dir.entryList(QDir::Files);
        for (const QString& listed : c.files) {
            for (const QString& name : names) {
                if (name.compare(listed, Qt::CaseInsensitive) == 0
                    || name == ComboFile::utf8Reading(listed)) {
                    run.copies << name;
                    crc = MemoryImage::crc32(
                        readRegularFile(dir.filePath(name), 1 << 24, &why).value_or(QByteArray()),
                        crc);
                }
            }
        }
    }
    run.crc = crc;
    run.json = json;
    run.recordPath = record.isEmpty() ? QString() : QDir(run.workingDir).absoluteFilePath(record);
    run.jsonl = format == QLatin1String("jsonl");
    run.retries = retries;
    run.jobs = jobs;
    return run.run();
}
