// The main window against the simulated controller on a pseudo-terminal.

#include "../common/corerig.h"
#include "../common/testfiles.h"

#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "sim/ptysimulator.h"
#include "terminal/terminalcore.h"
#include "ui/form2.h"
#include "ui/main2.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

struct RigOptions
{
    bool decodeStatus = false;
    quint16 status = 0x0100;
    int txDelay = 1;
    bool noPort = false; // a device that does not exist
    QStringList files; // command files made in the working directory

    RigOptions& decoding()
    {
        decodeStatus = true;
        return *this;
    }
    RigOptions& withStatus(quint16 s)
    {
        status = s;
        return *this;
    }
    RigOptions& withoutPort()
    {
        noPort = true;
        return *this;
    }
    RigOptions& withFiles(const QStringList& names)
    {
        files = names;
        return *this;
    }
};

// The window with everything behind it: a private settings file, the simulated
// controller, the core and the window.
struct Rig : CoreRig
{
    explicit Rig(const RigOptions& o = {})
    {
        QDir dirs(dir.path());
        dirs.mkdir(QStringLiteral("work"));
        workDir = dirs.filePath(QStringLiteral("work"));
        for (const QString& name : o.files) {
            writeFixture(QDir(workDir).filePath(name), "0 ST\r\n");
        }
        const QJsonObject values {
            { QStringLiteral("DecodeStatus"),
                o.decodeStatus ? QStringLiteral("True") : QStringLiteral("False") },
            { QStringLiteral("DecimalValues"), QStringLiteral("False") },
            { QStringLiteral("CheckSum"), QStringLiteral("False") },
            { QStringLiteral("TxDelay"), o.txDelay },
        };
        writeFixture(
            dirs.filePath(QStringLiteral("settings.json")), storeText({}, 1, workDir, values));

        SimOptions so;
        so.status = o.status;
        sim = std::make_unique<PtySimulator>(so);
        if (!sim->start())
            qFatal("simulator: %s", qPrintable(sim->errorString()));
        QObject::connect(sim.get(), &PtySimulator::lineReceived, [this](const QByteArray& line) {
            lines.append(QString::fromLatin1(line).remove(QLatin1Char('\n')));
        });

        core->overrideDevice
            = o.noPort ? dirs.filePath(QStringLiteral("no-such-tty")) : sim->slavePath();
        window = std::make_unique<main2>(*core);
        core->load();
        window->show();
        QApplication::setActiveWindow(window.get());
    }
    ~Rig()
    {
        window.reset();
        core.reset();
        sim->stop();
    }

