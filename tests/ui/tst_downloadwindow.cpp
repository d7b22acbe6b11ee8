// The download window and its dialogs as the operator sees them: what is enabled and
// shown before, during and after "Download File", the progress window and its Cancel,
// the checksum frame, the settings window, the combination panel, the special
// functions window, and the main window handed back on Exit.

#include "../common/corerig.h"
#include "../common/simargs.h"
#include "../common/testfiles.h"
#include "../common/widgets.h"

#include "core/ticktimer.h"
#include "eeprom/e2promrecord.h"
#include "ui/downloadsettingsdialog.h"
#include "ui/downloadwindow.h"
#include "ui/progressdialog.h"
#include "ui/specialfunctionsdialog.h"
#include "utility/downloadcontroller.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>

namespace {

// The download window over the simulated controller, not shown yet; `record`: an
// "e2prom.dat" for node 1 without checksums, else none.
struct Rig : SimCoreRig
{
    DownloadController u { *core, prompter };
    DownloadWindow window { u };

    explicit Rig(bool record = true)
        : SimCoreRig(simOptions("--baud 57600"))
    {
        if (record)
            writeFixture(dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", false));
    }
};

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
        QCOMPARE(seen,
            QStringList({ "1 1 1 0 Downloading..", "0 0 0 1 Downloading..", "0 0 0 1 cancelling..",
                "1 1 1 0 cancelling.." }));
        QCOMPARE(r.u.lastDownload().kind, Outcome::Cancelled);
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

    // Setup on an empty "e2prom.dat": the defaults show; a delay below 1 becomes 1,
    // and closing the window saves the record with the last two characters of each.
    void settingsWindow()
    {
        Rig r(false);
        r.window.showWindow();
        click(&r.window, "CmdSetup");
        QWidget* form3 = r.window.settingsWindow();
        QVERIFY(form3->isVisible() && !r.window.isEnabled());
        auto* delay = child<QLineEdit>(form3, "DelayTxt");
        QCOMPARE(delay->text(), "2");
        delay->clear();
        QTest::keyClicks(delay, "0");
        QCOMPARE(delay->text(), "1");
        QCOMPARE(r.u.protocol().downloadDelay(), 2);
        auto* node = child<QLineEdit>(form3, "TxTNode");
        node->clear();
        QTest::keyClicks(node, "123");
        form3->close();
        QVERIFY(r.window.isEnabled());
        QCOMPARE(
            readFile(r.dir.filePath("e2prom.dat")), QByteArray("01230").leftJustified(500, ' '));
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

        form6->close();
        QVERIFY(!form6->isVisible() && r.window.isEnabled());
    }
};

QTEST_MAIN(TstUtility)
#include "tst_downloadwindow.moc"
