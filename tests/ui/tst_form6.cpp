// The special functions window as the operator sees it: "Special" disables the
// download window until it closes, a double click shows the text-or-number choice,
// and an upload shows the progress window while the dialog waits.

#include "../common/corerig.h"
#include "../common/testfiles.h"

#include "eeprom/e2promrecord.h"
#include "ui/form1.h"
#include "ui/form6.h"
#include "ui/utility.h"
#include "utility/utilitycore.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

class TstForm6 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void uploadFromTheDialog()
    {
        SimOptions options;
        options.baud = 57600;
        SimCoreRig r(options);
        writeFixture(r.dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", false));
        UtilityCore u(*r.core, r.prompter);
        utility window(u);
        window.showWindow();
        QTest::mouseClick(window.findChild<QPushButton*>("Command15"), Qt::LeftButton);
        Form6* form6 = window.specialWindow();
        QVERIFY(form6->isVisible() && !window.isEnabled());
        QCOMPARE(form6->windowTitle(), "Special Functions");
        QCOMPARE(form6->findChild<QLineEdit*>("Filename3")->text(), "Temporary.cmd");

        // One line per state: download window, dialog, progress window.
        QStringList seen;
        const auto state = [&] {
            seen << QStringLiteral("%1 %2 %3")
                        .arg(window.isEnabled())
                        .arg(form6->isEnabled())
                        .arg(window.progressWindow()->isVisible());
        };
        auto* frame3 = form6->findChild<QWidget*>("Frame3");
        for (bool visible : { true, false, true }) {
            QTest::mouseDClick(form6, Qt::LeftButton);
            QCOMPARE(frame3->isVisible(), visible);
        }
        QTest::mouseClick(form6->findChild<QRadioButton*>("ReadNumberOpt"), Qt::LeftButton);
        QTest::keyClicks(form6->findChild<QLineEdit*>("Text1"), "502");
        QTest::keyClicks(form6->findChild<QLineEdit*>("Text2"), "1");
        QObject::connect(&u.protocol, &EepromProtocol::progressChanged, form6, state);
        state();
        QTest::mouseClick(form6->findChild<QPushButton*>("Command2"), Qt::LeftButton);
        state();
        QCOMPARE(seen, QStringList({ "0 1 0", "0 0 1", "0 1 0" }));
        QCOMPARE(readFile(r.dir.filePath("Temporary.cmd")), QByteArray(" 255\r\n"));

        form6->close();
        QVERIFY(!form6->isVisible() && window.isEnabled());
    }
};

QTEST_MAIN(TstForm6)
#include "tst_form6.moc"