    template <typename T> T* get(const char* name) const
    {
        T* w = window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QStringList items(const char* list) const
    {
        QStringList out;
        auto* w = get<QListWidget>(list);
        for (int i = 0; i < w->count(); ++i)
            out.append(w->item(i)->text());
        return out;
    }
    // Types a command into the entry box and presses Enter.
    void enter(const QString& text)
    {
        auto* box = get<QLineEdit>("TransmitText");
        box->setFocus();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    void click(const char* name) { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
    bool shown(const char* name) const { return get<QWidget>(name)->isVisible(); }

    QString workDir;
    std::unique_ptr<PtySimulator> sim;
    std::unique_ptr<main2> window;
    QStringList lines; // received by the controller, in order
};

} // namespace

class TestMain2 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUp();
    void texts_data();
    void texts();
    void enterSendsTrimmedCommand();
    void enterWithPortClosed();
    void historyOfSix();
    void fiveAnswers();
    void statusLists_data();
    void statusLists();
    void homeEnable();
    void terminalMode();
    void statusWizardModeless();
    void setupDisablesWindow();
    void directoryCaption();
    void exitClosesPort();
    void helpWindow();
};

void TestMain2::startUp()
{
    Rig rig(RigOptions().decoding().withFiles(
        { QStringLiteral("b.cmd"), QStringLiteral("A.CMD"), QStringLiteral("note.txt") }));
    QVERIFY2(rig.prompter.shown.isEmpty(), qPrintable(rig.prompter.texts().join(QLatin1Char('|'))));
    QVERIFY(rig.shown("Frame4"));
    QVERIFY(rig.shown("SendFrame"));
    QVERIFY(rig.shown("Frame7"));
    QVERIFY(!rig.shown("Frame3"));
    QVERIFY(!rig.shown("Frame2"));
    // Patterns match without regard to case; the first file is selected.
    QCOMPARE(
        rig.items("Filelist"), (QStringList { QStringLiteral("A.CMD"), QStringLiteral("b.cmd") }));
    QCOMPARE(rig.get<QListWidget>("Filelist")->currentRow(), 0);
    QCOMPARE(rig.get<QLineEdit>("Filename")->text(), QStringLiteral("A.CMD"));
    QCOMPARE(rig.core->selectedCommandFile, QDir(rig.workDir).filePath(QStringLiteral("A.CMD")));
    QCOMPARE(rig.window->windowTitle(), QStringLiteral("ZAZIRUV 1.5"));
    auto* status = rig.get<QLabel>("statusLine");
    QVERIFY2(status->text().endsWith(QLatin1String("open")), qPrintable(status->text()));
    QVERIFY(status->text().contains(rig.sim->slavePath()));
    QVERIFY(status->text().contains(QLatin1String("9600")));
}

void TestMain2::texts_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");
    auto row = [](const char* c, const char* p, const char* v) {
        QTest::addRow("%s %s", c, p)
            << QString::fromLatin1(c) << QString::fromLatin1(p) << QString::fromLatin1(v);
    };
    row("Frame4", "title", "Command File ");
    row("SendFrame", "title", "Send Commands");
    row("Frame7", "title", "Status Description");
    row("Frame2", "title", "Receive Window");
    row("Frame2", "toolTip", "To view Status Description, select mode in Setup menu");
    row("Frame3", "title", "Terminal");
    row("Command3", "text", "New");
    row("Command3", "toolTip", "Creates a New TYX Command file");
    row("EditCmd", "text", "Edit");
    row("DeleteCmd", "text", "Delete");
    row("DeleteCmd", "toolTip", "Deletes selected file");
    row("ExecuteCmdFile", "text", "Execute");
    row("PauseCmd", "text", "Pause");
    row("CancelCmd", "text", "Cancel");
    row("Command2", "text", "Download File");
    row("Command1", "text", "Status Wizard");
    row("TransmitText", "toolTip", "Enter TYX Command here and hit ENTER key");
    row("CmdHome", "text", "Home/Enable");
    row("CmdHome", "toolTip", "Sends Home and Enable Commands");
    row("CmdDisable", "toolTip", "Sends Disable command");
    row("CmdAbort", "toolTip", "Aborts Command file execution and sends \"Abort\"");
    row("TextRecv", "toolTip", "TYX's response");
    row("List1", "toolTip", "Displays Status description when Queried");
    row("List2", "toolTip", "Displays Status description when Queried");
    row("CmdClearRecv", "text", "Clear Window");
    row("CmdClearTerm", "text", "Clear Terminal");
    row("CmdTerminal", "text", "Terminal");
    row("CmdManual", "text", "Manual");
    row("CmdSetup", "text", "Setup");
    row("DownloadButton", "text", "Download ");
    row("DownloadButton", "toolTip", "Switches Mode to Download");
    row("CmdHelp", "text", "Help");
    row("CmdExit", "text", "Exit");
}

void TestMain2::texts()
{
    QFETCH(QString, control);
    QFETCH(QString, property);
    QFETCH(QString, value);
    Rig rig;
    QWidget* w = rig.window->findChild<QWidget*>(control);
    QVERIFY2(w, qPrintable(control));
    QCOMPARE(w->property(property.toLatin1().constData()).toString(), value);
    // Every control lies inside Frame8.
    QVERIFY(rig.get<QWidget>("Frame8")->isAncestorOf(w));
}

void TestMain2::enterSendsTrimmedCommand()
{
    Rig rig;
    rig.enter(QStringLiteral("0 POS   "));
    QCOMPARE(rig.items("CommandHistory"), QStringList { QStringLiteral("0 POS") });
    QCOMPARE(rig.get<QLineEdit>("TransmitText")->text(), QString());
    QTRY_COMPARE(rig.lines, QStringList { QStringLiteral("0 POS") });
}

void TestMain2::enterWithPortClosed()
{
    Rig rig(RigOptions().withoutPort());
    rig.enter(QStringLiteral("0 ST"));
    QCOMPARE(
        rig.prompter.texts(), QStringList { QStringLiteral("Please check Port Configuration") });
    // The text stays in the box for another try.
    QCOMPARE(rig.get<QLineEdit>("TransmitText")->text(), QStringLiteral("0 ST"));
    QCOMPARE(rig.get<QListWidget>("CommandHistory")->count(), 0);
}

void TestMain2::historyOfSix()
{
    Rig rig;
    QStringList sent;
    for (int i = 1; i <= 8; ++i) {
        sent.append(QStringLiteral("0 V %1").arg(i));
        rig.enter(sent.last());
    }
    QCOMPARE(rig.items("CommandHistory"), sent.mid(2));
    QTRY_COMPARE(rig.lines, sent);
}

