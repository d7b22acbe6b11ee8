// The configuration window as the operator uses it: its controls, Save and Exit,
// the status description option, the delay roundings, the directory list, and the
// buttons that talk to the controller.

#include "ui/form4.h"

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

template <typename T> T* child(QWidget& w, const QString& name)
{
    T* c = w.findChild<T*>(name);
    if (!c)
        qFatal("no control %s", qPrintable(name));
    return c;
}

std::array<QString, 9> mapping(std::initializer_list<std::pair<int, QString>> ports)
{
    std::array<QString, 9> devices {};
    for (const auto& [n, device] : ports)
        devices[size_t(n)] = device;
    return devices;
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
    Form4 form;
};

void selectDirectory(Form4& form, const QString& path)
{
    auto* list = child<QListWidget>(form, "Dir1");
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toString() == path) {
            list->setCurrentRow(i);
            QTest::keyClick(list, Qt::Key_Return);
            return;
        }
    }
    QFAIL(qPrintable("not in the directory list: " + path));
}

void replaceText(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

} // namespace

class TestForm4 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captions_data();
    void captions();
    void showsSettingsInForce();
    void saveAndExit();
    void txDelayRoundings_data();
    void txDelayRoundings();
    void chkStatusClick();
    void closeByTitleBar();
    void directoryGoneKeepsChoice();
    void autoConfigureButton();
    void debugButton();
};

void TestForm4::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("OptCom1") << "OptCom1"
                             << "Com1"
                             << "";
    for (int n = 2; n <= 8; ++n)
        QTest::newRow(qPrintable(QStringLiteral("Optcom%1").arg(n)))
            << QStringLiteral("Optcom%1").arg(n) << QStringLiteral("Com%1").arg(n) << "";
    for (const char* b : { "9600", "19200", "38400", "57600" })
        QTest::newRow(b) << QStringLiteral("Opt") + b << QString::fromLatin1(b) << "";
    QTest::newRow("AutoConfigure") << "AutoConfigure"
                                   << "Auto Configure"
                                   << "Configures automatically the Serial Port and Baud rate";
    QTest::newRow("ChkStatus") << "ChkStatus"
                               << "Show Status Description"
                               << "Activates Status display for debugging";
    QTest::newRow("ChkDecimal")
        << "ChkDecimal"
        << "Show Decimal Numbers"
        << "Translates the TYX's HEX response to a Decimal number in the Receive Data window";
    QTest::newRow("ChkRS232") << "ChkRS232"
                              << "RS232 Version"
                              << "";
    QTest::newRow("CheckSumChk")
        << "CheckSumChk"
        << "Checksum Enabled"
        << "Activates Checksum option please see the \"CK\" command in the help command section";
    QTest::newRow("Debug")
        << "Debug"
        << "DEBUG"
        << "Creates a Debug File  (TYXLOG) you can email to TYX technical support";
    QTest::newRow("SaveAndExit") << "SaveAndExit"
                                 << "Save and Exit"
                                 << "";
    QTest::newRow("Label1") << "Label1"
                            << "Drive"
                            << "";
    QTest::newRow("Label2") << "Label2"
                            << "Delay"
                            << "";
    for (const auto& [name, title] :
        { std::pair { "Frame1", "Communications" }, { "Frame2", "Options" },
            { "Frame3", "Directory" }, { "Frame5", "Port" }, { "Frame6", "Baud" } })
        QTest::newRow(name) << name << title << "";
}

void TestForm4::captions()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);
    ConfigRig rig(mapping({}));
    Form4 form(*rig.config);
    QCOMPARE(form.windowTitle(), "Configuration");
    QWidget* w = child<QWidget>(form, name);
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        QCOMPARE(button->text(), caption);
    else if (auto* frame = qobject_cast<QGroupBox*>(w))
        QCOMPARE(frame->title(), caption);
    else
        QCOMPARE(child<QLabel>(form, name)->text(), caption);
    QCOMPARE(w->toolTip(), tooltip);
}

