// Auto Configure, the port test, the diagnostic log and the directory choice of the
// configuration window, against the simulated controller, silent and echoing peers,
// and devices that are not there; and zaziruv-cli autoconfigure and debuglog.

#include "configrig.h"

#include "../common/processrun.h"
#include "../common/ptypair.h"
#include "link/framing.h"

#include <QSocketNotifier>
#include <QTest>

#include <unistd.h>

namespace {

const QStringList Queries = { "0 ST", "0 ST", "0 SR", "0 POR", "0 I", "0 DER", "0 EEBOOT" };

// A peer on a pseudo-terminal that echoes what it gets, answers every line with a
// fixed text, or both.
class Peer : public QObject
{
public:
    Peer(bool echo, QByteArray reply)
        : m_echo(echo)
        , m_reply(std::move(reply))
    {
        if (!openRawPty(m_master, m_slave, m_path))
            return;
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { onReadable(); });
    }
    ~Peer() override
    {
        delete m_notifier;
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }

    QString path() const { return m_path; }
    QByteArray received;

private:
    void onReadable()
    {
        char buf[512];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            const QByteArray bytes(buf, n);
            received += bytes;
            if (m_echo)
                send(bytes);
            for (const char c : bytes) {
                if (c != '\r') {
                    m_line += c;
                    continue;
                }
                if (!m_line.isEmpty() && !m_reply.isEmpty())
                    send(m_reply);
                m_line.clear();
            }
        }
    }
    void send(const QByteArray& bytes)
    {
        if (::write(m_master, bytes.constData(), size_t(bytes.size())) < 0)
            received += "<write failed>";
    }

    bool m_echo;
    QByteArray m_reply;
    QByteArray m_line;
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QSocketNotifier* m_notifier = nullptr;
};

std::array<QString, 9> mapping(std::initializer_list<std::pair<int, QString>> ports)
{
    std::array<QString, 9> devices {};
    for (const auto& [n, device] : ports)
        devices[size_t(n)] = device;
    return devices;
}

// Every opening of the port (device@baud, and whether it opened) and every write.
struct LinkLog
{
    explicit LinkLog(TerminalCore& core)
    {
        QObject::connect(&core.link, &SerialLink::stateChanged, [this, &core] {
            const SerialLink& link = core.link;
            if (link.isOpen())
                opens << QStringLiteral("open %1@%2").arg(link.device()).arg(link.baud());
            else if (link.failureReason() != QLatin1String("closed")
                && link.failureReason() != QLatin1String("device lost"))
                opens << QStringLiteral("fail %1@%2").arg(link.device()).arg(link.baud());
        });
        core.link.setTracer([this, &core](SerialLink::Direction d, const QByteArray& bytes) {
            if (d == SerialLink::Direction::Write)
                writes << QStringLiteral("%1@%2 %3")
                              .arg(core.link.device())
                              .arg(core.link.baud())
                              .arg(fromWire(bytes));
        });
    }
    QStringList opens;
    QStringList writes;
};

QString expectedEmptyLog()
{
    QString log;
    for (const QString& q : Queries)
        log += q + " = ";
    return log;
}

// The log split back into its answers: each query must appear, in order, followed by
// " = ". Returns the answers, or nothing when the layout is wrong.
std::optional<QStringList> answersOf(const QString& log)
{
    QStringList answers;
    qsizetype at = 0;
    for (qsizetype i = 0; i < Queries.size(); ++i) {
        const QString head = Queries[i] + " = ";
        if (log.mid(at, head.size()) != head)
            return std::nullopt;
        at += head.size();
        qsizetype end = log.size();
        if (i + 1 < Queries.size()) {
            end = log.indexOf(Queries[i + 1] + " = ", at);
            if (end < 0)
                return std::nullopt;
        }
        answers << log.mid(at, end - at);
        at = end;
    }
    return answers;
}

ProcessRun runCli(const QStringList& args)
{
    ProcessOptions options;
    options.timeoutMs = 120000;
    return runProcess(appBinary("zaziruv-cli"), args, options);
}

} // namespace

class TestConfiguration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void txDelayFromText_data();
    void txDelayFromText();
    void applyConfigurationStoresMapping();

    void autoConfigureFindsControllerInOrder();
    void autoConfigureNoAnswer_data();
    void autoConfigureNoAnswer();
    void probeAnswer_data();
    void probeAnswer();
    void autoConfigureDeviceVanishes();

    void debugLogSilentPort();
    void debugLogSimulator();
    void debugLogCutAt1000();
    void debugLogPortClosed();
    void debugLogUnwritable_data();
    void debugLogUnwritable();

    void dir1Change();
    void dir1ChangeRefused_data();
    void dir1ChangeRefused();
    void drive1Change();

    void cliAutoconfigure();
    void cliRefuses_data();
    void cliRefuses();
    void cliDebuglogSimulator();
};