void TestMain2::fiveAnswers()
{
    Rig rig;
    const QStringList queries { QStringLiteral("0 ST"), QStringLiteral("1 ST"),
        QStringLiteral("0 SR"), QStringLiteral("1 SR"), QStringLiteral("0 POR"),
        QStringLiteral("1 POR"), QStringLiteral("0 I") };
    const QStringList answers { QStringLiteral("0  0100"), QStringLiteral("1  0100"),
        QStringLiteral("0  00000100"), QStringLiteral("1  00000100"), QStringLiteral("0  00000000"),
        QStringLiteral("1  00000000"), QStringLiteral("0  0000") };
    for (int i = 0; i < queries.size(); ++i) {
        rig.enter(queries[i]);
        QTRY_COMPARE(rig.items("ListRecv").value(rig.items("ListRecv").size() - 1), answers[i]);
        QCOMPARE(rig.items("ListRecv"), answers.mid(std::max(0, i - 4), std::min(i + 1, 5)));
    }
    QCOMPARE(rig.get<QListWidget>("ListRecv")->count(), 5);
    // Without status decoding the receive window stands in for the status frame.
    QVERIFY(!rig.shown("Frame7"));
    QTRY_VERIFY(rig.shown("Frame2"));
    QVERIFY(rig.shown("ListRecv"));
    rig.click("CmdClearRecv");
    QCOMPARE(rig.get<QListWidget>("ListRecv")->count(), 0);
}

void TestMain2::statusLists_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("list1");
    QTest::addColumn<QStringList>("list2");
    QTest::addColumn<bool>("alert");
    QTest::newRow("0103: disabled, red") << 0x0103
                                         << QStringList { "Move in progress", "In position",
                                                "Position Mode", "*** Drive disabled ***" }
                                         << QStringList { "Remote Mode active" } << true;
    QTest::newRow("0000: calm") << 0x0000
                                << QStringList { "Motor Stopped", "Out of Position",
                                       "Position Mode", "Drive Enabled" }
                                << QStringList { "Remote Mode active" } << false;
    QTest::newRow("8000: negative limit")
        << 0x8000
        << QStringList { "Motor Stopped", "Out of Position", "Position Mode", "Drive Enabled" }
        << QStringList { "Remote Mode active", "*** Negative Limit active ***" } << true;
}

void TestMain2::statusLists()
{
    QFETCH(int, status);
    QFETCH(QStringList, list1);
    QFETCH(QStringList, list2);
    QFETCH(bool, alert);
    Rig rig(RigOptions().decoding().withStatus(quint16(status)));
    QVERIFY(rig.shown("Frame7"));
    rig.enter(QStringLiteral("0 ST"));
    QTRY_COMPARE(rig.items("List1"), list1);
    QCOMPARE(rig.items("List2"), list2);
    QCOMPARE(rig.get<QLineEdit>("TextRecv")->text(),
        QStringLiteral("0  %1").arg(status, 4, 16, QLatin1Char('0')).toUpper());
    const QColor expected
        = alert ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::ButtonText);
    QCOMPARE(rig.get<QListWidget>("List1")->palette().color(QPalette::Text), expected);
    QCOMPARE(rig.get<QListWidget>("List2")->palette().color(QPalette::Text), expected);
}

void TestMain2::homeEnable()
{
    Rig rig;
    rig.click("CmdHome");
    rig.click("CmdDisable");
    rig.click("CmdAbort");
    QTRY_COMPARE(rig.lines,
        (QStringList { QStringLiteral("0 HO"), QStringLiteral("0 EN"), QStringLiteral("0 DI"),
            QStringLiteral("0 AB") }));
    // Each button hands the keyboard back to the entry box.
    QVERIFY(rig.get<QWidget>("TransmitText")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), rig.get<QWidget>("TransmitText"));
}

