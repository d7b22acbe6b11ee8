// The download window and its dialogs as the operator sees them: what is enabled and
// shown before, during and after "Download File", the progress window and its Cancel,
// the checksum frame, the settings window, the combination panel, the special
// functions window, and the main window handed back on Exit.

#include "../common/corerig.h"
#include "../common/datarow.h"
#include "../common/simargs.h"
#include "../common/testfiles.h"
#include "../common/widgets.h"

#include "core/ticktimer.h"
#include "eeprom/e2promrecord.h"
#include "ui/downloadsettingsdialog.h"
#include "ui/downloadwindow.h"
#include "ui/progressdialog.h"
#include "ui/specialfunctionsdialog.h"
#include "utility/combinationcontroller.h"
#include "utility/downloadcontroller.h"
#include "utility/specialfunctions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QWindow>

namespace {

// The download window over the simulated controller, not shown yet; `record`: an
// "e2prom.dat" for node 1 without checksums, else none.
struct Rig : SimCoreRig
{
    DownloadController u { *core, prompter };
    DownloadWindow window { u };

    explicit Rig(bool record = true, bool checksums = false)
        : SimCoreRig(simOptions("--baud 57600"))
    {
        if (record)
            writeFixture(dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", checksums));
    }
};

// Whether `window` is transient for `owner` and lies wholly on the screen. Transient
// means a dialog too: Qt on X11 hands the hint to the window manager for dialogs only.
QString placement(const QWidget* window, const QWidget* owner)
{
    const QWindow* handle = window->windowHandle();
    const bool transient = handle && handle->transientParent() == owner->windowHandle()
        && handle->type() == Qt::Dialog;
    const bool inside = window->screen()->availableGeometry().contains(window->frameGeometry());
    return QStringLiteral("%1 %2").arg(
        transient ? "transient" : "loose", inside ? "inside" : "cut");
}

} // namespace

class TstUtility : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void downloadShowsProgressAndCancels()
    {
        Rig r;
        writeFixture(r.dir.filePath("x.cmd"), "1 HO\r\n1 AC 100\r\n");
        DownloadWindow& window = r.window;
        window.showWindow();
        QVERIFY(window.isVisible() && !r.core->windowEnabled()); // the main window waits
        QCOMPARE(r.u.downloadFileName(), "x.cmd");

        // One line per state: window, download panel, upload panel, progress window, label.
        const QWidget* form1 = window.progressWindow();
        QStringList seen;
        const auto state = [&] {
            seen << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(window.isEnabled())
                        .arg(child(&window, "DownFrame")->isEnabled())
                        .arg(child(&window, "UpFrame")->isEnabled())
                        .arg(form1->isVisible())
                        .arg(child<QLabel>(form1, "Label1")->text());
        };
        r.prompter.onShow = [&](const PromptMessage&) { state(); };
        int cancelAt = 0;
        QObject::connect(
            &r.u.protocol(), &EepromProtocol::progressChanged, &window, [&](int percent) {
                if (++cancelAt == 3) {
                    state();
                    QCOMPARE(child<QProgressBar>(form1, "ProgressBar1")->value(), percent);
                    click(form1, "CmdEEAbort");
                    state();
                }
            });
        click(&window, "DnloadButton");
        state();
        // The cancel is said once the window is usable again.
        QCOMPARE(seen,
            QStringList({ "1 1 1 0 Downloading..", "0 0 0 1 Downloading..", "0 0 0 1 cancelling..",
                "1 1 1 0 cancelling..", "1 1 1 0 cancelling.." }));
        QCOMPARE(r.u.lastDownload().kind, Outcome::Cancelled);
        QCOMPARE(r.prompter.texts().last(), DownloadController::CancelledText);
        QCOMPARE(form1->windowTitle(), "Downloading");
        QTRY_COMPARE(r.memory(503, 1), QByteArray("I")); // once the controller has the line