void TestConfiguration::txDelayFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");
    QTest::newRow("0.4 is below 1") << "0.4" << 1;
    QTest::newRow("2.5 to even") << "2.5" << 2;
    QTest::newRow("3.5 to even") << "3.5" << 4;
    QTest::newRow("whole") << "7" << 7;
    QTest::newRow("blanks around") << " 12 " << 12;
    QTest::newRow("zero") << "0" << 1;
    QTest::newRow("negative") << "-3" << 1;
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("letters") << "abc" << 1;
    QTest::newRow("number then letters") << "2abc" << 1;
    QTest::newRow("decimal comma") << "2,5" << 1;
    QTest::newRow("beyond 32 bits") << "1e12" << 2147483647;
}

void TestConfiguration::txDelayFromText()
{
    QFETCH(QString, text);
    QFETCH(int, stored);
    QCOMPARE(ConfigurationCore::txDelayFromText(text), stored);
}

void TestConfiguration::applyConfigurationStoresMapping()
{
    ConfigRig rig(mapping({}));
    rig.cfg.comDevice[4] = " /dev/ttyUSB7 ";
    rig.cfg.comDevice[6].clear();
    rig.config->ApplyConfiguration();
    const QJsonObject v = rig.stored();
    QCOMPARE(v["ComDevice4"].toString(), "/dev/ttyUSB7");
    QVERIFY(!v.contains("ComDevice6")); // cleared: the platform default again
    QCOMPARE(v["ComDevice5"].toString(), missingDevice(5));
    QCOMPARE(rig.cfg.comDevice[4], "/dev/ttyUSB7");
}

void TestConfiguration::autoConfigureFindsControllerInOrder()
{
    SimProcess sim({ "--baud", "19200" });
    QVERIFY(sim.isValid());
    ConfigRig rig(mapping({ { 3, sim.path() } }));
    LinkLog log(*rig.core);
    QVERIFY(rig.config->AutoConfigure_Click());

    QCOMPARE(log.opens,
        QStringList({ "fail " + missingDevice(1) + "@9600", "fail " + missingDevice(2) + "@9600",
            "open " + sim.path() + "@9600", "open " + sim.path() + "@19200" }));
    const QString marker = QStringLiteral("\r0 ST\r");
    QCOMPARE(log.writes,
        QStringList({ sim.path() + "@9600 \r", sim.path() + "@9600 " + marker,
            sim.path() + "@19200 \r", sim.path() + "@19200 " + marker }));
    QCOMPARE(rig.prompter.texts(),
        QStringList({ ConfigurationCore::OneControllerText, PortProbe::ProbeSuccessText }));
    QCOMPARE(rig.prompter.shown.at(0).icon, PromptIcon::Information);
    QCOMPARE(rig.prompter.shown.at(1).icon, PromptIcon::Information);

    QCOMPARE(rig.cfg.comPort, 3);
    QCOMPARE(rig.cfg.baudRate, 19200);
    QCOMPARE(rig.cfg.CheckSumChk, 0);
    const QJsonObject v = rig.stored();
    QCOMPARE(v["ComPort"].toInt(), 3);
    QCOMPARE(v["BaudRate"].toInt(), 19200);
    QCOMPARE(v["CheckSum"].toString(), "False");
    QVERIFY(rig.core->link.isOpen());
    QVERIFY(!rig.core->answers.captureMode);
    QVERIFY(!rig.config->busy());
    // What the probe caught must not be taken for the answer to the next command.
    QVERIFY(rig.core->responseBuffer.isEmpty());
    QVERIFY(rig.core->receiveAccumulator.isEmpty());
    QVERIFY(!rig.core->answers.collecting);
}

void TestConfiguration::autoConfigureNoAnswer_data()
{
    QTest::addColumn<bool>("echo");
    QTest::newRow("silent") << false;
    QTest::newRow("loopback") << true;
}

