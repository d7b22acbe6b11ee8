#include "configuration.h"

#include "config/portprobe.h"
#include "core/numbers.h"
#include "core/operation.h"
#include "core/prompter.h"
#include "core/ticktimer.h"
#include "link/portscanner.h"
#include "link/seriallink.h"
#include "link/trafficrecorder.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>

const QString ConfigurationCore::OneControllerText
    = QStringLiteral("Please be sure only one Motion controller is connected");

namespace {

// Runs the tick timer for a scope. A timer that was already running (the download
// window's) keeps running afterwards.
class TickRun
{
public:
    TickRun()
        : m_started(!TickTimer::instance().isRunning())
    {
        if (m_started)
            TickTimer::instance().start();
    }
    ~TickRun()
    {
        if (m_started)
            TickTimer::instance().stop();
    }
    TickRun(const TickRun&) = delete;
    TickRun& operator=(const TickRun&) = delete;

private:
    bool m_started;
};

// Sets a flag for a scope.
class BusyScope
{
public:
    explicit BusyScope(bool& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
};

QString flagText(int checkBox)
{
    return checkBox == 1 ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

ConfigurationCore::ConfigurationCore(TerminalCore& core_, PortProbe& probe_, QObject* parent)
    : QObject(parent)
    , core(core_)
    , probe(probe_)
    , settings(core_.settings)
    , cfg(core_.cfg)
    , prompter(core_.prompter)
{
    connect(&m_runner, &OperationRunner::busyChanged, this, &ConfigurationCore::changed);
    markOperations(m_runner, core_.link().traffic());
    core_.holdPortWhileBusy(m_runner);
}

qint32 ConfigurationCore::txDelayFromText(const QString& text)
{
    // Plain decimal text only ("2.5", " 3 "); anything else counts as below 1.
    bool ok = false;
    double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || std::isnan(value) || value < 1)
        return 1;
    constexpr double Largest = std::numeric_limits<qint32>::max();
    if (value > Largest)
        value = Largest;
    return static_cast<qint32>(roundHalfEven(value));
}

void ConfigurationCore::applyConfiguration()
{
    SettingsRecord& r = settings.record;
    r.ComPort = cfg.comPort;
    r.BaudRate = cfg.baudRate;
    r.DecodeStatus = flagText(cfg.ChkStatus);
    r.DecimalValues = flagText(cfg.ChkDecimal);
    r.CheckSum = flagText(cfg.CheckSumChk);
    r.Protocol = cfg.ChkRS232 == 1 ? 232 : 485;
    r.TxDelay = txDelayFromText(cfg.TXdelay);
    settings.WriteSettings();
    r.WorkingDir = cfg.chosenDir;
    settings.WriteWorkingDir();

    // The port mapping: written only where it changed, so that a probe step (which
    // saves every time) does not rewrite it eight times over.
    for (int n = 1; n <= 8; ++n) {
        const QString wanted = cfg.comDevice[size_t(n)].trimmed();
        const QString effective = wanted.isEmpty() ? SerialLink::defaultDevice(n) : wanted;
        if (effective != settings.comDevice(n))
            settings.writeComDevice(n, wanted);
        cfg.comDevice[size_t(n)] = wanted;
    }
}

void ConfigurationCore::saveAndExit()
{
    if (m_busy)
        return;
    applyConfiguration();
    core.link().traffic().marker(
        QStringLiteral("settings changed: COM%1, %2 baud").arg(cfg.comPort).arg(cfg.baudRate));
    core.openPort();
    Q_EMIT hideRequested();
    core.setWindowEnabled(true);
    core.setFileName({});
    core.showFiles(core.workingDir(), QStringLiteral("*.Cmd"));
}

void ConfigurationCore::statusDescriptionChanged()
{
    core.setStatusFrame(cfg.ChkStatus == 1);
}

bool ConfigurationCore::readableDir(const QString& path) const
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable())
        return false;
#ifdef Q_OS_UNIX
    // Listing needs the search permission too.
    if (!info.isExecutable())
        return false;
#endif
    return true;
}

bool ConfigurationCore::directoryChosen(const QString& path)
{
    if (!readableDir(path)) {
        prompter.message(
            QStringLiteral("The directory \"%1\" cannot be read. The working directory "
                           "stays \"%2\".")
                .arg(QDir::toNativeSeparators(path), cfg.chosenDir),
            PromptIcon::Exclamation);
        changed();
        return false;
    }
    cfg.chosenDir = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    core.setWorkingDir(cfg.chosenDir);
    cfg.chosenDrive = Settings::driveOf(cfg.chosenDir);
    changed();
    return true;
}

