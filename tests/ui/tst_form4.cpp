// The configuration window as the operator uses it: its controls, Save and Exit,
// the status description option, the directory list, and the buttons that talk to
// the controller. The delay roundings are tst_configuration's txDelayFromText.

#include "ui/form4.h"

#include "../common/datarow.h"
#include "../common/ptypair.h"
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

template <typename T = QWidget> T* child(QWidget& w, const QString& name)
{
    T* c = w.findChild<T*>(name);
    if (!c)
        qFatal("no control %s", qPrintable(name));
    return c;
}

void click(QWidget& form, const QString& name)
{
    QTest::mouseClick(child(form, name), Qt::LeftButton);
}

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
    QListWidget* list() { return child<QListWidget>(form, "Dir1"); }
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
    void captions_data();
    void captions();
    void showsSettingsInForceCloseSavesNothing();
    void saveAndExit();
    void chkStatusClick();
    void directoryGoneKeepsChoice();
    void autoConfigureButton();
    void debugButton();
};

void TestForm4::captions_data()
{
    addColumns<QString, QString, QString>("name", "caption", "tooltip");
    addRow("OptCom1", "OptCom1", "Com1", "");
    for (int n = 2; n <= 8; ++n)
        addRow(qPrintable(QStringLiteral("Optcom%1").arg(n)), QStringLiteral("Optcom%1").arg(n),
            QStringLiteral("Com%1").arg(n), QString());
    for (const char* b : { "9600", "19200", "38400", "57600" })
        addRow(b, QStringLiteral("Opt") + b, QString::fromLatin1(b), QString());
    addRow("AutoConfigure", "AutoConfigure", "Auto Configure",
        "Configures automatically the Serial Port and Baud rate");
    addRow("ChkStatus", "ChkStatus", "Show Status Description",
        "Activates Status display for debugging");
    addRow("ChkDecimal", "ChkDecimal", "Show Decimal Numbers",
        "Translates the TYX's HEX response to a Decimal number in the Receive Data window");
    addRow("ChkRS232", "ChkRS232", "RS232 Version", "");
    addRow("CheckSumChk", "CheckSumChk", "Checksum Enabled",
        "Activates Checksum option please see the \"CK\" command in the help command section");
    addRow("Debug", "Debug", "DEBUG",
        "Creates a Debug File  (TYXLOG) you can email to TYX technical support");
    addRow("SaveAndExit", "SaveAndExit", "Save and Exit", "");
    addRow("Label1", "Label1", "Drive", "");
    addRow("Label2", "Label2", "Delay", "");
    for (const auto& [name, title] :
        { std::pair { "Frame1", "Communications" }, { "Frame2", "Options" },
            { "Frame3", "Directory" }, { "Frame5", "Port" }, { "Frame6", "Baud" } })
        addRow(name, name, title, "");
}

void TestForm4::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);
    ConfigRig rig;
    Form4 form(*rig.config);
    QCOMPARE(form.windowTitle(), "Configuration");
    QWidget* w = child(form, name);
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        QCOMPARE(button->text(), caption);
    else if (auto* frame = qobject_cast<QGroupBox*>(w))
        QCOMPARE(frame->title(), caption);
    else
        QCOMPARE(child<QLabel>(form, name)->text(), caption);
    QCOMPARE(w->toolTip(), tooltip);
}

void TestForm4::showsSettingsInForceCloseSavesNothing()
{
    ConfigRig rig({ { 6, "/nonexistent/ttyUSB9" } }, 6,
        QJsonObject { { "BaudRate", 38400 }, { "DecodeStatus", "False" },
            { "DecimalValues", "True" }, { "Protocol", 485 }, { "CheckSum", "True" },
            { "TxDelay", 7 } });
    Window w(rig);
    QVERIFY(w.form.isVisible());
    QVERIFY(!rig.core->windowEnabled);
    for (const auto& [name, checked] :
        { std::pair { "Optcom6", true }, { "Opt38400", true }, { "ChkStatus", false },
            { "ChkDecimal", true }, { "ChkRS232", false }, { "CheckSumChk", true } })
        QVERIFY2(child<QAbstractButton>(w.form, name)->isChecked() == checked, name);
    QCOMPARE(child<QLineEdit>(w.form, "TXdelay")->text(), "7");
    QCOMPARE(w.form.comDeviceBox(6)->currentText(), "/nonexistent/ttyUSB9");
    QCOMPARE(child<QComboBox>(w.form, "Drive1")->currentText(), "/");
    QCOMPARE(w.currentDir(), rig.workDir);

    // Closed by the title bar: the main window works again, nothing is saved.
    const QByteArray before = readFile(rig.storePath);
    click(w.form, "Optcom7");
    QVERIFY(w.form.close());
    QVERIFY(!w.form.isVisible());
    QVERIFY(rig.core->windowEnabled);
    QCOMPARE(readFile(rig.storePath), before);
}

