// The help window, the status mask wizard, the message boxes, and the command line
// of the window program: bad options end it with a message and status 2, and the
// scripted start (--send, --help-window, --screenshot) works end to end.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/testfiles.h"
#include "../common/widgets.h"

#include "core/prompter.h"
#include "rtf/rtfwriter.h"
#include "ui/form2.h"
#include "ui/form5.h"
#include "ui/qtprompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextEdit>
#include <QTimer>

Q_DECLARE_METATYPE(PromptIcon)
Q_DECLARE_METATYPE(PromptButtons)
Q_DECLARE_METATYPE(PromptAnswer)

namespace {

using A = PromptAnswer;
using B = QMessageBox;
using I = PromptIcon;
using P = PromptButtons;

// A user data directory and two shipped directories, "a" and "b", in a temporary
// folder; the user's is "user".
struct HelpRig
{
    HelpRig()
    {
        for (const char* d : { "user", "a", "b" })
            QDir(tmp.path()).mkdir(QLatin1String(d));
        qputenv("ZAZIRUV_DATA_DIR", path(QStringLiteral("user")).toLocal8Bit());
        form.shippedDirectories = { path(QStringLiteral("a")), path(QStringLiteral("b")) };
    }
    QString path(const QString& relative) const { return QDir(tmp.path()).filePath(relative); }
    // Each file holds RTF whose text is its own relative path, padded with a skipped
    // group so that it is longer than any document the test saves over it.
    void make(const QStringList& files) const
    {
        for (const QString& f : files) {
            QDir().mkpath(QFileInfo(path(f)).path());
            writeFixture(
                path(f), "{\\rtf1 " + f.toUtf8() + "{\\*\\pad " + QByteArray(5000, 'x') + "}}");
        }
    }
    // Every file under the folder, by relative path.
    QMap<QString, QByteArray> contents() const
    {
        QMap<QString, QByteArray> out;
        QDirIterator it(tmp.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            out.insert(QDir(tmp.path()).relativeFilePath(f), readFile(f));
        }
        return out;
    }
    QTextEdit* text1() { return child<QTextEdit>(&form, "Text1"); }
    QString shown() { return text1()->toPlainText(); }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    Form2 form { prompter };
};

int shownBits(Form5& f)
{
    int v = 0;
    for (int k = 0; k < 16; ++k)
        v |= int(f.bitCheck(k)->isChecked()) << k;
    return v;
}

// The window program with a private settings file in `tmp`, the simulated controller
// and a picture of its window taken after `delayMs`.
QStringList scripted(const QTemporaryDir& tmp, const QString& png, int delayMs)
{
    return { "--settings", tmp.filePath("s.json"), "--simulate", "--screenshot", png,
        "--screenshot-delay", QString::number(delayMs) };
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Form_Load shows the user's copy, else the first shipped one, and creates nothing.
    // Save then writes the operator's copy and nothing else; when it cannot, it says why
    // and leaves every file as it was.
    void loadThenSave_data()
    {
        // shown: the file shown, empty for none; saved: empty when the save fails
        addColumns<bool, QStringList, QString, QString, QString>(
            "downloadWindowInUse", "files", "userDir", "shown", "saved");
        const QStringList shipped { "a/help.rtf", "a/helpEEloader.rtf" };
        const QStringList withUserCopy = shipped + QStringList { "user/help.rtf" };
        addRow("main window", false, shipped, "user", "a/help.rtf", "user/help.rtf");
        addRow("download window", true, shipped, "user", "a/helpEEloader.rtf",
            "user/helpEEloader.rtf");
        addRow("second shipped directory", false, QStringList { "b/help.rtf" }, "user",
            "b/help.rtf", "user/help.rtf");
        addRow("user's copy wins, longer old copy", false, withUserCopy, "user", "user/help.rtf",
            "user/help.rtf");
        addRow("user's copy of the other document", true, withUserCopy, "user",
            "a/helpEEloader.rtf", "user/helpEEloader.rtf");
        addRow("none, no data directory yet", true, QStringList { "b/help.rtf" }, "user/new/dir",
            "", "user/new/dir/helpEEloader.rtf");
        addRow("data directory is a file", false, shipped, "a/help.rtf", "a/help.rtf", "");
        addRow("document is a folder", false, QStringList { "user/help.rtf/x" }, "user", "", "");
    }

    void loadThenSave()
    {
        QFETCH(bool, downloadWindowInUse);
        QFETCH(QStringList, files);
        QFETCH(QString, userDir);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        HelpRig rig;
        rig.make(files);
        qputenv("ZAZIRUV_DATA_DIR", rig.path(userDir).toLocal8Bit());
        QMap<QString, QByteArray> before = rig.contents();
        rig.form.Form_Load(downloadWindowInUse);
        QCOMPARE(rig.shown(), shown);
        QCOMPARE(rig.form.loadedFrom(), shown.isEmpty() ? QString() : rig.path(shown));
        QCOMPARE(rig.contents(), before);

        rig.text1()->setHtml(QStringLiteral("<b>Edited</b> é"));
        click(&rig.form, "Command1");
        QCOMPARE(rig.prompter.shown.size(), 1);
        const PromptMessage& m = rig.prompter.shown[0];
        if (saved.isEmpty()) {
            QVERIFY2(
                m.text.startsWith(
                    QStringLiteral("The changes were not saved to \"%1/").arg(rig.path(userDir))),
                qPrintable(m.text));
            QCOMPARE(m.icon, PromptIcon::Exclamation);
        } else {
            QCOMPARE(m.text, QStringLiteral("changes saved"));
            // Exactly the document: no bytes of a longer old copy after it.
            QCOMPARE(readFile(rig.path(saved)), rtf::write(*rig.text1()->document()));
            QCOMPARE(rig.form.loadedFrom(), rig.path(saved));
            rig.form.Form_Load(downloadWindowInUse);
            QCOMPARE(rig.shown(), QStringLiteral("Edited é"));
        }
        QMap<QString, QByteArray> after = rig.contents();
        before.remove(saved);
        after.remove(saved);
        QCOMPARE(after, before);
    }

    // The documents copied beside the executable at build time, as an installed program
    // finds them in its data directory.
    void shippedDocuments_data()
    {
        addColumns<bool, QStringList>("downloadWindowInUse", "topics");
        addRow("help.rtf", false,
            QStringList { "Command mode", "Terminal", "Setup", "Auto Configure", "Status Wizard",
                "DELAY", "MESSAGE", "PAUSE", "REPEAT", "dialout", "/dev/ttyS0", "Download File" });
        addRow("helpEEloader.rtf", true,
            QStringList { "Download File", "Combination", "Read Back", "Special Functions",
                "Download settings", "macro", "Boot", "e2prom.dat", "checksum", "Cancel" });
    }

    void shippedDocuments()
    {
        QFETCH(bool, downloadWindowInUse);
        QFETCH(QStringList, topics);
        HelpRig rig;
        rig.form.shippedDirectories = { QStringLiteral(ZZ_BINARY_DIR "/src/app") };
        rig.form.Form_Load(downloadWindowInUse);
        QVERIFY(readFile(rig.form.loadedFrom()).startsWith("{\\rtf1"));
        QCOMPARE(rig.form.windowTitle(), QStringLiteral("Help "));
        QVERIFY(!rig.text1()->isReadOnly());
        const QString text = rig.shown();
        for (const QString& t : topics)
            QVERIFY2(text.contains(t), qPrintable(t));
    }

    // The wizard as it opens; closing it discards it.
    void startState()
    {
        QPointer<Form5> f = new Form5;
        QCOMPARE(f->windowTitle(), QStringLiteral("Status Mask Wizard"));
        // No conversion runs before the operator asks for one: Text2 is empty.
        const char* texts[][3] = { { "Text1", "text", "10" }, { "Text2", "text", "" },
            { "Label1", "text", "Status Value" }, { "Option1", "text", "Dec" },
            { "Option2", "text", "Hex" }, { "Command2", "text", "Display Above" },
            { "Command1", "text", "Convert" }, { "Frame1", "title", "Status Mask Description" },
            { "Text1", "toolTip", "Enter a number and Hit enter to display Status" },
            { "Command1", "toolTip", "Converts Status bits selected to Decimal Status Value" },
            { "Command2", "toolTip",
                "Updates Top Display with Status value currently showing in Box" },
            { "Bit3Check", "text", "Command Accepted/ J2-1 active" },
            { "Bit12Check", "text", "External Event 1(J2-8) Active" },
            { "Bit15Check", "text", "Negative Limit Active" }, { "Option1", "checked", "true" },
            { "Option2", "checked", "false" } };
        for (const auto& [name, property, text] : texts)
            QCOMPARE(child(f.data(), name)->property(property).toString(), QString::fromUtf8(text));
        QCOMPARE(shownBits(*f), 0x000A);
        f->show();
        f->close();
        QTRY_VERIFY(f.isNull());
    }

    // A value entered shows its bits; Convert writes them back in the chosen radix, and
    // Display Above reads that back to the same bits.
    void enterThenConvert_data()
    {
        addColumns<bool, QString, int, QString>("hex", "text", "bits", "converted");
        addRow("dec 10", false, "10", 0x000A, "10");
        addRow("dec 65535: all sixteen", false, "65535", 0xFFFF, "-1");
        addRow("dec -1: all sixteen", false, "-1", 0xFFFF, "-1");
        addRow("dec -32768: bit 15", false, "-32768", 0x8000, "-32768");
        addRow("dec 32767: largest positive", false, "32767", 0x7FFF, "32767");
        addRow("dec 65536: no bit of 16", false, "65536", 0x0000, "0");
        addRow("dec fraction rounds, halves to even", false, "2.5", 0x0002, "2");
        addRow("dec beyond 32 bits reads as 0", false, "99999999999", 0, "0");
        addRow("dec text reads as 0", false, "abc", 0, "0");
        addRow("dec empty", false, "", 0, "0");
        addRow("dec after first blank", false, "1 259", 0x0103, "259");
        addRow("dec trailing text ignored", false, "12xyz", 12, "12");
        addRow("dec negative other than -1", false, "-21555", 0xABCD, "-21555");
        addRow("hex 8000: bit 15 only", true, "8000", 0x8000, "8000");
        addRow("hex FFFF", true, "FFFF", 0xFFFF, "FFFF");
        addRow("hex whole answer", true, "1 0103", 0x0103, "0103");
        addRow("hex answer with CR", true, "0 0103\r", 0x0103, "0103");
        addRow("hex lower case, written upper-case", true, "0 abcd", 0xABCD, "ABCD");
        addRow("hex eight digits keep low 16 bits", true, "0 00010103", 0x0103, "0103");
        addRow("hex not a digit", true, "G1", 0, "0000");
        addRow("hex only the first blank counts", true, "0 01 FF", 0x0001, "0001");
    }

    void enterThenConvert()
    {
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(int, bits);
        QFETCH(QString, converted);
        Form5 f;
        f.show();
        click(&f, hex ? "Option2" : "Option1");
        auto* text1 = child<QLineEdit>(&f, "Text1");
        text1->setText(text);
        QTest::keyClick(text1, Qt::Key_Return);
        QCOMPARE(shownBits(f), bits);
        click(&f, "Command1");
        QCOMPARE(child<QLineEdit>(&f, "Text2")->text(), converted);
        for (int k = 0; k < 16; ++k)
            f.bitCheck(k)->setChecked(false);
        text1->setText(converted);
        click(&f, "Command2");
        QCOMPARE(shownBits(f), bits);
    }

    void emergencyStopTicksDriveDisabled()
    {
        Form5 f;
        f.show();
        QVERIFY(!f.bitCheck(8)->isChecked());
        click(&f, "Bit11Check");
        QCOMPARE(shownBits(f), 0x090A);
        // Bit 8 cannot be cleared while bit 11 is ticked...
        click(&f, "Bit8Check");
        QCOMPARE(shownBits(f), 0x090A);
        // ...but can once it is clear.
        click(&f, "Bit11Check");
        QCOMPARE(shownBits(f), 0x010A);
        click(&f, "Bit8Check");
        QCOMPARE(shownBits(f), 0x000A);
        // A value shows its own bits: the coupling of bits 11 and 8 is the operator's
        // clicks only, so a value with bit 11 and not bit 8 is shown as it is, and a
        // following value without bit 8 clears it even though bit 11 was ticked before.
        click(&f, "Option2");
        auto* text1 = child<QLineEdit>(&f, "Text1");
        for (int bits : { 0x0900, 0x0800, 0x0001 }) {
            text1->setText(QString::number(bits, 16));
            QTest::keyClick(text1, Qt::Key_Return);
            QCOMPARE(shownBits(f), bits);
        }
    }

    void box_data()
    {
        // escape: the answer when closed by Escape or the title bar
        addColumns<PromptIcon, PromptButtons, PromptAnswer, QString, int, int, int, PromptAnswer>(
            "icon", "buttons", "defaultAnswer", "title", "boxIcon", "boxButtons", "boxDefault",
            "escape");
        QTest::newRow("plain message") << I::None << P::Ok << A::Ok << QString() << int(B::NoIcon)
                                       << int(B::Ok) << int(B::Ok) << A::Ok;
        QTest::newRow("question, No by default")
            << I::Question << P::YesNo << A::No << "Registry Corrupted" << int(B::Question)
            << int(B::Yes | B::No) << int(B::No) << A::No;
        QTest::newRow("information, ok/cancel")
            << I::Information << P::OkCancel << A::Cancel << QString() << int(B::Information)
            << int(B::Ok | B::Cancel) << int(B::Cancel) << A::Cancel;
        QTest::newRow("critical, three buttons")
            << I::Critical << P::YesNoCancel << A::Cancel << QString() << int(B::Critical)
            << int(B::Yes | B::No | B::Cancel) << int(B::Cancel) << A::Cancel;
        QTest::newRow("warning, default not among the buttons")
            << I::Exclamation << P::YesNo << A::Ok << QString() << int(B::Warning)
            << int(B::Yes | B::No) << int(B::Yes) << A::No;
    }

    void box()
    {
        QFETCH(PromptIcon, icon);
        QFETCH(PromptButtons, buttons);
        QFETCH(PromptAnswer, defaultAnswer);
        QFETCH(QString, title);
        QFETCH(int, boxIcon);
        QFETCH(int, boxButtons);
        QFETCH(int, boxDefault);
        QFETCH(PromptAnswer, escape);
        const auto b
            = QtPrompter::makeBox({ QStringLiteral("Use '*.CMD'\rwhen saving\r\nthe file <b>"),
                title, icon, buttons, defaultAnswer });
        QCOMPARE(int(b->icon()), boxIcon);
        QCOMPARE(int(b->standardButtons()), boxButtons);
        QCOMPARE(int(b->standardButton(b->defaultButton())), boxDefault);
        QCOMPARE(b->windowTitle(), title.isEmpty() ? QStringLiteral("ZAZIRUV") : title);
        QCOMPARE(b->text(), QStringLiteral("Use '*.CMD'\nwhen saving\nthe file <b>"));
        QCOMPARE(b->textFormat(), Qt::PlainText);
        QCOMPARE(QtPrompter::answerOf(*b), escape);
        // Each button gives its own answer.
        const QMap<int, PromptAnswer> answers { { B::Ok, A::Ok }, { B::Cancel, A::Cancel },
            { B::Yes, A::Yes }, { B::No, A::No } };
        b->show();
        for (QAbstractButton* button : b->buttons()) {
            button->click();
            QCOMPARE(QtPrompter::answerOf(*b), answers.value(b->standardButton(button)));
        }
    }

    // The box is modal: Enter takes the default button, Escape the escape button.
    void shownModal_data()
    {
        addColumns<int, PromptAnswer>("key", "answer");
        addRow("enter", int(Qt::Key_Return), PromptAnswer::No);
        addRow("escape", int(Qt::Key_Escape), PromptAnswer::Cancel);
    }

    void shownModal()
    {
        QFETCH(int, key);
        QFETCH(PromptAnswer, answer);
        QtPrompter prompter;
        QString seenText;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenText = box->text();
            QTest::keyClick(box, Qt::Key(key));
        });
        const PromptAnswer a
            = prompter.ask(QStringLiteral("Are you sure you want to delete A.CMD?"),
                PromptButtons::YesNoCancel, PromptIcon::Question, PromptAnswer::No);
        QCOMPARE(seenText, QStringLiteral("Are you sure you want to delete A.CMD?"));
        QCOMPARE(a, answer);
    }

    void badOptions_data()
    {
        addColumns<QStringList, QString>("args", "message");
        addRow("unknown", QStringList { "--bogus" }, "unknown option \"--bogus\"");
        addRow("stray argument", QStringList { "file.cmd" }, "unknown option \"file.cmd\"");
        addRow("missing value", QStringList { "--settings" }, "--settings needs a value");
        addRow("baud not a number", QStringList { "--baud", "fast" }, "--baud needs a number");
        addRow("baud zero", QStringList { "--baud=0" }, "--baud needs a number");
        addRow("flag with a value", QStringList { "--simulate=yes" }, "unknown option");
        addRow("bad simulator option", QStringList { "--simulate", "--sim-option", "--no-such" },
            "simulator:");
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

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