void TestForm4::showsSettingsInForce()
{
    ConfigRig rig(mapping({ { 6, "/nonexistent/ttyUSB9" } }), 6,
        QJsonObject { { "BaudRate", 38400 }, { "DecodeStatus", "False" },
            { "DecimalValues", "True" }, { "Protocol", 485 }, { "CheckSum", "True" },
            { "TxDelay", 7 } });
    Window w(rig);
    QVERIFY(w.form.isVisible());
    QVERIFY(!rig.core->windowEnabled);
    QVERIFY(child<QRadioButton>(w.form, "Optcom6")->isChecked());
    QVERIFY(child<QRadioButton>(w.form, "Opt38400")->isChecked());
    QVERIFY(!child<QCheckBox>(w.form, "ChkStatus")->isChecked());
    QVERIFY(child<QCheckBox>(w.form, "ChkDecimal")->isChecked());
    QVERIFY(!child<QCheckBox>(w.form, "ChkRS232")->isChecked());
    QVERIFY(child<QCheckBox>(w.form, "CheckSumChk")->isChecked());
    QCOMPARE(child<QLineEdit>(w.form, "TXdelay")->text(), "7");
    QCOMPARE(w.form.comDeviceBox(6)->currentText(), "/nonexistent/ttyUSB9");
    QCOMPARE(child<QComboBox>(w.form, "Drive1")->currentText(), "/");
    auto* list = child<QListWidget>(w.form, "Dir1");
    QCOMPARE(list->currentItem()->data(Qt::UserRole).toString(), rig.workDir);
}