void TestMain2::terminalMode()
{
    Rig rig(RigOptions().decoding());
    rig.enter(QStringLiteral("0 EN")); // leaves a command text, dropped on entering the terminal
    rig.click("CmdTerminal");
    QVERIFY(rig.shown("Frame3"));
    QCOMPARE(rig.core->commandText, QString());
    QVERIFY(rig.core->terminalLineFlag);
    QCOMPARE(QApplication::focusWidget(), rig.get<QWidget>("TextTerminal"));
    QTRY_VERIFY(!rig.shown("Frame7"));
    QVERIFY(!rig.shown("SendFrame"));
    QVERIFY(!rig.shown("Frame2"));

    auto* term = rig.get<QPlainTextEdit>("TextTerminal");
    QTest::keyClicks(term, QStringLiteral("0 ST"));
    QVERIFY(!rig.core->terminalLineFlag);
    QTest::keyClick(term, Qt::Key_Return);
    QVERIFY(rig.core->terminalLineFlag);
    // Typed keys show locally; the answer line follows, without a blank line.
    QTRY_COMPARE(term->toPlainText(), QStringLiteral("0 ST\n0 0000\n"));
    QTest::keyClicks(term, QStringLiteral("1 ST"));
    QTest::keyClick(term, Qt::Key_Enter);
    QTRY_COMPARE(term->toPlainText(), QStringLiteral("0 ST\n0 0000\n1 ST\n1 0000\n"));
    QCOMPARE(rig.lines,
        (QStringList { QStringLiteral("0 EN"), QStringLiteral("0 ST"), QStringLiteral("1 ST") }));
    // Backspace goes to the controller and takes the character back in the box.
    QTest::keyClicks(term, QStringLiteral("0 X"));
    QTest::keyClick(term, Qt::Key_Backspace);
    QCOMPARE(term->toPlainText(), QStringLiteral("0 ST\n0 0000\n1 ST\n1 0000\n0 "));
    QCOMPARE(term->textCursor().position(), term->toPlainText().size());
    // In terminal mode nothing goes to the command mode displays.
    QCOMPARE(rig.get<QListWidget>("ListRecv")->count(), 0);
    rig.get<QWidget>("CmdClearTerm")->setFocus();
    rig.click("CmdClearTerm");
    QCOMPARE(term->toPlainText(), QString());
    QCOMPARE(QApplication::focusWidget(), term);

    rig.click("CmdManual");
    QVERIFY(!rig.shown("Frame3"));
    QVERIFY(rig.shown("Frame4"));
    QVERIFY(rig.shown("SendFrame"));
    QTRY_VERIFY(rig.shown("Frame7"));
    QCOMPARE(QApplication::focusWidget(), rig.get<QWidget>("TransmitText"));
}

void TestMain2::statusWizardModeless()
{
    Rig rig;
    QVERIFY(!rig.window->statusWizard());
    rig.click("Command1");
    Form5* wizard = rig.window->statusWizard();
    QVERIFY(wizard);
    QVERIFY(wizard->isVisible());
    QVERIFY(wizard->isWindow());
    QVERIFY(!wizard->isModal());
    // The main window stays usable while it is open.
    rig.enter(QStringLiteral("0 ST"));
    QTRY_COMPARE(rig.get<QListWidget>("ListRecv")->count(), 1);
    rig.click("Command1");
    QCOMPARE(rig.window->statusWizard(), wizard);
}

void TestMain2::setupDisablesWindow()
{
    Rig rig;
    QSignalSpy config(rig.core.get(), &TerminalCore::configWindowRequested);
    rig.click("CmdSetup");
    QCOMPARE(config.count(), 1);
    QVERIFY(!rig.get<QWidget>("Frame8")->isEnabled());
    QVERIFY(!rig.get<QWidget>("TransmitText")->isEnabled());
    QVERIFY(rig.window->isVisible());
    // A disabled main window does not close either.
    QVERIFY(!rig.window->close());
    rig.core->windowEnabled = true;
    Q_EMIT rig.core->viewChanged();
    QVERIFY(rig.get<QWidget>("TransmitText")->isEnabled());
}

void TestMain2::directoryCaption()
{
    Rig rig;
    QTest::mouseDClick(rig.get<QWidget>("Frame8"), Qt::LeftButton);
    QTRY_COMPARE(rig.window->windowTitle(), rig.workDir);
    QTest::mouseDClick(rig.get<QWidget>("Frame8"), Qt::LeftButton);
    QTRY_COMPARE(rig.window->windowTitle(), QStringLiteral("ZAZIRUV 1.5"));
}

void TestMain2::exitClosesPort()
{
    Rig rig;
    QSignalSpy exit(rig.core.get(), &TerminalCore::exitRequested);
    rig.click("CmdExit");
    QCOMPARE(exit.count(), 1);
    QVERIFY(!rig.core->link.isOpen());
    QVERIFY(!rig.window->isVisible());
}

void TestMain2::helpWindow()
{
    Rig rig;
    rig.click("CmdHelp");
    QPointer<Form2> help = rig.window->helpWindow();
    QVERIFY(help && help->isVisible());
    QCOMPARE(help->documentName(), QStringLiteral("help.rtf"));
    rig.click("CmdHelp");
    QCOMPARE(rig.window->helpWindow(), help.data());
    // Closing discards it; while the download window is in use the next opening
    // loads its document, in a window that the disabled main window leaves usable.
    help->close();
    QTRY_VERIFY(!help);
    rig.core->windowEnabled = false;
    Q_EMIT rig.core->viewChanged();
    rig.window->CmdHelp_Click();
    QCOMPARE(rig.window->helpWindow()->documentName(), QStringLiteral("helpEEloader.rtf"));
    QVERIFY(rig.window->helpWindow()->isEnabled());
}

QTEST_MAIN(TestMain2)
#include "tst_main2.moc"
