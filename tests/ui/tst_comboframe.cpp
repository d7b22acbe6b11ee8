// The combination panel as the operator sees it: shown by "Combination", the chooser's
// start text, and a combination built by double clicks and saved with the buttons.

#include "../common/corerig.h"
#include "../common/testfiles.h"

#include "ui/utility.h"
#include "utility/combopanel.h"
#include "utility/utilitycore.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class TstComboFrame : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buildAndSave()
    {
        CoreRig r;
        writeFixture(r.dir.filePath("a.cmd"), "1 HO\r\n");
        UtilityCore u(*r.core, r.prompter);
        utility window(u);
        window.showWindow();
        auto* chooser = window.findChild<QComboBox*>("ComboActive");
        QCOMPARE(chooser->currentText(), "Use extension   *.CMB");
        QTest::mouseClick(window.findChild<QPushButton*>("Command7"), Qt::LeftButton);
        QVERIFY(window.findChild<QWidget*>("ComboFrame")->isVisible());

        auto* files = window.findChild<QListWidget*>("File2");
        const QPoint item = files->visualItemRect(files->item(0)).center();
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, item);
        QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, item);
        auto* list = window.findChild<QListWidget*>("ComboFileList");
        QCOMPARE(list->count(), 1);
        QTest::keyClicks(window.findChild<QLineEdit*>("Text1"), "1");
        QCOMPARE(list->currentRow(), 0);
        chooser->lineEdit()->clear();
        QTest::keyClicks(chooser->lineEdit(), "N.CMB");
        QTest::mouseClick(window.findChild<QPushButton*>("Command8"), Qt::LeftButton);
        QCOMPARE(r.prompter.texts(), QStringList { "File Saved!" });
        QCOMPARE(readFile(r.dir.filePath("N.CMB")), "BootMacro=1\r\na.cmd\r\n");
        QCOMPARE(chooser->count(), 1);
    }
};

QTEST_MAIN(TstComboFrame)
#include "tst_comboframe.moc"