void TestConfiguration::autoConfigureNoAnswer()
{
    QFETCH(bool, echo);
    Peer peer(echo, {});
    ConfigRig rig(mapping({ { 1, peer.path() } }));
    LinkLog log(*rig.core);
    QVERIFY(!rig.config->AutoConfigure_Click());

    QStringList opens;
    for (const int baud : { 9600, 19200, 38400, 57600 })
        opens << QStringLiteral("open %1@%2").arg(peer.path()).arg(baud);
    for (int n = 2; n <= 8; ++n)
        opens << "fail " + missingDevice(n) + "@9600";
    QCOMPARE(log.opens, opens);
    // Nothing is said when no port answers.
    QCOMPARE(rig.prompter.texts(), QStringList({ ConfigurationCore::OneControllerText }));
    QVERIFY(!rig.probe->probeSuccess);
    const QJsonObject v = rig.stored();
    QCOMPARE(v["ComPort"].toInt(), 8);
    QCOMPARE(v["BaudRate"].toInt(), 9600);
    QCOMPARE(v["CheckSum"].toString(), "False");
    QVERIFY(!rig.core->answers.captureMode);
    QVERIFY(!rig.core->link.isOpen());
    if (echo)
        QVERIFY(peer.received.contains("\r0 ST\r"));
}

void TestConfiguration::probeAnswer_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("success");
    QTest::newRow("status answer") << false << QByteArray("0 0100\r\n") << true;
    QTest::newRow("echo and answer") << true << QByteArray("0 0100\r\n") << true;
    QTest::newRow("answer without 00") << false << QByteArray("0 1234\r\n") << false;
    QTest::newRow("line ends only") << false << QByteArray("\r\n") << false;
    QTest::newRow("echo only") << true << QByteArray() << false;
    QTest::newRow("nothing") << false << QByteArray() << false;
}

void TestConfiguration::probeAnswer()
{
    QFETCH(bool, echo);
    QFETCH(QByteArray, reply);
    QFETCH(bool, success);
    Peer peer(echo, reply);
    ConfigRig rig(mapping({ { 2, peer.path() } }));
    QVERIFY(rig.core->link.isOpen());
    rig.core->answers.captureMode = true;
    rig.probe->probeSuccess = !success;
    rig.probe->TX_TEST_CMD();
    QCOMPARE(rig.probe->probeSuccess, success);
    QCOMPARE(rig.prompter.texts().contains(PortProbe::ProbeSuccessText), success);
    QVERIFY(!rig.core->answers.collecting);
}

void TestConfiguration::autoConfigureDeviceVanishes()
{
    // COM1's controller hangs up on the probe's status query before it answers;
    // the search goes on and finds the one on COM2.
    SimProcess vanishing({ "--hangup-after", "1", "--answer-delay-ms", "2000" });
    SimProcess sim({ "--baud", "38400" });
    QVERIFY(vanishing.isValid());
    QVERIFY(sim.isValid());
    ConfigRig rig(mapping({ { 1, vanishing.path() }, { 2, sim.path() } }));
    LinkLog log(*rig.core);
    QVERIFY(rig.config->AutoConfigure_Click());
    // Gone after the probe at 9600: the other speeds of COM1 are not tried.
    QCOMPARE(log.opens.mid(0, 2),
        QStringList(
            { "open " + vanishing.path() + "@9600", "fail " + vanishing.path() + "@19200" }));
    QCOMPARE(rig.cfg.comPort, 2);
    QCOMPARE(rig.cfg.baudRate, 38400);
}

void TestConfiguration::debugLogSilentPort()
{
    PtyPair pair;
    QVERIFY(pair.isValid());
    ConfigRig rig(mapping({ { 2, pair.slavePath() } }));
    QVERIFY(rig.core->link.isOpen());
    // A longer log from an earlier run is replaced whole, not overwritten in part.
    const QString path = QDir(rig.workDir).filePath("TYXLOG.CMD");
    QVERIFY(writeFile(path, QByteArray(3000, 'Z')));
    QVERIFY(rig.config->Debug_Click());

    // On the wire: CR, then each query with its CR and a lone CR.
    QByteArray wire = "\r";
    for (const QString& q : Queries)
        wire += q.toLatin1() + "\r\r";
    QCOMPARE(pair.readAll(), wire);

    const QByteArray file = readFile(path);
    QCOMPARE(file.size(), 1000);
    QCOMPARE(file, expectedEmptyLog().toLatin1().leftJustified(1000, ' '));
    QCOMPARE(rig.core->selectedCommandFile, path);
    QCOMPARE(rig.prompter.texts(), QStringList({ PortProbe::DebugSuccessText }));
    QCOMPARE(rig.prompter.shown.last().icon, PromptIcon::Information);
    QVERIFY(!rig.core->answers.captureMode);
    QVERIFY(rig.config->enabled);

    // Listed among the command files once the list is refreshed.
    rig.core->filelistPath = rig.core->currentWorkingDir;
    rig.core->refreshFilelist();
    QVERIFY(rig.core->Filelist.contains("TYXLOG.CMD"));
}

