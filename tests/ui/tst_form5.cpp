// The status mask wizard as the operator uses it, and its conversions both ways.

#include "ui/form5.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

namespace {

template <typename T = QWidget> T* child(QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

void click(Form5& f, const char* name)
{
    QTest::mouseClick(child(f, name), Qt::LeftButton);
}

int shownBits(Form5& f)
{
    int v = 0;
    for (int k = 0; k < 16; ++k)
        v |= int(f.bitCheck(k)->isChecked()) << k;
    return v;
}

} // namespace

class TestForm5 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startState();
    void enterThenConvert_data();
    void enterThenConvert();
    void emergencyStopTicksDriveDisabled();
    void valueShowsBitsExactly();
    void closingDiscards();
};

void TestForm5::startState()
{
    Form5 f;
    QCOMPARE(f.windowTitle(), QStringLiteral("Status Mask Wizard"));
    // No conversion runs before the operator asks for one: Text2 is empty.
    const char* texts[][3] = { { "Text1", "text", "10" }, { "Text2", "text", "" },
        { "Label1", "text", "Status Value" }, { "Option1", "text", "Dec" },
        { "Option2", "text", "Hex" }, { "Command2", "text", "Display Above" },
        { "Command1", "text", "Convert" }, { "Frame1", "title", "Status Mask Description" },
        { "Text1", "toolTip", "Enter a number and Hit enter to display Status" },
        { "Command1", "toolTip", "Converts Status bits selected to Decimal Status Value" },
        { "Command2", "toolTip", "Updates Top Display with Status value currently showing in Box" },
        { "Bit3Check", "text", "Command Accepted/ J2-1 active" },
        { "Bit12Check", "text", "External Event 1(J2-8) Active" },
        { "Bit15Check", "text", "Negative Limit Active" }, { "Option1", "checked", "true" },
        { "Option2", "checked", "false" } };
    for (const auto& [name, property, text] : texts)
        QCOMPARE(child(f, name)->property(property).toString(), QString::fromUtf8(text));
    QCOMPARE(shownBits(f), 0x000A);
}

// A value entered shows its bits; Convert writes them back in the chosen radix, and
// Display Above reads that back to the same bits.
void TestForm5::enterThenConvert_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("converted");
    auto row = [](const char* name, bool hex, const char* text, int bits, const char* converted) {
        QTest::newRow(name) << hex << QString::fromLatin1(text) << bits
                            << QString::fromLatin1(converted);
    };
    row("dec 10", false, "10", 0x000A, "10");
    row("dec 65535: all sixteen", false, "65535", 0xFFFF, "-1");
    row("dec -1: all sixteen", false, "-1", 0xFFFF, "-1");
    row("dec -32768: bit 15", false, "-32768", 0x8000, "-32768");
    row("dec 32767: largest positive", false, "32767", 0x7FFF, "32767");
    row("dec 65536: no bit of 16", false, "65536", 0x0000, "0");
    row("dec fraction rounds, halves to even", false, "2.5", 0x0002, "2");
    row("dec beyond 32 bits reads as 0", false, "99999999999", 0, "0");
    row("dec text reads as 0", false, "abc", 0, "0");
    row("dec empty", false, "", 0, "0");
    row("dec after first blank", false, "1 259", 0x0103, "259");
    row("dec trailing text ignored", false, "12xyz", 12, "12");
    row("dec negative other than -1", false, "-21555", 0xABCD, "-21555");
    row("hex 8000: bit 15 only", true, "8000", 0x8000, "8000");
    row("hex FFFF", true, "FFFF", 0xFFFF, "FFFF");
    row("hex whole answer", true, "1 0103", 0x0103, "0103");
    row("hex answer with CR", true, "0 0103\r", 0x0103, "0103");
    row("hex lower case, written upper-case", true, "0 abcd", 0xABCD, "ABCD");
    row("hex eight digits keep low 16 bits", true, "0 00010103", 0x0103, "0103");
    row("hex not a digit", true, "G1", 0, "0000");
    row("hex only the first blank counts", true, "0 01 FF", 0x0001, "0001");
}

void TestForm5::enterThenConvert()
{
    QFETCH(bool, hex);
    QFETCH(QString, text);
    QFETCH(int, bits);
    QFETCH(QString, converted);
    Form5 f;
    f.show();
    click(f, hex ? "Option2" : "Option1");
    auto* text1 = child<QLineEdit>(f, "Text1");
    text1->setText(text);
    QTest::keyClick(text1, Qt::Key_Return);
    QCOMPARE(shownBits(f), bits);
    click(f, "Command1");
    QCOMPARE(child<QLineEdit>(f, "Text2")->text(), converted);
    for (int k = 0; k < 16; ++k)
        f.bitCheck(k)->setChecked(false);
    text1->setText(converted);
    click(f, "Command2");
    QCOMPARE(shownBits(f), bits);
}

void TestForm5::emergencyStopTicksDriveDisabled()
{
    Form5 f;
    f.show();
    QVERIFY(!f.bitCheck(8)->isChecked());
    click(f, "Bit11Check");
    QCOMPARE(shownBits(f), 0x090A);
    // Bit 8 cannot be cleared while bit 11 is ticked...
    click(f, "Bit8Check");
    QCOMPARE(shownBits(f), 0x090A);
    // ...but can once it is clear.
    click(f, "Bit11Check");
    QCOMPARE(shownBits(f), 0x010A);
    click(f, "Bit8Check");
    QCOMPARE(shownBits(f), 0x000A);
}

// A value shows its own bits: the coupling of bits 11 and 8 is the operator's clicks
// only, so a value with bit 11 and not bit 8 is shown as it is, and a following value
// without bit 8 clears it even though bit 11 was ticked before.
void TestForm5::valueShowsBitsExactly()
{
    Form5 f;
    f.show();
    click(f, "Option2");
    auto* text1 = child<QLineEdit>(f, "Text1");
    for (int bits : { 0x0900, 0x0800, 0x0001 }) {
        text1->setText(QString::number(bits, 16));
        QTest::keyClick(text1, Qt::Key_Return);
        QCOMPARE(shownBits(f), bits);
    }
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
