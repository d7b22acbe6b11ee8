// The status mask wizard as the operator uses it.

#include "ui/form5.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

template <typename T> T* child(QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

void selectRadix(Form5& f, bool hex)
{
    QTest::mouseClick(child<QRadioButton>(f, hex ? "Option2" : "Option1"), Qt::LeftButton);
}

int shownBits(Form5& f)
{
    int v = 0;
    for (int k = 0; k < 16; ++k) {
        if (child<QCheckBox>(f, QStringLiteral("Bit%1Check").arg(k).toLatin1().constData())
                ->isChecked())
            v |= 1 << k;
    }
    return v;
}

void setBits(Form5& f, int bits)
{
    for (int k = 0; k < 16; ++k)
        f.bitCheck(k)->setChecked((bits >> k) & 1);
}

} // namespace

class TestForm5 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startState();
    void captions();
    void enterShowsBits_data();
    void enterShowsBits();
    void displayAboveButton();
    void convert_data();
    void convert();
    void emergencyStopTicksDriveDisabled();
    void valueShowsBitsExactly();
    void closingDiscards();
};

void TestForm5::startState()
{
    Form5 f;
    QCOMPARE(f.windowTitle(), QStringLiteral("Status Mask Wizard"));
    QCOMPARE(child<QLineEdit>(f, "Text1")->text(), QStringLiteral("10"));
    QVERIFY(child<QRadioButton>(f, "Option1")->isChecked());
    QVERIFY(!child<QRadioButton>(f, "Option2")->isChecked());
    QCOMPARE(shownBits(f), 0x000A);
    // No conversion runs before the operator asks for one.
    QCOMPARE(child<QLineEdit>(f, "Text2")->text(), QString());
}

void TestForm5::captions()
{
    Form5 f;
    QCOMPARE(child<QLabel>(f, "Label1")->text(), QStringLiteral("Status Value"));
    QCOMPARE(child<QRadioButton>(f, "Option1")->text(), QStringLiteral("Dec"));
    QCOMPARE(child<QRadioButton>(f, "Option2")->text(), QStringLiteral("Hex"));
    QCOMPARE(child<QPushButton>(f, "Command2")->text(), QStringLiteral("Display Above"));
    QCOMPARE(child<QPushButton>(f, "Command1")->text(), QStringLiteral("Convert"));
    QCOMPARE(child<QGroupBox>(f, "Frame1")->title(), QStringLiteral("Status Mask Description"));
    QCOMPARE(child<QLineEdit>(f, "Text1")->toolTip(),
        QStringLiteral("Enter a number and Hit enter to display Status"));
    QCOMPARE(child<QPushButton>(f, "Command1")->toolTip(),
        QStringLiteral("Converts Status bits selected to Decimal Status Value"));
    QCOMPARE(child<QPushButton>(f, "Command2")->toolTip(),
        QStringLiteral("Updates Top Display with Status value currently showing in Box"));
    QCOMPARE(
        child<QCheckBox>(f, "Bit3Check")->text(), QStringLiteral("Command Accepted/ J2-1 active"));
    QCOMPARE(
        child<QCheckBox>(f, "Bit12Check")->text(), QStringLiteral("External Event 1(J2-8) Active"));
    QCOMPARE(child<QCheckBox>(f, "Bit15Check")->text(), QStringLiteral("Negative Limit Active"));
}

void TestForm5::enterShowsBits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("bits");
    QTest::newRow("dec 65535") << "65535" << false << 0xFFFF;
    QTest::newRow("hex 8000") << "8000" << true << 0x8000;
    QTest::newRow("hex whole answer") << "1 0103" << true << 0x0103;
    QTest::newRow("dec nonsense") << "status" << false << 0;
    QTest::newRow("dec 4") << "4" << false << 0x0004;
}

void TestForm5::enterShowsBits()
{
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(int, bits);
    Form5 f;
    f.show();
    selectRadix(f, hex);
    auto* text1 = child<QLineEdit>(f, "Text1");
    text1->clear();
    QTest::keyClicks(text1, text);
    QTest::keyClick(text1, Qt::Key_Return);
    QCOMPARE(shownBits(f), bits);
}

void TestForm5::displayAboveButton()
{
    Form5 f;
    f.show();
    child<QLineEdit>(f, "Text1")->setText(QStringLiteral("257"));
    QTest::mouseClick(child<QPushButton>(f, "Command2"), Qt::LeftButton);
    QCOMPARE(shownBits(f), 0x0101);
}

void TestForm5::convert_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("shown");
    QTest::newRow("start bits dec") << 0x000A << false << "10";
    QTest::newRow("start bits hex") << 0x000A << true << "000A";
    QTest::newRow("all dec") << 0xFFFF << false << "-1";
    QTest::newRow("all hex") << 0xFFFF << true << "FFFF";
    QTest::newRow("bit 15 dec") << 0x8000 << false << "-32768";
    QTest::newRow("none hex") << 0 << true << "0000";
}

void TestForm5::convert()
{
    QFETCH(int, bits);
    QFETCH(bool, hex);
    QFETCH(QString, shown);
    Form5 f;
    f.show();
    setBits(f, bits);
    selectRadix(f, hex);
    QTest::mouseClick(child<QPushButton>(f, "Command1"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>(f, "Text2")->text(), shown);
}

void TestForm5::emergencyStopTicksDriveDisabled()
{
    Form5 f;
    f.show();
    auto* bit8 = child<QCheckBox>(f, "Bit8Check");
    auto* bit11 = child<QCheckBox>(f, "Bit11Check");
    QVERIFY(!bit8->isChecked());
    QTest::mouseClick(bit11, Qt::LeftButton);
    QVERIFY(bit11->isChecked());
    QVERIFY(bit8->isChecked());
    // Bit 8 cannot be cleared while bit 11 is ticked...
    QTest::mouseClick(bit8, Qt::LeftButton);
    QVERIFY(bit8->isChecked());
    // ...but can once it is clear.
    QTest::mouseClick(bit11, Qt::LeftButton);
    QVERIFY(!bit11->isChecked());
    QVERIFY(bit8->isChecked());
    QTest::mouseClick(bit8, Qt::LeftButton);
    QVERIFY(!bit8->isChecked());
}

void TestForm5::valueShowsBitsExactly()
{
    // A value shows its own bits: the coupling of bits 11 and 8 is the operator's
    // clicks only, so a value with bit 11 and not bit 8 is shown as it is, and a
    // following value without bit 8 clears it even though bit 11 was ticked before.
    Form5 f;
    f.show();
    selectRadix(f, true);
    auto* text1 = child<QLineEdit>(f, "Text1");
    text1->setText(QStringLiteral("0900"));
    QTest::keyClick(text1, Qt::Key_Return);
    QCOMPARE(shownBits(f), 0x0900);
    text1->setText(QStringLiteral("0800"));
    QTest::keyClick(text1, Qt::Key_Return);
    QCOMPARE(shownBits(f), 0x0800);
    text1->setText(QStringLiteral("0001"));
    QTest::keyClick(text1, Qt::Key_Return);
    QCOMPARE(shownBits(f), 0x0001);
}

void TestForm5::closingDiscards()
{
    QPointer<Form5> f = new Form5;
    f->show();
    f->close();
    QTRY_VERIFY(f.isNull());
}

QTEST_MAIN(TestForm5)
#include "tst_form5.moc"