void TestConfiguration::debugLogSimulator()
{
    SimProcess sim;
    QVERIFY(sim.isValid());
    ConfigRig rig(mapping({ { 2, sim.path() } }));
    QVERIFY(rig.config->Debug_Click());
    const QByteArray file = readFile(QDir(rig.workDir).filePath("TYXLOG.CMD"));
    QCOMPARE(file.size(), 1000);
    const QString log = rig.probe->debugLogText;
    QCOMPARE(file, PortProbe::debugRecord(log));
    const auto answers = answersOf(log);
    QVERIFY2(answers, qPrintable(log));
    QCOMPARE(answers->size(), 7);
    for (const QString& a : *answers) {
        QVERIFY2(a.endsWith("\r\n"), qPrintable(a));
        QVERIFY2(a.startsWith("0 "), qPrintable(a));
    }
    QCOMPARE(answers->at(0), "0 0100\r\n");
    QVERIFY(file.endsWith(' '));
}

void TestConfiguration::debugLogCutAt1000()
{
    const QByteArray longAnswer = QByteArray(300, 'A') + "\r\n";
    Peer peer(false, longAnswer);
    ConfigRig rig(mapping({ { 2, peer.path() } }));
    QVERIFY(rig.config->Debug_Click());
    const QString log = rig.probe->debugLogText;
    QVERIFY(log.size() > 1000);
    QCOMPARE(readFile(QDir(rig.workDir).filePath("TYXLOG.CMD")), log.left(1000).toLatin1());
}

void TestConfiguration::debugLogPortClosed()
{
    ConfigRig rig(mapping({}));
    QVERIFY(!rig.core->link.isOpen());
    QVERIFY(!rig.config->Debug_Click());
    QVERIFY(!QFile::exists(QDir(rig.workDir).filePath("TYXLOG.CMD")));
    QCOMPARE(rig.prompter.texts(), QStringList({ PortProbe::DebugPortClosedText }));
    QVERIFY(rig.config->enabled);
    QVERIFY(!rig.config->busy());
}

void TestConfiguration::debugLogUnwritable_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("directory gone") << "gone";
    QTest::newRow("log name taken by a directory") << "taken";
}

void TestConfiguration::debugLogUnwritable()
{
    QFETCH(QString, how);
    PtyPair pair;
    ConfigRig rig(mapping({ { 2, pair.slavePath() } }));
    QString target;
    if (how == "gone") {
        rig.core->currentWorkingDir = rig.dir.filePath("gone");
        target = rig.dir.filePath("gone/TYXLOG.CMD");
    } else {
        target = QDir(rig.workDir).filePath("TYXLOG.CMD");
        QVERIFY(QDir().mkpath(target));
    }
    const QString before = rig.core->selectedCommandFile;
    QVERIFY(!rig.config->Debug_Click());
    QCOMPARE(rig.prompter.shown.size(), 1);
    QVERIFY2(rig.prompter.shown[0].text.contains("could not be written"),
        qPrintable(rig.prompter.shown[0].text));
    QCOMPARE(rig.prompter.shown[0].icon, PromptIcon::Exclamation);
    QVERIFY(!QFileInfo(target).isFile());
    QCOMPARE(rig.core->selectedCommandFile, before);
    QVERIFY(!rig.core->answers.captureMode);
    QVERIFY(rig.config->enabled);
}

void TestConfiguration::dir1Change()
{
    ConfigRig rig(mapping({}));
    const QString sub = QDir(rig.workDir).filePath("sub");
    QVERIFY(QDir().mkpath(sub));
    QVERIFY(rig.config->Dir1_Change(sub));
    QCOMPARE(rig.cfg.Dir1, sub);
    QCOMPARE(rig.core->currentWorkingDir, sub);
    QCOMPARE(rig.cfg.Drive1, "/");
    // The store changes only on Save and Exit.
    QCOMPARE(rig.stored()["WorkingDir"].toString(), rig.workDir);
    QVERIFY(rig.prompter.shown.isEmpty());
}

void TestConfiguration::dir1ChangeRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "missing";
    QTest::newRow("a file") << "file.txt";
    QTest::newRow("empty") << "";
}

