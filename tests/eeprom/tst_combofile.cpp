// Reading a combination file "*.CMB" the operator may have edited: boot lines anywhere
// and in any case (the last one wins); every other line, an empty one too, names a
// file; too many files or lines refuse the file. (Writing: tst_combo's Save table.)

#include "../common/datarow.h"

#include "eeprom/combofile.h"

#include <QTest>

using Boot = std::optional<QString>;
Q_DECLARE_METATYPE(Boot)

class TstComboFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data()
    {
        addColumns<QByteArray, QStringList, Boot>("bytes", "files", "boot"); // no files: refused
        addRow("as saved", QByteArray("BootMacro=2\r\na.cmd\r\nb.txt\r\n"),
            QStringList { "a.cmd", "b.txt" }, Boot("2"));
        addRow("lower case, last wins", QByteArray("a.cmd\nbootmacro=1\n\nx BootMacro=3 y\r"),
            QStringList { "a.cmd", "" }, Boot("3 y"));
        addRow("no boot line", QByteArray("a.cmd"), QStringList { "a.cmd" }, Boot());
        addRow("41 files", QByteArray("a\r\n").repeated(41), QStringList(), Boot());
        addRow("256 lines", QByteArray("BootMacro=1\r\n").repeated(256), QStringList(), Boot());
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, files);
        QFETCH(Boot, boot);
        const ComboFile::Contents c = ComboFile::read(bytes, "C.CMB");
        QCOMPARE(c.files, files);
        QCOMPARE(c.bootMacro, boot);
        QCOMPARE(c.error.startsWith("C.CMB cannot be used"), files.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstComboFile)
#include "tst_combofile.moc"
