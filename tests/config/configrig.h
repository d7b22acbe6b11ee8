#pragma once

// The configuration window's logic over a private settings store, with COM1..COM8
// mapped as the test says: a device path, or "sim:" and simulator options for a
// simulated controller in this process (port 0: made, but mapped to no COM port).
// The rig logs every opening of the port and every write. A simulator's device is
// the rig's own name for its pseudo-terminal (`devices`), gone when it hangs up: the
// system may give the pseudo-terminal's number to another program's at once.
//
// The probe and the diagnostic log give each answer seven ticks of a 1 ms timer. On a
// busy machine the pseudo-terminal may not have carried the answer by then, so the rig
// holds the tick count at 0 until every far end it knows (`farEnds`) has taken what
// was written to it and the host has read what it sent back: the test waits for that
// event, not for a time. 10 s cap: a safety net, not a measure of speed.

#include "../common/corerig.h"
#include "../common/simargs.h"
#include "../settings/storedvalues.h"

#include "config/configuration.h"
#include "config/portprobe.h"
#include "core/ticktimer.h"
#include "link/framing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <functional>

// "ComPort BaudRate CheckSum" as stored.
inline QString storedPortOf(const QString& storePath)
{
    const QJsonObject v = storedValues(storePath);
    return QStringLiteral("%1 %2 %3")
        .arg(v["ComPort"].toInt())
        .arg(v["BaudRate"].toInt())
        .arg(v["CheckSum"].toString());
}

class ConfigRig : public CoreRig
{
public:
    explicit ConfigRig(std::initializer_list<std::pair<int, QString>> ports = {}, int comPort = 2,
        const QJsonObject& extra = {})
        : storePath(dir.filePath(QStringLiteral("settings.json")))
        , workDir(dir.filePath(QStringLiteral("work")))
    {
        for (const auto& [n, device] : ports)
            devices[size_t(n)] = device.startsWith(QLatin1String("sim:"))
                ? addSim(size_t(n), device.mid(4))
                : device;
        QDir().mkpath(workDir);
        writeFile(storePath, storeText(devices, comPort, workDir, extra));
        watchLink();
        core->load();
        opens.clear();
        writes.clear();
    }
    // The port goes before the simulators behind it.
    ~ConfigRig() { core.reset(); }

    QJsonObject stored() const { return storedValues(storePath); }
    // Nothing of a probe or a log is left behind: no capture, nothing that arrived
    // taken for the next command's answer, the window usable again.
    bool idle() const
    {
        return !core->answers().captureMode() && !core->answers().collecting()
            && core->responseBuffer().isEmpty() && core->receiveAccumulator().isEmpty()
            && !config.busy() && config.enabled();
    }
    QString logPath() const { return QDir(core->workingDir()).filePath("TYXLOG.CMD"); }

    QString storePath;
    QString workDir;
    PortProbe probe { *core, prompter };
    ConfigurationCore config { *core, probe };
    std::array<std::unique_ptr<PtySimulator>, 9> sims;
    std::array<QString, 9> devices {};
    // Openings ("open|fail device@baud") and writes ("device@baud bytes").
    QStringList opens;
    QStringList writes;
    // By device: whether the far end is done, given the bytes written to it and read
    // from it so far.
    QHash<QString, std::function<bool(qint64, qint64)>> farEnds;
    // Called with every write, for a test that plays the far end.
    std::function<void(const QByteArray&)> onWrite;

private:
    QString addSim(size_t n, const QString& args)
    {
        sims[n] = std::make_unique<PtySimulator>(simOptions(args));
        PtySimulator* sim = sims[n].get();
        if (!sim->start())
            qFatal("simulator: %s", qPrintable(sim->errorString()));
        const QString path = dir.filePath(QStringLiteral("com%1").arg(n));
        if (!QFile::link(sim->slavePath(), path))
            qFatal("cannot link %s", qPrintable(path));
        QObject::connect(sim, &PtySimulator::hungUp, [path] { QFile::remove(path); });
        farEnds[path] = [this, sim, path](qint64 written, qint64 read) {
            if (sim->hasHungUp())
                return !core->link().isOpen() || core->link().device() != path;
            return sim->bytesReceived() >= written && sim->bytesSent() <= read
                && sim->controller().nextOutputMs() < 0 && !sim->controller().hungUp();
        };
        return path;
    }

    void watchLink()
    {
        SerialLink& link = core->link();
        QObject::connect(&link, &SerialLink::stateChanged, [this, &link] {
            const QString reason = link.failureReason();
            if (link.isOpen() || (reason != "closed" && reason != "device lost"))
                opens << QStringLiteral("%1 %2@%3")
                             .arg(link.isOpen() ? "open" : "fail", link.device())
                             .arg(link.baud());
        });
        link.setTracer([this, &link](SerialLink::Direction d, const QByteArray& bytes) {
            (d == SerialLink::Direction::Write ? m_written : m_read)[link.device()] += bytes.size();
            if (d != SerialLink::Direction::Write)
                return;
            writes << QStringLiteral("%1@%2 %3")
                          .arg(link.device())
                          .arg(link.baud())
                          .arg(fromWire(bytes));
            if (onWrite)
                onWrite(bytes);
        });
        QObject::connect(&TickTimer::instance(), &TickTimer::ticked, core.get(), [this] {
            for (auto it = farEnds.cbegin(); it != farEnds.cend(); ++it) {
                if (!it.value()(m_written.value(it.key()), m_read.value(it.key()))) {
                    if (!m_held.isValid())
                        m_held.start();
                    if (m_held.elapsed() < 10000)
                        TickTimer::instance().setTicks(0);
                    return;
                }
            }
            m_held.invalidate();
        });
    }

    QHash<QString, qint64> m_written;
    QHash<QString, qint64> m_read;
    QElapsedTimer m_held;
};
