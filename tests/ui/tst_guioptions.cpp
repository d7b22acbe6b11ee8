// The command line of the window program: bad options end it with a message and
// status 2, and the scripted start (--send, --help-window, --screenshot) works end to end.

#include "../common/datarow.h"
#include "../common/processrun.h"

#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

// The window program with a private settings file in `tmp`, the simulated controller
// and a picture of its window taken after `delayMs`.
QStringList scripted(const QTemporaryDir& tmp, const QString& png, int delayMs)
{
    return { "--settings", tmp.filePath("s.json"), "--simulate", "--screenshot", png,
        "--screenshot-delay", QString::number(delayMs) };
}

} // namespace

class TestGuiOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void badOptions_data()
    {
        addColumns<QStringList, QString>("args", "message");
        addRow("unknown", QStringList { "--bogus" }, QString("unknown option \"--bogus\""));
        addRow(
            "stray argument", QStringList { "file.cmd" }, QString("unknown option \"file.cmd\""));
        addRow("missing value", QStringList { "--settings" }, QString("--settings needs a value"));
        addRow("baud not a number", QStringList { "--baud", "fast" },
            QString("--baud needs a number"));
        addRow("baud zero", QStringList { "--baud=0" }, QString("--baud needs a number"));
        addRow("flag with a value", QStringList { "--simulate=yes" }, QString("unknown option"));
        addRow("bad simulator option", QStringList { "--simulate", "--sim-option", "--no-such" },
            QString("simulator:"));
    }
    void badOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const ProcessRun r = runProcess(appBinary("zaziruv"), args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
    }

    // No display at all: the help needs none.
    void help()
    {
        ProcessOptions options;
        options.environment.insert("QT_QPA_PLATFORM", "xcb");
        options.environment.remove("DISPLAY");
        options.environment.remove("WAYLAND_DISPLAY");
        const ProcessRun r = runProcess(appBinary("zaziruv"), { "--help" }, options);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.outText().startsWith("usage: zaziruv"));
        QVERIFY(r.outText().contains("--screenshot FILE"));
    }

    // The help window alone is taken at its own size, not the main window behind it.
    void scriptedScreenshot_data()
    {
        addColumns<QStringList, QSize, QSize>("show", "minimum", "maximum");
        addRow("main window", QStringList { "--send", "0 ST" }, QSize(600, 400), QSize(4000, 4000));
        addRow("help window", QStringList { "--help-window" }, QSize(720, 560), QSize(720, 560));
    }
    void scriptedScreenshot()
    {
        QFETCH(QStringList, show);
        QFETCH(QSize, minimum);
        QFETCH(QSize, maximum);
        QTemporaryDir tmp;
        const QString png = tmp.filePath("window.png");
        const ProcessRun r = runProcess(appBinary("zaziruv"), scripted(tmp, png, 500) + show);
        QVERIFY2(r.exitCode == 0, qPrintable(r.errText()));
        const QSize size = QImage(png).size();
        QVERIFY2(size.boundedTo(minimum) == minimum && size.expandedTo(maximum) == maximum,
            qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    }

    // The window system shows the caption itself: on X11 Qt would add the program's
    // display name to it. A private X server, so nothing of the user's is touched.
    void captionOnX11()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
        if (xvfb.isEmpty() || xwininfo.isEmpty())
            QSKIP("needs Xvfb and xwininfo");
        QProcess server;
        server.start(xvfb, { "-displayfd", "1", "-nolisten", "tcp" });
        QVERIFY(server.waitForReadyRead(20000));
        QTemporaryDir tmp;
        ProcessOptions options;
        options.environment = homeEnvironment(tmp);
        options.environment.insert("QT_QPA_PLATFORM", "xcb");
        options.environment.insert(
            "DISPLAY", ':' + QString::fromLatin1(server.readLine()).trimmed());
        QProcess window;
        window.setProcessEnvironment(options.environment);
        // The picture taken late keeps the window up while it is looked at.
        window.start(appBinary("zaziruv"), scripted(tmp, tmp.filePath("w.png"), 20000));
        QVERIFY(window.waitForStarted());
        QString caption;
        const QRegularExpression named("\"(ZAZIRUV[^\"]*)\": \\(\"zaziruv\"");
        while (caption.isEmpty() && window.state() == QProcess::Running) {
            const ProcessRun tree = runProcess(xwininfo, { "-root", "-tree" }, options);
            caption = named.match(tree.outText()).captured(1);
            if (caption.isEmpty())
                window.waitForFinished(100); // not there yet: look again shortly
        }
        window.kill();
        window.waitForFinished();
        server.kill();
        server.waitForFinished();
        QCOMPARE(caption, "ZAZIRUV 1.5");
    }
};

QTEST_GUILESS_MAIN(TestGuiOptions)
#include "tst_guioptions.moc"
