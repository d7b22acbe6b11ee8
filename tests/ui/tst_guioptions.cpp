// The command line of the window program: bad options end it with a message and
// status 2, and the scripted start (--send, --screenshot) works end to end.

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run zaziruv(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(ZZ_BINARY_DIR "/src/app/zaziruv"), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

class TestGuiOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void badOptions_data();
    void badOptions();
    void help();
    void scriptedScreenshot();
};

void TestGuiOptions::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QStringList { "--bogus" } << "unknown option \"--bogus\"";
    QTest::newRow("stray argument") << QStringList { "file.cmd" } << "unknown option \"file.cmd\"";
    QTest::newRow("missing value") << QStringList { "--settings" } << "--settings needs a value";
    QTest::newRow("baud not a number") << QStringList { "--baud", "fast" } << "--baud needs a number";
    QTest::newRow("baud zero") << QStringList { "--baud=0" } << "--baud needs a number";
    QTest::newRow("flag with a value") << QStringList { "--simulate=yes" } << "unknown option";
    QTest::newRow("bad simulator option")
        << QStringList { "--simulate", "--sim-option", "--no-such" } << "simulator:";
}

void TestGuiOptions::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = zaziruv(args);
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

void TestGuiOptions::help()
{
    const Run r = zaziruv({ QStringLiteral("--help") });
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.startsWith(QLatin1String("usage: zaziruv")));
    QVERIFY(r.out.contains(QLatin1String("--screenshot FILE")));
}

void TestGuiOptions::scriptedScreenshot()
{
    QTemporaryDir tmp;
    const QString png = tmp.filePath(QStringLiteral("window.png"));
    const Run r = zaziruv({ QStringLiteral("--settings"), tmp.filePath(QStringLiteral("s.json")),
        QStringLiteral("--simulate"), QStringLiteral("--send"), QStringLiteral("0 ST"),
        QStringLiteral("--screenshot"), png, QStringLiteral("--screenshot-delay"),
        QStringLiteral("500") });
    QVERIFY2(r.status == 0, qPrintable(r.err));
    const QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 600 && image.height() >= 400);
}

QTEST_GUILESS_MAIN(TestGuiOptions)
#include "tst_guioptions.moc"
