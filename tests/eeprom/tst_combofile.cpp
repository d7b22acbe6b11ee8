// The combination file "*.CMB" byte for byte: what Save writes, and how any file the
// operator edited reads.

#include "../common/datarow.h"

#include "eeprom/combofile.h"

#include <QTest>

using Boot = std::optional<QString>;
Q_DECLARE_METATYPE(Boot)

class TstComboFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void write_data()
    {
        addColumns<QString, QStringList, QByteArray>("box", "files", "bytes");
        addRow("two files, boot 2", QString("2"), QStringList { "a.cmd", "b.txt" },
            QByteArray("BootMacro=2\r\na.cmd\r\nb.txt\r\n"));
        addRow("not a number", QString("x1"), QStringList { "a.cmd" },
            QByteArray("BootMacro=0\r\na.cmd\r\n"));
        addRow("fraction kept", QString(" +02.50x"), QStringList { "a.cmd" },
            QByteArray("BootMacro=2.5\r\na.cmd\r\n"));
        addRow("negative", QString("-3"), QStringList { "" }, QByteArray("BootMacro=-3\r\n\r\n"));
    }
    void write()
    {
        QFETCH(QString, box);
        QFETCH(QStringList, files);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ComboFile::refusal(files), QString());
        QCOMPARE(ComboFile::write(box, files), bytes);
    }

    void refusal()
    {
        QVERIFY(!ComboFile::refusal(QStringList(41, "a.cmd")).isEmpty());
        QVERIFY(ComboFile::refusal(QStringList(40, "a.cmd")).isEmpty());
        for (const QString& name :
            QStringList { "a\nb.cmd", "x bootMacro=1", QString(QChar(0x65e5)) })
            QCOMPARE(ComboFile::refusal({ name }),
                "The file name \"" + name + "\" cannot be kept in a combination file.");
    }

    // Boot lines anywhere and in any case, the last one winning; every other line,
    // an empty one too, names a file.
    void read_data()
    {
        addColumns<QByteArray, QStringList, Boot>("bytes", "files", "boot");
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
