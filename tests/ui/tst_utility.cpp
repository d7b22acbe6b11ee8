// The download window as the operator sees it: what is enabled and shown before,
// during and after "Download File", the progress window and its Cancel, the checksum
// frame, the settings window, and the main window handed back on Exit.

#include "../common/corerig.h"
#include "../common/testfiles.h"
#include "../common/widgets.h"

#include "core/ticktimer.h"
#include "eeprom/e2promrecord.h"
#include "ui/form1.h"
#include "ui/form3.h"
#include "ui/utility.h"
#include "utility/utilitycore.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

class TstUtility : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void downloadShowsProgressAndCancels()
    {
        SimOptions options;
        options.baud = 57600;
        SimCoreRig r(options);
        writeFixture(r.dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", false));
        writeFixture(r.dir.filePath("x.cmd"), "1 HO\r\n1 AC 100\r\n");
        UtilityCore u(*r.core, r.prompter);
        utility window(u);
        window.showWindow();
        QVERIFY(window.isVisible() && !r.core->windowEnabled); // the main window waits
        QCOMPARE(u.Filename, "x.cmd");

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
        QObject::connect(&u.protocol, &EepromProtocol::progressChanged, &window, [&](int percent) {
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
        QCOMPARE(u.lastDownload, UtilityCore::Outcome::Cancelled);
        QCOMPARE(r.memory(503, 1), QByteArray("I"));

        // A double click shows the checksum frame and a second hides it again.
        QWidget* frame = child(&window, "HiddenFrame");
        for (bool visible : { true, false }) {
            QTest::mouseDClick(&window, Qt::LeftButton);
            QCOMPARE(frame->isVisible(), visible);
        }
        click(&window, "Command3");
        QVERIFY(!window.isVisible() && r.core->windowEnabled && !TickTimer::instance().isRunning());
    }

    // Setup on an empty "e2prom.dat": the defaults show; a delay below 1 becomes 1,
    // and closing the window saves the record with the last two characters of each.
    void settingsWindow()
    {
        SimCoreRig r;
        UtilityCore u(*r.core, r.prompter);
        utility window(u);
        window.showWindow();
        click(&window, "CmdSetup");
        QWidget* form3 = window.settingsWindow();
        QVERIFY(form3->isVisible() && !window.isEnabled());
        auto* delay = child<QLineEdit>(form3, "DelayTxt");
        QCOMPARE(delay->text(), "2");
        delay->clear();
        QTest::keyClicks(delay, "0");
        QCOMPARE(delay->text(), "1");
        QCOMPARE(u.protocol.DownloadDelay, 2);
        auto* node = child<QLineEdit>(form3, "TxTNode");
        node->clear();
        QTest::keyClicks(node, "123");
        form3->close();
        QVERIFY(window.isEnabled());
        QCOMPARE(
            readFile(r.dir.filePath("e2prom.dat")), QByteArray("01230").leftJustified(500, ' '));
    }
};

QTEST_MAIN(TstUtility)
#include "tst_utility.moc"
