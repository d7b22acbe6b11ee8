// The command line of the window program: bad options end it with a message and
// status 2, and the scripted start (--send, --help-window, --screenshot) works end to end.

#include "../common/processrun.h"

#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

ProcessRun zaziruv(const QStringList& args)
{
    return runProcess(appBinary("zaziruv"), args);
}

} // namespace

class TestGuiOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void badOptions_data();
    void badOptions();
    void help();
    void scriptedScreenshot_data();
    void scriptedScreenshot();
    void captionOnX11();
};

void TestGuiOptions::badOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QStringList { "--bogus" } << "unknown option \"--bogus\"";
    QTest::newRow("stray argument") << QStringList { "file.cmd" } << "unknown option \"file.cmd\"";
    QTest::newRow("missing value") << QStringList { "--settings" } << "--settings needs a value";
    QTest::newRow("baud not a number")
        << QStringList { "--baud", "fast" } << "--baud needs a number";
    QTest::newRow("baud zero") << QStringList { "--baud=0" } << "--baud needs a number";
    QTest::newRow("flag with a value") << QStringList { "--simulate=yes" } << "unknown option";
    QTest::newRow("bad simulator option")
        << QStringList { "--simulate", "--sim-option", "--no-such" } << "simulator:";
}

void TestGuiOptions::badOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const ProcessRun r = zaziruv(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
}

void TestGuiOptions::help()
{
    // No display at all: the help needs none.
    ProcessOptions options;
    options.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    options.environment.remove(QStringLiteral("DISPLAY"));
    options.environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const ProcessRun r = runProcess(appBinary("zaziruv"), { QStringLiteral("--help") }, options);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.outText().startsWith(QLatin1String("usage: zaziruv")));
    QVERIFY(r.outText().contains(QLatin1String("--screenshot FILE")));
}

void TestGuiOptions::scriptedScreenshot_data()
{
    QTest::addColumn<QStringList>("show");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    QTest::newRow("main window") << QStringList { "--send", "0 ST" } << QSize(600, 400)
                                 << QSize(4000, 4000);
    // The help window alone, at its own size, not the main window behind it.
    QTest::newRow("help window") << QStringList { "--help-window" } << QSize(720, 560)
                                 << QSize(720, 560);
}

void TestGuiOptions::scriptedScreenshot()
{
    QFETCH(QStringList, show);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);
    QTemporaryDir tmp;
    const QString png = tmp.filePath(QStringLiteral("window.png"));
    const ProcessRun r
        = zaziruv(QStringList { QStringLiteral("--settings"),
                      tmp.filePath(QStringLiteral("s.json")), QStringLiteral("--simulate") }
            + show
            + QStringList { QStringLiteral("--screenshot"), png,
                QStringLiteral("--screenshot-delay"), QStringLiteral("500") });
    QVERIFY2(r.exitCode == 0, qPrintable(r.errText()));
    const QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY2(image.width() >= minimum.width() && image.height() >= minimum.height()
            && image.width() <= maximum.width() && image.height() <= maximum.height(),
        qPrintable(QStringLiteral("%1x%2").arg(image.width()).arg(image.height())));
}

void TestGuiOptions::captionOnX11()
{
    // The window system shows the caption itself: on X11 Qt would add the program's
    // display name to it. A private X server, so nothing of the user's is touched.
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString xwininfo = QStandardPaths::findExecutable(QStringLiteral("xwininfo"));
    if (xvfb.isEmpty() || xwininfo.isEmpty())
        QSKIP("needs Xvfb and xwininfo");
    QProcess server;
    server.start(xvfb,
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
            QStringLiteral("tcp") });
    QVERIFY(server.waitForReadyRead(20000));
    const QString display = QLatin1Char(':') + QString::fromLatin1(server.readLine()).trimmed();

    QTemporaryDir tmp;
    ProcessOptions options;
    options.environment = homeEnvironment(tmp);
    options.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    options.environment.insert(QStringLiteral("DISPLAY"), display);
    QProcess window;
    window.setProcessEnvironment(options.environment);
    // The picture taken late keeps the window up while it is looked at.
    window.start(appBinary("zaziruv"),
        { QStringLiteral("--settings"), tmp.filePath(QStringLiteral("s.json")),
            QStringLiteral("--simulate"), QStringLiteral("--screenshot"),
            tmp.filePath(QStringLiteral("w.png")), QStringLiteral("--screenshot-delay"),
            QStringLiteral("20000") });
    QVERIFY(window.waitForStarted());
    QString caption;
    const QRegularExpression named(QStringLiteral("\"(ZAZIRUV[^\"]*)\": \\(\"zaziruv\""));
    while (caption.isEmpty() && window.state() == QProcess::Running) {
        const ProcessRun tree
            = runProcess(xwininfo, { QStringLiteral("-root"), QStringLiteral("-tree") }, options);
        caption = named.match(tree.outText()).captured(1);
        if (caption.isEmpty())
            window.waitForFinished(100); // not there yet: look again shortly
    }
    window.kill();
    window.waitForFinished();
    server.kill();
    server.waitForFinished();
    QCOMPARE(caption, QStringLiteral("ZAZIRUV 1.5"));
}

QTEST_GUILESS_MAIN(TestGuiOptions)
#include "tst_guioptions.moc"