void TestConfiguration::dir1ChangeRefused()
{
    QFETCH(QString, name);
    ConfigRig rig(mapping({}));
    QVERIFY(writeFile(QDir(rig.workDir).filePath("file.txt"), "x"));
    const QString path = name.isEmpty() ? QString() : QDir(rig.workDir).filePath(name);
    const QString dirBefore = rig.cfg.Dir1;
    const QString cwdBefore = rig.core->currentWorkingDir;
    QVERIFY(!rig.config->Dir1_Change(path));
    QCOMPARE(rig.cfg.Dir1, dirBefore);
    QCOMPARE(rig.core->currentWorkingDir, cwdBefore);
    QCOMPARE(rig.prompter.shown.size(), 1);
    QCOMPARE(rig.prompter.shown[0].icon, PromptIcon::Exclamation);
    QVERIFY(rig.prompter.shown[0].text.contains("cannot be read"));
}

void TestConfiguration::drive1Change()
{
    ConfigRig rig(mapping({}));
    QVERIFY(ConfigurationCore::drives().contains("/"));
    QVERIFY(!rig.config->Drive1_Change("/nonexistent-root"));
    QCOMPARE(rig.cfg.Dir1, rig.workDir);
    QVERIFY(rig.config->Drive1_Change("/"));
    QCOMPARE(rig.cfg.Dir1, "/");
    QCOMPARE(rig.core->currentWorkingDir, "/");
}

void TestConfiguration::cliAutoconfigure()
{
    SimProcess sim({ "--baud", "19200" });
    QVERIFY(sim.isValid());
    QTemporaryDir dir;
    const QString store = dir.filePath("s.json");
    QVERIFY(writeFile(store, storeText(mapping({ { 3, sim.path() } }), 2, dir.path())));
    const ProcessRun r = runCli({ "--settings", store, "autoconfigure" });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.outText(), "ComPort=3\nBaudRate=19200\n");
    QVERIFY(r.errText().contains(ConfigurationCore::OneControllerText));
    QVERIFY(r.errText().contains(PortProbe::ProbeSuccessText));
    const QJsonObject v = storedValues(store);
    QCOMPARE(v["ComPort"].toInt(), 3);
    QCOMPARE(v["BaudRate"].toInt(), 19200);
    QCOMPARE(v["CheckSum"].toString(), "False");
}

void TestConfiguration::cliRefuses_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("storeKept"); // a search that finds nothing saves its last port
    QTest::newRow("autoconfigure, nothing answers")
        << QStringList { "autoconfigure" } << 1 << "no controller answered" << false;
    QTest::newRow("autoconfigure with --port")
        << QStringList { "--port", "/nonexistent/ttyQ", "autoconfigure" } << 2 << "--port" << true;
    QTest::newRow("debuglog, port closed") << QStringList { "debuglog" } << 1 << "not open" << true;
}

void TestConfiguration::cliRefuses()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(bool, storeKept);
    QTemporaryDir dir;
    const QString store = dir.filePath("s.json");
    QVERIFY(writeFile(store, storeText(mapping({}), 2, dir.path())));
    const QByteArray before = readFile(store);
    const ProcessRun r = runCli(QStringList { "--settings", store } + args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY(r.outText().isEmpty());
    QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
    if (storeKept)
        QCOMPARE(readFile(store), before);
    QVERIFY(!QFile::exists(QDir(dir.path()).filePath("TYXLOG.CMD")));
}

void TestConfiguration::cliDebuglogSimulator()
{
    SimProcess sim;
    QVERIFY(sim.isValid());
    QTemporaryDir dir;
    const QString store = dir.filePath("s.json");
    // The stored COM2 is not there: --port picks the device, --dir the log's place.
    QVERIFY(writeFile(store, storeText(mapping({}), 2, dir.path())));
    const QString out = dir.filePath("logs");
    QVERIFY(QDir().mkpath(out));
    const ProcessRun r
        = runCli({ "--settings", store, "--port", sim.path(), "--dir", out, "debuglog" });
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.errText().contains(PortProbe::DebugSuccessText));
    const QByteArray file = readFile(QDir(out).filePath("TYXLOG.CMD"));
    QCOMPARE(file.size(), 1000);
    const auto answers = answersOf(QString::fromLatin1(file).trimmed());
    QVERIFY2(answers, file.constData());
    for (const QString& a : *answers)
        QVERIFY2(a.startsWith("0 "), qPrintable(a));
    QVERIFY(!QFile::exists(QDir(dir.path()).filePath("TYXLOG.CMD")));
}

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