void TestForm4::saveAndExit()
{
    PtyPair pair;
    QVERIFY(pair.isValid());
    ConfigRig rig;
    const QString cmds = QDir(rig.workDir).filePath("cmds");
    QVERIFY(QDir().mkpath(cmds));
    for (const char* name : { "a.cmd", "B.CMD", "notes.txt" })
        QVERIFY(writeFile(QDir(cmds).filePath(name), "0 ST\r\n"));
    rig.core->Filename = "old.cmd";
    QVERIFY(!rig.core->link.isOpen());

    Window w(rig);
    // Directory first: it takes effect at once, before the save.
    w.form.refreshControls();
    w.selectDirectory(cmds);
    QCOMPARE(rig.core->currentWorkingDir, cmds);
    QCOMPARE(rig.stored()["WorkingDir"].toString(), rig.workDir);

    QComboBox* device = w.form.comDeviceBox(3);
    device->lineEdit()->selectAll();
    QTest::keyClicks(device->lineEdit(), pair.slavePath());
    for (const char* name : { "Optcom3", "Opt38400", "ChkDecimal", "ChkRS232", "CheckSumChk" })
        click(w.form, name);
    auto* delay = child<QLineEdit>(w.form, "TXdelay");
    delay->selectAll();
    QTest::keyClick(delay, Qt::Key_Delete);
    QTest::keyClicks(delay, "2.5"); // rounded half to even
    click(w.form, "SaveAndExit");

    const QJsonObject v = rig.stored();
    QCOMPARE(v["ComPort"].toInt(), 3);
    QCOMPARE(v["BaudRate"].toInt(), 38400);
    QCOMPARE(v["DecimalValues"].toString(), "False");
    QCOMPARE(v["Protocol"].toInt(), 485);
    QCOMPARE(v["CheckSum"].toString(), "False");
    QCOMPARE(v["DecodeStatus"].toString(), "True");
    QCOMPARE(v["TxDelay"].toInt(), 2);
    QCOMPARE(rig.settings->record.TxDelay, 2);
    QCOMPARE(v["WorkingDir"].toString(), cmds);
    QCOMPARE(v["ComDevice3"].toString(), pair.slavePath());

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
    QVERIFY(rig.prompter.shown.isEmpty());
}

void TestForm4::chkStatusClick()
{
    ConfigRig rig;
    Window w(rig);
    rig.core->List1 = QStringList { "Drive disabled" };
    rig.core->List2 = QStringList { "Position error" };
    rig.core->TextRecv = "0 0100";
    QVERIFY(rig.core->Frame7Visible);
    QVERIFY(child<QCheckBox>(w.form, "ChkStatus")->isChecked());

    click(w.form, "ChkStatus");
    QCOMPARE(rig.cfg.ChkStatus, 0);
    QVERIFY(rig.core->List1.isEmpty());
    QVERIFY(rig.core->List2.isEmpty());
    QVERIFY(rig.core->TextRecv.isEmpty());
    QVERIFY(!rig.core->Frame7Visible);

    rig.core->TextRecv = "0 0004";
    click(w.form, "ChkStatus");
    QCOMPARE(rig.cfg.ChkStatus, 1);
    QVERIFY(rig.core->TextRecv.isEmpty());
    QVERIFY(rig.core->Frame7Visible);
}

void TestForm4::directoryGoneKeepsChoice()
{
    ConfigRig rig;
    const QString gone = QDir(rig.workDir).filePath("gone");
    QVERIFY(QDir().mkpath(gone));
    Window w(rig);
    QVERIFY(QDir(gone).removeRecursively());
    w.selectDirectory(gone);
    QCOMPARE(rig.cfg.Dir1, rig.workDir);
    QCOMPARE(rig.core->currentWorkingDir, rig.workDir);
    QCOMPARE(rig.prompter.shown.size(), 1);
    QVERIFY(rig.prompter.shown[0].text.contains("cannot be read"));
    QCOMPARE(w.currentDir(), rig.workDir);
}

void TestForm4::autoConfigureButton()
{
    ConfigRig rig({ { 3, "sim: --baud 19200" } });
    Window w(rig);
    click(w.form, "AutoConfigure");
    QVERIFY(child<QRadioButton>(w.form, "Optcom3")->isChecked());
    QVERIFY(child<QRadioButton>(w.form, "Opt19200")->isChecked());
    QVERIFY(!child<QCheckBox>(w.form, "CheckSumChk")->isChecked());
    QVERIFY(w.form.isVisible()); // the window stays open
    QVERIFY(child(w.form, "SaveAndExit")->isEnabled());
    QCOMPARE(rig.prompter.texts().last(), PortProbe::ProbeSuccessText);
}

void TestForm4::debugButton()
{
    PtyPair pair;
    QVERIFY(pair.isValid());
    ConfigRig rig({ { 2, pair.slavePath() } });
    Window w(rig);
    bool disabledWhileWorking = false;
    rig.prompter.onShow = [&](const PromptMessage&) { disabledWhileWorking = !w.form.isEnabled(); };
    click(w.form, "Debug");
    QVERIFY(disabledWhileWorking);
    QVERIFY(w.form.isEnabled());
    QCOMPARE(readFile(rig.logPath()).size(), 1000);
    QCOMPARE(rig.prompter.texts(), QStringList({ PortProbe::DebugSuccessText }));
}

QTEST_MAIN(TestForm4)
#include "tst_form4.moc"