void TestForm4::saveAndExit()
{
    PtyPair pair;
    QVERIFY(pair.isValid());
    ConfigRig rig(mapping({}));
    const QString cmds = QDir(rig.workDir).filePath("cmds");
    QVERIFY(QDir().mkpath(cmds));
    for (const char* name : { "a.cmd", "B.CMD", "notes.txt" })
        QVERIFY(writeFile(QDir(cmds).filePath(name), "0 ST\r\n"));
    rig.core->Filename = "old.cmd";
    QVERIFY(!rig.core->link.isOpen());

    Window w(rig);
    // Directory first: it takes effect at once, before the save.
    w.form.refreshControls();
    selectDirectory(w.form, cmds);
    QCOMPARE(rig.core->currentWorkingDir, cmds);
    QCOMPARE(rig.stored()["WorkingDir"].toString(), rig.workDir);

    QComboBox* device = w.form.comDeviceBox(3);
    device->lineEdit()->selectAll();
    QTest::keyClicks(device->lineEdit(), pair.slavePath());
    QTest::mouseClick(child<QRadioButton>(w.form, "Optcom3"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>(w.form, "Opt38400"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(w.form, "ChkDecimal"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(w.form, "ChkRS232"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(w.form, "CheckSumChk"), Qt::LeftButton);
    replaceText(child<QLineEdit>(w.form, "TXdelay"), "6");
    QTest::mouseClick(child<QPushButton>(w.form, "SaveAndExit"), Qt::LeftButton);

    const QJsonObject v = rig.stored();
    QCOMPARE(v["ComPort"].toInt(), 3);
    QCOMPARE(v["BaudRate"].toInt(), 38400);
    QCOMPARE(v["DecimalValues"].toString(), "False");
    QCOMPARE(v["Protocol"].toInt(), 485);
    QCOMPARE(v["CheckSum"].toString(), "False");
    QCOMPARE(v["DecodeStatus"].toString(), "True");
    QCOMPARE(v["TxDelay"].toInt(), 6);
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

void TestForm4::txDelayRoundings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stored");
    QTest::newRow("0.4") << "0.4" << 1;
    QTest::newRow("2.5") << "2.5" << 2;
    QTest::newRow("3.5") << "3.5" << 4;
    QTest::newRow("not a number") << "soon" << 1;
}

void TestForm4::txDelayRoundings()
{
    QFETCH(QString, text);
    QFETCH(int, stored);
    ConfigRig rig(mapping({}));
    Window w(rig);
    replaceText(child<QLineEdit>(w.form, "TXdelay"), text);
    QCOMPARE(rig.cfg.TXdelay, text);
    QTest::mouseClick(child<QPushButton>(w.form, "SaveAndExit"), Qt::LeftButton);
    QCOMPARE(rig.stored()["TxDelay"].toInt(), stored);
    QCOMPARE(rig.settings.record.TxDelay, stored);
}

void TestForm4::chkStatusClick()
{
    ConfigRig rig(mapping({}));
    Window w(rig);
    rig.core->List1 = QStringList { "Drive disabled" };
    rig.core->List2 = QStringList { "Position error" };
    rig.core->TextRecv = "0 0100";
    QVERIFY(rig.core->Frame7Visible);
    auto* box = child<QCheckBox>(w.form, "ChkStatus");
    QVERIFY(box->isChecked());

    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(rig.cfg.ChkStatus, 0);
    QVERIFY(rig.core->List1.isEmpty());
    QVERIFY(rig.core->List2.isEmpty());
    QVERIFY(rig.core->TextRecv.isEmpty());
    QVERIFY(!rig.core->Frame7Visible);

    rig.core->TextRecv = "0 0004";
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(rig.cfg.ChkStatus, 1);
    QVERIFY(rig.core->TextRecv.isEmpty());
    QVERIFY(rig.core->Frame7Visible);
}

void TestForm4::closeByTitleBar()
{
    ConfigRig rig(mapping({}));
    const QByteArray before = readFile(rig.storePath);
    Window w(rig);
    QVERIFY(!rig.core->windowEnabled);
    QTest::mouseClick(child<QRadioButton>(w.form, "Optcom7"), Qt::LeftButton);
    QVERIFY(w.form.close());
    QVERIFY(!w.form.isVisible());
    QVERIFY(rig.core->windowEnabled);
    // Nothing saved.
    QCOMPARE(readFile(rig.storePath), before);
}

void TestForm4::directoryGoneKeepsChoice()
{
    ConfigRig rig(mapping({}));
    const QString gone = QDir(rig.workDir).filePath("gone");
    QVERIFY(QDir().mkpath(gone));
    Window w(rig);
    QVERIFY(QDir(gone).removeRecursively());
    selectDirectory(w.form, gone);
    QCOMPARE(rig.cfg.Dir1, rig.workDir);
    QCOMPARE(rig.core->currentWorkingDir, rig.workDir);
    QCOMPARE(rig.prompter.shown.size(), 1);
    QVERIFY(rig.prompter.shown[0].text.contains("cannot be read"));
    auto* list = child<QListWidget>(w.form, "Dir1");
    QCOMPARE(list->currentItem()->data(Qt::UserRole).toString(), rig.workDir);
}

void TestForm4::autoConfigureButton()
{
    SimProcess sim({ "--baud", "19200" });
    QVERIFY(sim.isValid());
    ConfigRig rig(mapping({ { 3, sim.path() } }));
    Window w(rig);
    QTest::mouseClick(child<QPushButton>(w.form, "AutoConfigure"), Qt::LeftButton);
    QVERIFY(child<QRadioButton>(w.form, "Optcom3")->isChecked());
    QVERIFY(child<QRadioButton>(w.form, "Opt19200")->isChecked());
    QVERIFY(!child<QCheckBox>(w.form, "CheckSumChk")->isChecked());
    QVERIFY(w.form.isVisible()); // the window stays open
    QVERIFY(child<QPushButton>(w.form, "SaveAndExit")->isEnabled());
    QCOMPARE(rig.prompter.texts().last(), PortProbe::ProbeSuccessText);
}

void TestForm4::debugButton()
{
    PtyPair pair;
    QVERIFY(pair.isValid());
    ConfigRig rig(mapping({ { 2, pair.slavePath() } }));
    Window w(rig);
    bool disabledWhileWorking = false;
    rig.prompter.onShow = [&](const PromptMessage&) { disabledWhileWorking = !w.form.isEnabled(); };
    QTest::mouseClick(child<QPushButton>(w.form, "Debug"), Qt::LeftButton);
    QVERIFY(disabledWhileWorking);
    QVERIFY(w.form.isEnabled());
    QCOMPARE(readFile(QDir(rig.workDir).filePath("TYXLOG.CMD")).size(), 1000);
    QCOMPARE(rig.prompter.texts(), QStringList({ PortProbe::DebugSuccessText }));
}

QTEST_MAIN(TestForm4)
#include "tst_form4.moc"