bool ConfigurationCore::driveChosen(const QString& drive)
{
    QString root = drive;
#ifdef Q_OS_WIN
    // "C:" alone means the current directory of that drive; the list means its root.
    if (root.size() == 2 && root.at(1) == QLatin1Char(':'))
        root += QLatin1Char('\\');
#endif
    if (!readableDir(root)) {
        prompter.message(QStringLiteral("The drive \"%1\" cannot be read. The working directory "
                                        "stays \"%2\".")
                             .arg(drive, cfg.chosenDir),
            PromptIcon::Exclamation);
        changed();
        return false;
    }
    return directoryChosen(root);
}

bool ConfigurationCore::autoConfigure()
{
    if (m_busy)
        return false;
    {
        BusyScope busyScope(m_busy);
        prompter.message(OneControllerText, PromptIcon::Information);
        core.answers().setCaptureMode(true);
        cfg.CheckSumChk = 0;
        changed();
        for (int port = 1; port <= 8; ++port) {
            cfg.comPort = port;
            changed();
            probeBauds();
            if (probe.probeSuccess())
                break;
        }
        core.answers().setCaptureMode(false);
        // What the probes caught is no answer of the main window's.
        core.answers().clearTexts();
        core.clearReception();
    }
    changed(); // no longer busy: the buttons work again
    return probe.probeSuccess();
}

void ConfigurationCore::probeBauds()
{
    for (const int baud : Bauds) {
        cfg.baudRate = baud;
        changed();
        probe.setProbeSuccess(false);
        applyConfiguration();
        core.openPort();
        if (!core.portReady())
            return;
        {
            TickRun ticking;
            probe.probeOnce();
        }
        // A port gone is not configured, whatever came back before the loss; the next
        // opening tells whether it is back.
        if (!core.link().isOpen())
            prompter.message(ProbeLostText.arg(cfg.comPort).arg(core.link().statusText()),
                PromptIcon::Exclamation);
        if (probe.probeSuccess())
            return;
    }
}

namespace {

// DEBUG: the diagnostic queries and their answers into "TYXLOG.CMD". Nothing to
// cancel: the queries take well under a second and write nothing to the controller.
class DiagnosticLog final : public Operation
{
public:
    DiagnosticLog(PortProbe& probe, const SerialLink& link)
        : m_probe(probe)
        , m_link(link)
    {
    }
    QString label() const override { return QStringLiteral("Writing TYXLOG"); }
    Outcome run() override
    {
        TickRun ticking;
        if (m_probe.writeDiagnosticLog())
            return Outcome::Completed;
        // The probe has said why.
        return m_link.isOpen() ? Outcome::Failed : Outcome::PortLost;
    }

private:
    PortProbe& m_probe;
    const SerialLink& m_link;
};

} // namespace

bool ConfigurationCore::writeDiagnosticLog()
{
    if (m_busy)
        return false;
    bool written = false;
    {
        const BusyScope busyScope(m_busy);
        DiagnosticLog log(probe, core.link());
        written = m_runner.run(log) == Outcome::Completed;
    }
    changed(); // no longer busy: the buttons work again
    return written;
}

void ConfigurationCore::windowClosed()
{
    core.setWindowEnabled(true);
}

QStringList ConfigurationCore::drives()
{
    QStringList out;
    const QFileInfoList roots = QDir::drives();
    for (const QFileInfo& root : roots) {
        QString path = QDir::toNativeSeparators(root.absolutePath());
#ifdef Q_OS_WIN
        if (path.endsWith(QLatin1Char('\\')))
            path.chop(1); // "C:", as the list shows drives
#endif
        if (!out.contains(path))
            out.append(path);
    }
    if (out.isEmpty())
        out.append(QDir::toNativeSeparators(QDir::rootPath()));
    return out;
}

QStringList ConfigurationCore::subdirectories(const QString& path)
{
    QDir dir(path);
    return dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

QList<PortEntry> ConfigurationCore::serialPorts() const
{
    // The configured devices too: a pseudo-terminal or a network port is in no list
    // of the system's.
    QStringList named;
    for (int n = 1; n <= 8; ++n) {
        if (!cfg.comDevice[size_t(n)].isEmpty())
            named << cfg.comDevice[size_t(n)];
    }
    return PortScanner().scan(named);
}
