// The configuration window as the operator uses it: its controls, Save and Exit,
// the status description option, the directory list, and the buttons that talk to
// the controller. The delay roundings are tst_configuration's txDelayFromText.

#include "ui/form4.h"

#include "../common/datarow.h"
#include "../common/ptypair.h"
#include "../common/widgets.h"
#include "../config/configrig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

// The main window's Setup button, with the window connected as the program does.
struct Window
{
    explicit Window(ConfigRig& rig)
        : form(*rig.config)
    {
        QObject::connect(
            rig.core.get(), &TerminalCore::configWindowRequested, &form, &Form4::showWindow);
        rig.core->CmdSetup_Click();
    }
    QString currentDir() { return list()->currentItem()->data(Qt::UserRole).toString(); }
    QListWidget* list() { return child<QListWidget>(&form, "Dir1"); }
    void selectDirectory(const QString& path)
    {
        for (int i = 0; i < list()->count(); ++i) {
            if (list()->item(i)->data(Qt::UserRole).toString() == path) {
                list()->setCurrentRow(i);
                QTest::keyClick(list(), Qt::Key_Return);
                return;
            }
        }
        QFAIL(qPrintable("not in the directory list: " + path));
    }
    Form4 form;
};

} // namespace

class TestForm4 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Captions and tooltips (none where none is given), then the settings in force;
    // closed by the title bar it saves nothing.
    void showsSettingsInForceCloseSavesNothing()
    {
        ConfigRig rig({ { 6, "/nonexistent/ttyUSB9" } }, 6,
            QJsonObject { { "BaudRate", 38400 }, { "DecodeStatus", "False" },
                { "DecimalValues", "True" }, { "Protocol", 485 }, { "CheckSum", "True" },
                { "TxDelay", 7 } });
        Window w(rig);
        QCOMPARE(w.form.windowTitle(), "Configuration");
        QList<std::array<QString, 3>> texts { { "OptCom1", "Com1", "" } };
        for (int n = 2; n <= 8; ++n)
            texts.append({ QStringLiteral("Optcom%1").arg(n), QStringLiteral("Com%1").arg(n), "" });
        for (const char* b : { "9600", "19200", "38400", "57600" })
            texts.append({ QStringLiteral("Opt") + b, b, "" });
        for (const char* f : { "Frame1|Communications", "Frame2|Options", "Frame3|Directory",
                 "Frame5|Port", "Frame6|Baud", "Label1|Drive", "Label2|Delay",
                 "ChkRS232|RS232 Version", "SaveAndExit|Save and Exit" })
            texts.append({ QString(f).section('|', 0, 0), QString(f).section('|', 1), "" });
        texts += { { "AutoConfigure", "Auto Configure",
                       "Configures automatically the Serial Port and Baud rate" },
            { "ChkStatus", "Show Status Description", "Activates Status display for debugging" },
            { "ChkDecimal", "Show Decimal Numbers",
                "Translates the TYX's HEX response to a Decimal number in the Receive Data "
                "window" },
            { "CheckSumChk", "Checksum Enabled",
                "Activates Checksum option please see the \"CK\" command in the help command "
                "section" },
            { "Debug", "DEBUG",
                "Creates a Debug File  (TYXLOG) you can email to TYX technical support" } };
        for (const auto& [name, caption, tooltip] : texts) {
            QWidget* c = child(&w.form, name);
            QVERIFY(qobject_cast<QAbstractButton*>(c) || qobject_cast<QGroupBox*>(c)
                || qobject_cast<QLabel*>(c));
            const char* property = qobject_cast<QGroupBox*>(c) ? "title" : "text";
            QCOMPARE(QStringList({ name, c->property(property).toString(), c->toolTip() }),
                QStringList({ name, caption, tooltip }));
        }

        QVERIFY(w.form.isVisible());
        QVERIFY(!rig.core->windowEnabled);
        for (const auto& [name, checked] :
            { std::pair { "Optcom6", true }, { "Opt38400", true }, { "ChkStatus", false },
                { "ChkDecimal", true }, { "ChkRS232", false }, { "CheckSumChk", true } })
            QVERIFY2(child<QAbstractButton>(&w.form, name)->isChecked() == checked, name);
        QCOMPARE(child<QLineEdit>(&w.form, "TXdelay")->text(), "7");
        QCOMPARE(w.form.comDeviceBox(6)->currentText(), "/nonexistent/ttyUSB9");
        QCOMPARE(child<QComboBox>(&w.form, "Drive1")->currentText(), "/");
        QCOMPARE(w.currentDir(), rig.workDir);

        // Closed by the title bar: the main window works again, nothing is saved.
        const QByteArray before = readFile(rig.storePath);
        click(&w.form, "Optcom7");
        QVERIFY(w.form.close());
        QVERIFY(!w.form.isVisible());
        QVERIFY(rig.core->windowEnabled);
        QCOMPARE(readFile(rig.storePath), before);
    }

    // A directory that went away is refused and the list keeps the choice in force;
    // another takes effect at once, before the save.
    void saveAndExit()
    {
        PtyPair pair;
        QVERIFY(pair.isValid());
        ConfigRig rig;
        const QString cmds = QDir(rig.workDir).filePath("cmds");
        const QString gone = QDir(rig.workDir).filePath("gone");
        QVERIFY(QDir().mkpath(cmds) && QDir().mkpath(gone));
        for (const char* name : { "a.cmd", "B.CMD", "notes.txt" })
            QVERIFY(writeFile(QDir(cmds).filePath(name), "0 ST\r\n"));
        rig.core->Filename = "old.cmd";
        QVERIFY(!rig.core->link.isOpen());

        Window w(rig);
        QVERIFY(QDir(gone).removeRecursively());
        w.selectDirectory(gone);
        QCOMPARE(rig.cfg.Dir1, rig.workDir);
        QCOMPARE(rig.core->currentWorkingDir, rig.workDir);
        QCOMPARE(rig.prompter.shown.size(), 1);
        QVERIFY(rig.prompter.shown[0].text.contains("cannot be read"));
        QCOMPARE(w.currentDir(), rig.workDir);
        w.form.refreshControls();
        w.selectDirectory(cmds);
        QCOMPARE(rig.core->currentWorkingDir, cmds);
        QCOMPARE(rig.stored()["WorkingDir"].toString(), rig.workDir);

        QComboBox* device = w.form.comDeviceBox(3);
        device->lineEdit()->selectAll();
        QTest::keyClicks(device->lineEdit(), pair.slavePath());
        for (const char* name : { "Optcom3", "Opt38400", "ChkDecimal", "ChkRS232", "CheckSumChk" })
            click(&w.form, name);
        auto* delay = child<QLineEdit>(&w.form, "TXdelay");
        delay->selectAll();
        QTest::keyClick(delay, Qt::Key_Delete);
        QTest::keyClicks(delay, "2.5"); // rounded half to even
        click(&w.form, "SaveAndExit");

        const QJsonObject expected { { "ComPort", 3 }, { "BaudRate", 38400 },
            { "DecimalValues", "False" }, { "Protocol", 485 }, { "CheckSum", "False" },
            { "DecodeStatus", "True" }, { "TxDelay", 2 }, { "WorkingDir", cmds },
            { "ComDevice3", pair.slavePath() } };
        QJsonObject stored;
        for (const QString& key : expected.keys())
            stored.insert(key, rig.stored()[key]);
        QCOMPARE(stored, expected);
        QCOMPARE(rig.settings->record.TxDelay, 2);

        // The port reopened with the new settings.
        QVERIFY(rig.core->link.isOpen());
        QCOMPARE(rig.core->link.device(), pair.slavePath());
        QCOMPARE(rig.core->link.baud(), 38400);
        QVERIFY(rig.core->portReady);

        // Back in the main window, with its file list from the new directory.
        QVERIFY(!w.form.isVisible());
        QVERIFY(rig.core->windowEnabled);
        QCOMPARE(rig.core->filelistPath, cmds);
        QCOMPARE(rig.core->filelistPattern, "*.Cmd");
        QCOMPARE(rig.core->Filelist, QStringList({ "a.cmd", "B.CMD" }));
        QVERIFY(rig.core->Filename.isEmpty());
        QCOMPARE(rig.prompter.shown.size(), 1); // the refusal alone
    }

    void chkStatusClick()
    {
        ConfigRig rig;
        Window w(rig);
        rig.core->List1 = QStringList { "Drive disabled" };
        rig.core->List2 = QStringList { "Position error" };
        rig.core->TextRecv = "0 0100";
        QVERIFY(rig.core->Frame7Visible);
        QVERIFY(child<QCheckBox>(&w.form, "ChkStatus")->isChecked());

        click(&w.form, "ChkStatus");
        QCOMPARE(rig.cfg.ChkStatus, 0);
        QVERIFY(rig.core->List1.isEmpty());
        QVERIFY(rig.core->List2.isEmpty());
        QVERIFY(rig.core->TextRecv.isEmpty());
        QVERIFY(!rig.core->Frame7Visible);

        rig.core->TextRecv = "0 0004";
        click(&w.form, "ChkStatus");
        QCOMPARE(rig.cfg.ChkStatus, 1);
        QVERIFY(rig.core->TextRecv.isEmpty());
        QVERIFY(rig.core->Frame7Visible);
    }

    void autoConfigureButton()
    {
        ConfigRig rig({ { 3, "sim: --baud 19200" } });
        Window w(rig);
        click(&w.form, "AutoConfigure");
        QVERIFY(child<QRadioButton>(&w.form, "Optcom3")->isChecked());
        QVERIFY(child<QRadioButton>(&w.form, "Opt19200")->isChecked());
        QVERIFY(!child<QCheckBox>(&w.form, "CheckSumChk")->isChecked());
        QVERIFY(w.form.isVisible()); // the window stays open
        QVERIFY(child(&w.form, "SaveAndExit")->isEnabled());
        QCOMPARE(rig.prompter.texts().last(), PortProbe::ProbeSuccessText);
    }

    void debugButton()
    {
        PtyPair pair;
        QVERIFY(pair.isValid());
        ConfigRig rig({ { 2, pair.slavePath() } });
        Window w(rig);
        bool disabledWhileWorking = false;
        rig.prompter.onShow
            = [&](const PromptMessage&) { disabledWhileWorking = !w.form.isEnabled(); };
        click(&w.form, "Debug");
        QVERIFY(disabledWhileWorking);
        QVERIFY(w.form.isEnabled());
        QCOMPARE(readFile(rig.logPath()).size(), 1000);
        QCOMPARE(rig.prompter.texts(), QStringList({ PortProbe::DebugSuccessText }));
    }
};

QTEST_MAIN(TestForm4)
#include "tst_form4.moc"