        // A double click shows the checksum frame and a second hides it again.
        QWidget* frame = child(&window, "HiddenFrame");
        for (bool visible : { true, false }) {
            QTest::mouseDClick(&window, Qt::LeftButton);
            QCOMPARE(frame->isVisible(), visible);
        }
        click(&window, "Command3");
        QVERIFY(
            !window.isVisible() && r.core->windowEnabled() && !TickTimer::instance().isRunning());
    }

    // Setup on an empty "e2prom.dat" shows the defaults. The Delay box keeps what is
    // typed; leaving it or closing applies "at least 1". OK, Enter and the title bar
    // save the record (the last two characters of each value), Escape drops the typing.
    void settingsWindow_data()
    {
        addColumns<QString, int, QString, QByteArray, int>(
            "typed", "end", "shownAfter", "saved", "downloadDelay");
        const auto record
            = [](const char* text) { return QByteArray(text).leftJustified(500, ' '); };
        addRow("0, then OK", QString("0"), 0, QString("1"), record("01230"), 2);
        addRow("10, then Enter", QString("10"), int(Qt::Key_Return), QString("10"), record("10230"),
            20);
        addRow("empty, then title bar", QString(), int(Qt::Key_Close), QString("1"),
            record("01230"), 2);
        addRow("0, box left", QString("0"), int(Qt::Key_Tab), QString("1"), record("01230"), 2);
        addRow("7, then Escape", QString("7"), int(Qt::Key_Escape), QString("2"), QByteArray(), 4);
    }
    void settingsWindow()
    {
        QFETCH(QString, typed);
        QFETCH(int, end);
        QFETCH(QString, shownAfter);
        QFETCH(QByteArray, saved);
        QFETCH(int, downloadDelay);
        Rig r(false);
        r.window.showWindow();
        click(&r.window, "CmdSetup");
        QWidget* form3 = r.window.settingsWindow();
        QVERIFY(form3->isVisible() && !r.window.isEnabled());
        QCOMPARE(placement(form3, &r.window), "transient inside");
        auto* delay = child<QLineEdit>(form3, "DelayTxt");
        QCOMPARE(delay->text(), "2");
        auto* node = child<QLineEdit>(form3, "TxTNode");
        node->clear();
        QTest::keyClicks(node, "123");
        delay->setFocus();
        QTest::keyClick(delay, Qt::Key_Backspace);
        QTest::keyClicks(delay, typed);
        QCOMPARE(delay->text(), typed); // nothing rewritten while typing
        if (end == 0)
            click(form3, "OkButton");
        else if (end == Qt::Key_Close)
            form3->close();
        else if (end == Qt::Key_Tab) {
            QFocusEvent left(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(delay, &left);
        } else
            QTest::keyClick(delay, Qt::Key(end));
        QCOMPARE(delay->text(), shownAfter);
        QCOMPARE(r.u.protocol().downloadDelay(), downloadDelay);
        if (end == Qt::Key_Tab)
            form3->close();
        QVERIFY(!form3->isVisible() && r.window.isEnabled());
        QCOMPARE(readFile(r.dir.filePath("e2prom.dat")), saved);
    }

    // "Download File" of the main window opens the window with the file it names (in
    // any case); the toolbar's "Download" and a name not listed take the first file.
    // The highlight follows the name box, also after the panels change.
    void carriesChosenFile_data()
    {
        addColumns<QString, QString>("chosen", "opensWith");
        addRow("chosen file", QString("move.cmd"), QString("move.cmd"));
        addRow("other case", QString("MOVE.CMD"), QString("move.cmd"));
        addRow("toolbar Download", QString(), QString("a.cmd"));
        addRow("not listed", QString("gone.cmd"), QString("a.cmd"));
    }
    void carriesChosenFile()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, opensWith);
        Rig r;
        for (const char* name : { "a.cmd", "move.cmd", "z.txt" })
            writeFixture(r.dir.filePath(name), "1 HO\r\n");
        QObject::connect(r.core.get(), &TerminalCore::downloadWindowRequested, &r.window,
            &DownloadWindow::showWindow);
        if (chosen.isEmpty())
            r.core->openDownloadWindow();
        else
            r.core->openDownloadWindowFor(chosen);
        auto* list = child<QListWidget>(&r.window, "Filelist");
        auto* name = child<QLineEdit>(&r.window, "Filename");
        const auto agree = [&] {
            const QListWidgetItem* item = list->currentItem();
            return QStringLiteral("%1|%2").arg(name->text(), item ? item->text() : QString());
        };
        QCOMPARE(agree(), opensWith + '|' + opensWith);
        click(&r.window, "Command1");
        click(&r.window, "Command2");
        QCOMPARE(agree(), "|");
        QTest::keyClicks(name, "Z.TXT");
        QCOMPARE(agree(), "Z.TXT|z.txt");
    }

    // The window, its progress, settings and special functions windows open transient
    // for the window that opened them and wholly on the screen, even from an owner at
    // the screen's edge; the download window keeps one size whichever panel shows and
    // after a directory read.
    void placementAndSize()
    {
        QWidget main;
        main.resize(400, 300);
        const QRect screen = main.screen()->availableGeometry();
        main.move(screen.right() - 200, screen.bottom() - 150);
        main.show();
        Rig r;
        DownloadController u(*r.core, r.prompter);
        DownloadWindow window(u, &main);
        window.showWindow();
        QCOMPARE(placement(&window, &main), "transient inside");
        const QSize size = window.size();
        for (const char* panel : { "Command1", "Command7", "Command2", "Command1", "Command6" }) {
            click(&window, panel);
            QCOMPARE(window.size(), size);
        }
        QStringList seen;
        QObject::connect(&u, &DownloadController::changed, &window, [&] {
            if (seen.isEmpty() && window.progressWindow()->isVisible())
                seen << placement(window.progressWindow(), &window)
                        + window.progressWindow()->windowTitle();
        });
        click(&window, "Command6");
        QCOMPARE(seen, QStringList { "transient insideReading" });
        click(&window, "Command15");
        QCOMPARE(placement(window.specialWindow(), &window), "transient inside");
        window.specialWindow()->close();
        u.exitall();
    }

    // The checksum frame shows the last verification's sums also when it is opened after
    // the download.
    void checksumsKeptWhileHidden()
    {
        Rig r(true, true);
        writeFixture(r.dir.filePath("x.cmd"), "1 HO\r\n");
        r.window.showWindow();
        r.prompter.answers = { PromptAnswer::No, PromptAnswer::No };
        click(&r.window, "DnloadButton");
        QCOMPARE(r.u.lastDownload().kind, Outcome::Completed);
        QTest::mouseDClick(&r.window, Qt::LeftButton);
        const QString calculated = child<QLineEdit>(&r.window, "Text3")->text();
        QVERIFY(!calculated.isEmpty());
        QCOMPARE(child<QLineEdit>(&r.window, "Text4")->text(), calculated);
    }

    // The combination panel: shown by "Combination", the chooser's start text, and a
    // combination built by double clicks and saved with the buttons.
    void comboBuildAndSave()
    {
        Rig r;
        writeFixture(r.dir.filePath("a.cmd"), "1 HO\r\n");
        r.window.showWindow();
        auto* chooser = child<QComboBox>(&r.window, "ComboActive");
        QCOMPARE(chooser->currentText(), "Use extension   *.CMB");
        click(&r.window, "Command7");
        QVERIFY(child(&r.window, "ComboFrame")->isVisible());

        auto* files = child<QListWidget>(&r.window, "File2");
        const QPoint item = files->visualItemRect(files->item(0)).center();
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, item);
        QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, item);
        auto* list = child<QListWidget>(&r.window, "ComboFileList");
        QCOMPARE(list->count(), 1);
        QTest::keyClicks(child<QLineEdit>(&r.window, "Text1"), "1");
        QCOMPARE(list->currentRow(), 0);
        chooser->lineEdit()->clear();
        QTest::keyClicks(chooser->lineEdit(), "N.CMB");
        click(&r.window, "Command8");
        QCOMPARE(r.prompter.texts(), QStringList { "File Saved!" });
        QCOMPARE(readFile(r.dir.filePath("N.CMB")), "BootMacro=1\r\na.cmd\r\n");
        QCOMPARE(chooser->count(), 1);
        // The saved combination stays chosen: it can be downloaded at once.
        QCOMPARE(chooser->currentText(), "N.CMB");
        QCOMPARE(r.u.combo.combinationName(), "N.CMB");

        // "Boot Macro" sits beside its box; a started macro is said in the status line.
        const QWidget* boot = child(&r.window, "Text1");
        const QWidget* bootLabel = nullptr;
        for (const QLabel* l : r.window.findChildren<QLabel*>())
            if (l->text() == "Boot Macro")
                bootLabel = l;
        QVERIFY(bootLabel && bootLabel->geometry().right() < boot->geometry().left());
        QVERIFY(qAbs(bootLabel->geometry().center().y() - boot->geometry().center().y()) < 4);
        click(&r.window, "MacExeCmd");
        QCOMPARE(child<QLabel>(&r.window, "StatusText")->text(), "Macro 1 (a.cmd) started.");
    }

    // "Special" disables the download window until it closes, a double click shows the
    // text-or-number choice, and an upload shows the progress window while the dialog
    // waits.
    void specialUpload()
    {
        Rig r;
        r.window.showWindow();
        click(&r.window, "Command15");
        SpecialFunctionsDialog* form6 = r.window.specialWindow();
        QVERIFY(form6->isVisible() && !r.window.isEnabled());
        QCOMPARE(form6->windowTitle(), "Special Functions");
        QCOMPARE(child<QLineEdit>(form6, "Filename3")->text(), "Temporary.cmd");

        // One line per state: download window, dialog, progress window.
        QStringList seen;
        const auto state = [&] {
            seen << QStringLiteral("%1 %2 %3")
                        .arg(r.window.isEnabled())
                        .arg(form6->isEnabled())
                        .arg(r.window.progressWindow()->isVisible());
        };
        QWidget* frame3 = child(form6, "Frame3");
        for (bool visible : { true, false, true }) {
            QTest::mouseDClick(form6, Qt::LeftButton);
            QCOMPARE(frame3->isVisible(), visible);
        }
        click(form6, "ReadNumberOpt");
        QTest::keyClicks(child<QLineEdit>(form6, "Text1"), "502");
        QTest::keyClicks(child<QLineEdit>(form6, "Text2"), "1");
        QObject::connect(&r.u.protocol(), &EepromProtocol::progressChanged, form6, state);
        state();
        click(form6, "Command2");
        state();
        QCOMPARE(seen, QStringList({ "0 1 0", "0 0 1", "0 1 0" }));
        QCOMPARE(readFile(r.dir.filePath("Temporary.cmd")), QByteArray(" 255\r\n"));
        auto* status = child<QLabel>(form6, "StatusText");
        QCOMPARE(status->text(), "Read 1 bytes from location 502 as numbers into Temporary.cmd.");
        // The choice stays for Read Back, and the upload panel shows it.
        QVERIFY(child<QCheckBox>(&r.window, "ReadAsNumbers")->isChecked());

        // Clear Macros asks first; No leaves the memory, Yes marks it and says so.
        const QByteArray mark = r.memory(503, 1);
        r.prompter.answers = { PromptAnswer::No };
        click(form6, "Command1");
        QCOMPARE(r.prompter.texts().last(), SpecialFunctions::ClearQuestion);
        QCOMPARE(r.memory(503, 1), mark);
        r.prompter.answers = { PromptAnswer::Yes };
        click(form6, "Command1");
        QCOMPARE(r.prompter.texts().last(), SpecialFunctions::ClearedText);
        QCOMPARE(status->text(), SpecialFunctions::ClearedText);
        QTRY_COMPARE(r.memory(503, 1), QByteArray("I"));
        click(form6, "Command3");
        QCOMPARE(status->text(), "Macro execution stopped on every node.");

        form6->close();
        QVERIFY(!form6->isVisible() && r.window.isEnabled());
    }
};

QTEST_MAIN(TstUtility)
#include "tst_downloadwindow.moc"
