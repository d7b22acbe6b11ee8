// The protocol's text pieces and macro preparation byte for byte: answers taken apart
// by rules A and B, the checksum answer, "e2prom.dat", directory names, combination
// files "*.CMB" the operator may have edited; the syntax rules and the order in which
// they override each other, the line rewrite, the label and mask pass, the whole
// preparation into "macro.tmp" and the refusals of files that cannot become a macro;
// memory image files, what they hold and where a memory differs from one; the record of
// a programmed unit and the summary; the whole-file writer and reader under a full disk
// and given a pipe; and zaziruv-cli check and prep as a script runs them. Random files
// are the fuzz harness's (fuzz/macroprep.cpp): refused with a message, or a macro the
// checker accepts with every jump at its label.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/testfiles.h"

#include "core/prompter.h"
#include "core/wholefile.h"
#include "eeprom/combofile.h"
#include "eeprom/e2promrecord.h"
#include "eeprom/eepromtext.h"
#include "eeprom/imagecontents.h"
#include "eeprom/macroprep.h"
#include "eeprom/memoryimage.h"
#include "eeprom/syntaxchecker.h"
#include "eeprom/unitrecord.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace EepromText;

namespace {

// Answers hold any byte, NUL included, as a Latin-1 character.
template <std::size_t N> QString L(const char (&s)[N])
{
    return QString::fromLatin1(s, qsizetype(N - 1));
}

// A command file with `labels` labels and `jumps` status jumps to them.
QString labelledFile(int labels, int jumps)
{
    QString out;
    for (int i = 0; i < labels; ++i)
        out += QStringLiteral("L%1:1 MV %1\n").arg(i);
    for (int j = 0; j < jumps; ++j)
        out += QStringLiteral("1 ST 8>L%1\n").arg(j % qMax(labels, 1));
    return out;
}

QString aborted(const QString& why)
{
    return "Download Aborted!\r\n\r\nError found in file TEST.CMD.\r\n" + why;
}

QString atLine(int line, const QString& text)
{
    return aborted("Line " + QString::number(line) + text);
}

const QString body(90000, u'A');

const QString spacesText
    = QStringLiteral(" contains spaces after the last character.\r\n"
                     "Put cursor on first character and hit *End* key to fix.\r\n");
const QString separatedText
    = QStringLiteral(" contains instructions separated by more than 1 space.\r\n"
                     "Please correct this or remove and rewrite the instructions.");
const QString jumpText = QStringLiteral(" has a > Syntax Error.");
const QString noStText = QStringLiteral(" has a > without an ST.");
const QString moreSpaceText = QStringLiteral(" has a command with more than one space.");
const QString macroText = QStringLiteral(" has MACRO syntax error.");
const QString messageText = QStringLiteral(" has MESSAGE Statement which cannot be downloaded.");
const QString commentText = QStringLiteral(" has COMMENTS(/*)which cannot be downloaded.");
const QString semicolonText = QStringLiteral(" has a possible label with ; instead of : ");

QString negativeText(const QString& n, const QString& p)
{
    return " has a Negative Status Mask Statement.\r\n\r\n*ST " + n
        + "*  Must be changed to its Positive mask *ST " + p
        + "*\r\nsince the Macros only work with only Positive masks.";
}

QString everyByte()
{
    QString line("1 HO");
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            line.append(QChar(b));
    }
    return line + "\n";
}

// A memory image file made by hand: the header of `version` and its CRC-32, over the
// start address, length and bytes in version 2, over the bytes alone in version 1.
QString imageFile(int version, int start, const QByteArray& bytes)
{
    QByteArray file("ZZEEPROM");
    const auto put = [&file](quint32 value, int size) {
        for (int i = 0; i < size; ++i)
            file += char(value >> (8 * i));
    };
    put(version, 2);
    put(start, 2);
    put(quint32(bytes.size()), 4);
    put(MemoryImage::crc32(version == 1 ? bytes : file.mid(10) + bytes), 4);
    return QString::fromLatin1(file + bytes);
}

// `file` with the header bytes from `at` on replaced by `bytes`.
QString patched(QString file, int at, const char* bytes)
{
    return file.replace(at, qsizetype(qstrlen(bytes)), QString::fromLatin1(bytes));
}

// The memory from 100 to the end of the text that a download of `macros` leaves, given
// as "NAME=text;NAME=text" with boot value `boot`; its table entry `backwards` (when
// above 0) points before the one ahead of it.
MemoryImage programImage(const QString& macros, int boot, int backwards = 0)
{
    QByteArray memory(1024, char(0xFF));
    const QStringList list = macros.split(';');
    memory[501] = char(boot);
    memory[502] = char(list.size());
    memory[503] = 'X';
    int end = 1024;
    memory[516] = char(end / 256);
    memory[517] = char(end % 256);
    for (int i = 0; i < list.size(); ++i) {
        const QByteArray name = list[i].section('=', 0, 0).toLatin1() + '\r';
        const QByteArray text = list[i].section('=', 1).toLatin1();
        for (int k = 0; k < name.size(); ++k)
            memory[499 - 10 * i - k] = name[k];
        memory += text;
        end = i + 1 == backwards ? 1000 : end + int(text.size());
        memory[516 + 2 * (i + 1)] = char(end / 256);
        memory[517 + 2 * (i + 1)] = char(end % 256);
    }
    return { 100, memory.mid(100) };
}

// A record of an attempt that ended with `result`, its times fixed.
UnitRecord unitRecord(const QString& result)
{
    UnitRecord r;
    r.started = QDateTime(QDate(2024, 3, 1), QTime(9, 5, 0, 120), Qt::OffsetFromUTC, 3600);
    r.ended = r.started.addMSecs(41207);
    r.port = "/dev/ttyUSB0";
    r.stableName = "/dev/serial/by-id/usb-FTDI_A1,B2-if00";
    r.serialNumber = "A1";
    r.node = "2";
    r.attempt = 2;
    r.file = "line \"3\".img";
    r.crc = 0x0a1b2c3d;
    r.result = result;
    if (result == "ok")
        r.bytes = 937;
    r.verification = "readback";
    return r;
}

} // namespace

class TstEeprom : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    ScriptedPrompter m_prompter;
    std::unique_ptr<MacroPrep> m_prep;

    QString workFile() const { return m_dir.filePath(QStringLiteral("macro.tmp")); }

private Q_SLOTS:
    void init()
    {
        m_prompter = {};
        m_prep = std::make_unique<MacroPrep>(m_prompter, m_dir.path());
        QFile::remove(workFile());
    }

    // What each piece makes of its input. kind: "name" (rule A, names), "table"
    // (rule B, pairs), "sum" (the checksum), "mark" (rule A, one byte), "stored"
    // ("macro.tmp": bytes stored | refused line), "desc" (file name to directory name),
    // "cmb" (a combination file: files | boot macro, "refused" added when it is; boot
    // lines anywhere and in any case, the last one winning, and every other line, an
    // empty one too, names a file), "labels" (the label and mask pass), "rewrite" (one
    // line of the macro rewritten), "record" ("e2prom.dat" as loaded: delay, node shown,
    // check box, verification, and " lost" unless the record is kept whole).
    // The download window's test has the worked example, its directory entries (100
    // bytes; 13, ending on a CR), names and checksum answers as read, the refused DELAY
    // line, a saved combination file read back and one of 41 files refused.
    void answers_data()
    {
        addColumns<QString, QString, QString>("kind", "text", "expected");
        addRow("name LF cut", "name", L("0041 A\r\n000A \n\r\n"), "A");
        addRow("name short answer", "name", L("0041 A\r\n004"), "A");
        addRow("name cut off after 00", "name", L("0041 A\r\n0042"), "A");
        addRow("mark i", "mark", L("0069 i\r\n"), "105");
        addRow("mark none", "mark", L(""), "none");
        addRow("table high CR", "table", L("000D \r\r\n0000 \x00\r\n"), "3328");
        addRow("table no LF counts 0", "table", L("0004 \x04\r0041 A\r\n"), "65");
        addRow("table one answer", "table", L("0004 \x04\r\n"), "1024");
        addRow("table last pair wins", "table",
            L("0004 \x04\r\n0000 \x00\r\n0005 \x05\r\n0001 \x01\r\n"), "1281");
        addRow("table misread", "table", L("00FF \xff\r\n00FF \xff\r\n"), "misread");
        addRow("sum no 00", "sum", L("1 EEC\r"), "999");
        addRow("sum cut off", "sum", L("0001 00"), "999");
        addRow("sum not hex", "sum", L("0001 00x1\r\n"), "999");
        addRow("leading blanks", "stored", L("  1 ho\r"), "1 HO\r|");
        addRow("blanks only", "stored", L("   \r1 HO\r"), "|   ");
        addRow("later lines kept", "stored", L("1 HO\rDELAY 15\r"), "1 HO\rDELAY 15\r|");
        addRow("upper .CMD", "desc", L("abcdefgh.CMD"), "abcdefgh.CMD");
        addRow("no extension", "desc", L("Run"), "Run");
        addRow("cmb lower case, last wins", "cmb", L("a.cmd\nbootmacro=1\n\nx BootMacro=3 y\r"),
            "a.cmd,|3 y");
        addRow("cmb no boot line", "cmb", L("a.cmd"), "a.cmd|none");
        addRow("cmb 256 lines", "cmb", QString("BootMacro=1\r\n").repeated(256), "|none|refused");
        addRow("cmb NUL in a name", "cmb", L("a.cmd\r\nb\0.cmd\r\n"), "|none|refused");
        addRow("utf8 name", "utf8", L("caf\xc3\xa9.cmd"), QString::fromUtf8("caf\xc3\xa9.cmd"));
        addRow("utf8 not UTF-8", "utf8", L("caf\xe9.cmd"), "");
        addRow("utf8 plain ASCII", "utf8", L("cafe.cmd"), "");
        addRow("crc check value", "crc", "123456789", "cbf43926");
        const QString v2 = imageFile(2, 100, "abc");
        const QString damaged(
            "refused: its CRC-32 does not match its start address, length and bytes: the "
            "file is damaged");
        addRow("image v2", "image", v2, "start 100 bytes abc");
        addRow("image as written", "image", QString::fromLatin1(MemoryImage { 100, "abc" }.write()),
            "start 100 bytes abc");
        addRow("image v1 still read", "image", imageFile(1, 100, "abc"),
            "start 100 bytes abc rewritten");
        addRow("image v2 start changed", "image", patched(v2, 10, "\x01"), damaged);
        addRow("image v2 length changed", "image", patched(v2, 12, "\x04") + 'd', damaged);
        addRow("image version 3", "image", patched(v2, 8, "\x03"),
            "refused: it is a memory image of version 3, and this program reads versions 1 to 2");
        // What an image holds as a controller would list it: boot value, mark, then
        // each macro's number, name, start and size; or why it cannot be listed.
        // ("boot/backwards/macros", as programImage takes them.)
        addRow("contents of a combination", "contents",
            "2/0/TWO=1 HO\rMACRO 0\r;A=1 A\r;LETTER=A\r",
            "boot 2 mark X|1 TWO 1024 13|2 A 1037 4|3 LETTER 1041 2");
        addRow("contents execute on boot", "contents", "-1/0/RUN=1 HO\r",
            "boot -1 mark X|1 RUN 1024 5");
        addRow("contents, table backwards", "contents", "0/2/A=1 HO\r;B=1 A\r",
            "boot 0 mark X|1 A 1024 5|problem: the address table runs backwards at macro 2 "
            "(1000 after 1029)");
        addRow("contents, no header", "contents", "",
            "problem: the image does not hold the "
            "header at 501 to 503");
        // The image "abcdef" at 100 against what a controller answered (| the
        // unanswered addresses): address, image byte, the controller's (-1 none); two
        // listed at most, then the count of all.
        addRow("differences none", "differences", "abcdef|", "0");
        addRow("differences", "differences", "abXdeY|", "102 99 88,105 102 89,2");
        addRow("differences, unanswered", "differences", "abef|102,103", "102 99 -1,103 100 -1,2");
        addRow("differences, cut short", "differences", "abc|", "103 100 -1,104 101 -1,3");
        addRow("differences, limit", "differences", "XXXXXX|", "100 97 88,101 98 88,6");
        // One attempt's record byte for byte: a field with a comma or a quote is quoted.
        addRow("record csv, ok", "csv", "ok",
            "2024-03-01T09:05:00.120+01:00,2024-03-01T09:05:41.327+01:00,/dev/ttyUSB0,"
            "\"/dev/serial/by-id/usb-FTDI_A1,B2-if00\",A1,2,2,\"line \"\"3\"\".img\",0a1b2c3d,ok,"
            "937,41.207,readback\r\n");
        addRow("record csv, failed", "csv", "failed: The TYX at node 2 did not answer, twice.\r\nx",
            "2024-03-01T09:05:00.120+01:00,2024-03-01T09:05:41.327+01:00,/dev/ttyUSB0,"
            "\"/dev/serial/by-id/usb-FTDI_A1,B2-if00\",A1,2,2,\"line \"\"3\"\".img\",0a1b2c3d,"
            "\"failed: The TYX at node 2 did not answer, twice.\r\nx\",,41.207,readback\r\n");
        addRow("record jsonl, cancelled", "jsonl", "cancelled",
            "{\"attempt\":2,\"bytes\":null,\"crc32\":\"0a1b2c3d\",\"duration_s\":41.207,"
            "\"ended\":\"2024-03-01T09:05:41.327+01:00\",\"file\":\"line "
            "\\\"3\\\".img\",\"node\":\"2\","
            "\"port\":\"/dev/ttyUSB0\",\"result\":\"cancelled\",\"serial_number\":\"A1\","
            "\"stable_name\":\"/dev/serial/by-id/usb-FTDI_A1,B2-if00\","
            "\"started\":\"2024-03-01T09:05:00.120+01:00\",\"verification\":\"readback\"}\n");
        addRow("summary", "summary", "ok|failed: no answer",
            "TARGET          ATTEMPTS    TIME/S  RESULT\n"
            "/dev/ttyUSB0@2         2    41.207  ok\n"
            "/dev/ttyUSB0@2         2    41.207  failed: no answer\n"
            "1 of 2 units ok, 1 not ok, in 62.050 s\n");
        addRow("image larger than any", "image", imageFile(2, 0, QByteArray(65537, 'x')),
            "refused: it is larger than 65556 bytes, more than any memory image");
        // (Label positions and jump masks that the whole preparation's rows cover are
        // theirs.)
        addRow("mask 1234", "labels", "1 ST 1234\r\n", "1 ST 04D2\r");
        addRow("mask 65535", "labels", "1 ST 65535\r\n", "1 ST FFFF\r");
        addRow("mask 70000 keeps four digits", "labels", "1 ST 70000\r\n", "1 ST 1170\r");
        addRow("mask 0 as written", "labels", "1 ST 0\r\n", "1 ST 0\r");
        addRow("mask not a number", "labels", "1 ST ABC\r\n", "1 ST ABC\r");
        addRow("mask missing", "labels", "1 ST \r\n", "1 ST \r");
        addRow("mask fraction", "labels", "1 ST 8.5\r\n", "1 ST 0008\r");
        addRow("mask below one", "labels", "1 ST 0.4\r\n", "1 ST 0000\r");
        addRow("two-digit node", "labels", "12 ST 255\r\n", "12 ST 00FF\r");
        addRow("label takes no room", "labels", "A:\r\n1 HO\r\nGOTO A\r\n", "1 HO\rGOTO 00000\r");
        addRow("same name twice: the first", "labels", "A:1 HO\r\nA:1 MV 1\r\nGOTO A\r\n",
            "1 HO\r1 MV 1\rGOTO 00000\r");
        addRow("label without a name", "labels", ":1 HO\r\n", "1 HO\r");
        addRow("empty lines dropped", "labels", "\r\n\r1 HO\r\r\n", "1 HO\r");
        // The syntax check stops a line ending in blanks before this pass; a refused
        // text gets its message.
        addRow("GOTO with blanks only", "labels", ":1 HO\r\nGOTO   \r\n",
            "refused: " + aborted("Line 2 has a GOTO without a label."));
        // (What build() writes is checked byte for byte by the download window's test.)
        addRow("record empty", "record", L(""), "delay 2 node 0 box 0 verify 0");
        addRow("record saved", "record", QString::fromLatin1(E2promRecord::build("5", "05", true)),
            "delay 5 node 5 box 1 verify 1");
        addRow("record short", "record", L("07"), "delay 7 node 0 box 0 verify 0");
        addRow("record garbled", "record", L("ab\xff\x01x"), "delay 1 node 0 box 0 verify 0");
        addRow("record long", "record", "10121" + QString(600, 'Z'),
            "delay 10 node 12 box 1 verify 1");
        addRow("record grey box", "record", L("02012"), "delay 2 node 1 box 0 verify 0");
        // (Jumps and delays that the whole preparation's rows cover are theirs.)
        addRow("jump then wait", "rewrite", "1 ST 8>A ST 16", "1 STJ 8\rGOTO A\r1 ST 16\r");
        addRow("no jump unchanged", "rewrite", "1 ST 8 16", "1 ST 8 16\r");
        addRow("label ending in ST", "rewrite", "1 ST 8>LAST ST 16>B",
            "1 STJ 8\rGOTO LAST\r1 STJ 16\rGOTO B\r\r\r");
        addRow("delay half to even", "rewrite", "DELAY 0.5", "DELAY 2\r");
        addRow("delay 0.3 rounds up", "rewrite", "DELAY 0.3", "DELAY 2\r");
        addRow("delay negative", "rewrite", "DELAY -3", "DELAY-15\r");
        addRow("delay without number", "rewrite", "DELAYED", "DELAY 0\r");
        addRow("delay inside a line unchanged", "rewrite", "1 DELAY 3", "1 DELAY 3\r");
    }
    void answers()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString got;
        if (kind == "name") {
            got = nameFromAnswers(text);
        } else if (kind == "mark") {
            const auto b = takeRuleA(text);
            got = b ? QString::number(*b) : "none";
        } else if (kind == "table") {
            const TableEntry e = tableEntryFromAnswers(text);
            got = e.misread ? "misread" : QString::number(e.address);
        } else if (kind == "stored") {
            const StoredMacro m = storedMacro(text.toLatin1());
            got = QString::fromLatin1(m.bytes) + '|' + m.refusedLine;
        } else if (kind == "desc") {
            got = descriptionName(text);
        } else if (kind == "cmb") {
            const ComboFile::Contents c = ComboFile::read(text.toLatin1(), "C.CMB");
            got = c.files.join(',') + '|' + c.bootMacro.value_or("none")
                + (c.error.startsWith("C.CMB cannot be used") ? "|refused" : "");
        } else if (kind == "utf8") {
            got = ComboFile::utf8Reading(text);
        } else if (kind == "crc") {
            got = QString::number(MemoryImage::crc32(text.toLatin1()), 16);
        } else if (kind == "image") {
            QString why;
            const auto image = MemoryImage::read(text.toLatin1(), &why);
            got = image ? QStringLiteral("start %1 bytes ").arg(image->start)
                    + QString::fromLatin1(image->bytes)
                    + (image->write() == text.toLatin1() ? "" : " rewritten")
                        : "refused: " + why;
        } else if (kind == "contents") {
            const ImageContents c = ImageContents::of(text.isEmpty()
                    ? MemoryImage { 1024, "1 HO\r" }
                    : programImage(text.section('/', 2), text.section('/', 0, 0).toInt(),
                        text.section('/', 1, 1).toInt()));
            QStringList parts;
            if (c.boot)
                parts << QStringLiteral("boot %1 mark %2").arg(*c.boot).arg(QChar(*c.mark));
            for (const auto& m : c.macros)
                parts << QStringLiteral("%1 %2 %3 %4")
                             .arg(m.number)
                             .arg(m.name)
                             .arg(m.start)
                             .arg(m.size);
            if (!c.problem.isEmpty())
                parts << "problem: " + c.problem;
            got = parts.join('|');
        } else if (kind == "differences") {
            QList<int> unanswered;
            for (const QString& a : text.section('|', 1).split(',', Qt::SkipEmptyParts))
                unanswered << a.toInt();
            int total = 0;
            const auto d = imageDifferences(
                { 100, "abcdef" }, text.section('|', 0, 0).toLatin1(), unanswered, 2, &total);
            for (const auto& x : d)
                got += QStringLiteral("%1 %2 %3,").arg(x.address).arg(x.expected).arg(x.read);
            got += QString::number(total);
        } else if (kind == "csv" || kind == "jsonl") {
            const UnitRecord r = unitRecord(text);
            got = QString::fromUtf8(kind == "csv" ? r.csvRow() : r.jsonLine());
        } else if (kind == "summary") {
            QList<UnitRecord> rows;
            for (const QString& result : text.split('|'))
                rows << unitRecord(result);
            got = QString::fromUtf8(unitSummary(rows, 62050));
        } else if (kind == "labels") {
            m_prep->MacroFileName = QStringLiteral("test.cmd");
            const bool ok = m_prep->setLabelsAndMasks(text);
            got = (ok ? m_prep->MacroText : "refused: ") + m_prompter.texts().join('|');
        } else if (kind == "record") {
            const QByteArray file = text.toLatin1();
            const E2promRecord r = E2promRecord::parse(file);
            got = QStringLiteral("delay %1 node %2 box %3 verify %4")
                      .arg(QString::number(r.Delay), r.TxTNode, QString::number(r.EnableCksumChk),
                          QString::number(r.VerifyDownload));
            if (r.record.size() != E2promRecord::Size || !r.record.startsWith(file.left(500)))
                got += " lost";
        } else if (kind == "rewrite") {
            got = MacroPrep::rewriteLine(text);
        } else {
            got = QString::number(checksumFromAnswer(text));
        }
        QCOMPARE(got, expected);
    }

    // The whole preparation of "test.cmd" (Latin-1) at a base address into the macro,
    // or its refusal with a message (no check when empty). The command file itself is
    // never changed, and a file that is not prepared leaves an earlier macro alone.
    // The syntax rules come first: a line that breaks one is reported in the checker's
    // box, whatever the later passes would make of the file.
    // ("1 HO" and a labelled jump, CR LF ended, stored: tst_download's; LF ended, and a
    // negative mask: cli's "prep, default base" and "check fails".)
    void prepare_data()
    {
        addColumns<QString, int, PrepResult, QString>("file", "base", "result", "expected");
        const QString worked("1 HO\r1 STJ 0008\rGOTO 00005\rMACRO 0\r");
        const auto ok = PrepResult::Prepared;
        addRow("CR", QString("1 HO\rLOOP:1 ST 8>LOOP\r"), 0, ok, worked);
        addRow("no final line end", QString("1 HO\r\nLOOP:1 ST 8>LOOP"), 0, ok, worked);
        addRow("lower case", QString("1 ho\nloop:1 st 8>loop\n"), 0, ok, worked);
        const QString moving("A:1 HO\n1 ST 8>B\nB:1 MV 5\n1 ST 16>A ST 32>B\n");
        addRow("base 0", moving, 0, ok,
            QString("1 HO\r1 STJ 0008\rGOTO 00027\r1 MV 5\r1 STJ 0010\rGOTO 00000\r"
                    "1 STJ 0020\rGOTO 00027\rMACRO 0\r"));
        addRow("base 1234 moves every jump", moving, 1234, ok,
            QString("1 HO\r1 STJ 0008\rGOTO 01261\r1 MV 5\r1 STJ 0010\rGOTO 01234\r"
                    "1 STJ 0020\rGOTO 01261\rMACRO 0\r"));
        // The controller leaves out the blanks before the first node address; the
        // jumps are counted without them, in a single file and further on in a
        // combination.
        addRow(
            "blank before the node address", QString(" 1 HO\nLOOP:1 ST 8>LOOP\n"), 0, ok, worked);
        addRow("blank before the node address, base 100", QString(" 1 HO\nLOOP:1 ST 8>LOOP\n"), 100,
            ok, QString("1 HO\r1 STJ 0008\rGOTO 00105\rMACRO 0\r"));
        addRow("blank before two jumps", QString(" 1 ST 8>A ST 16>B\nA:1 HO\nB:1 HO\n"), 0, ok,
            QString("1 STJ 0008\rGOTO 00044\r1 STJ 0010\rGOTO 00049\r1 HO\r1 HO\rMACRO 0\r"));
        addRow("blank before a first label", QString(" A:1 HO\n1 ST 8>A\n"), 0, ok,
            QString("1 HO\r1 STJ 0008\rGOTO 00000\rMACRO 0\r"));
        addRow("blank after a label of its own", QString("A:\n 1 ST 8>A\n"), 7, ok,
            QString("1 STJ 0008\rGOTO 00007\rMACRO 0\r"));
        addRow(
            "MACRO line kept", QString("1 macro 3\n1 HO\n"), 0, ok, QString("1 MACRO 3\r1 HO\r"));
        addRow("delay scaled", QString("delay 3\n"), 0, ok, QString("DELAY 15\rMACRO 0\r"));
        addRow("only an empty line", QString("\r\n"), 0, ok, QString("MACRO 0\r"));
        addRow("bytes above 127 kept", QString::fromLatin1("1 HO \xe4\xdf\xff\x80\n"), 0, ok,
            QString::fromLatin1("1 HO \xe4\xdf\xff\x80\rMACRO 0\r"));
        addRow("NUL kept", QString::fromLatin1("1 H\0O\n", 6), 0, ok,
            QString::fromLatin1("1 H\0O\rMACRO 0\r", 14));
        addRow("100 labels and jumps", labelledFile(100, 100), 0, ok, QString());
        addRow("last five-digit address", QString("1 HO\nA:1 ST 8>A\n"), 99994, ok,
            QString("1 HO\r1 STJ 0008\rGOTO 99999\rMACRO 0\r"));
        addRow("90,000-character line", "1 HO" + body + "\nX:1 ST 8>X\n", 0, ok,
            "1 HO" + body + "\r1 STJ 0008\rGOTO 90005\rMACRO 0\r");

        const auto no = PrepResult::Refused;
        addRow("101 labels", labelledFile(101, 0), 0, no,
            aborted("Line 101 has more labels than a macro can hold (at most 100)."));
        addRow("101 jumps", labelledFile(1, 101), 0, no,
            aborted("Line 102 has more jumps than a macro can hold (at most 100)."));
        addRow("32000 jumps on one line", "A:1 HO\n1" + QString(" ST 8>A").repeated(32000) + "\n",
            0, no, aborted("Line 2 has more jumps than a macro can hold (at most 100)."));
        addRow("over 1 MiB", QString("1 HO\n").repeated(MacroPrep::MaxFileBytes / 5 + 1), 0, no,
            aborted("The file is larger than 1048576 bytes, more than a macro can hold."));
        addRow("label defined nowhere", QString("A:1 HO\n1 ST 8>A ST 16>NOWHERE\n"), 0, no,
            aborted("Line 2 jumps to label NOWHERE, which is defined nowhere in the file."));
        addRow("jump sign at the end", QString("1 HO\n1 ST 8>\n"), 0, no,
            aborted("Line 2 has a GOTO without a label."));
        addRow("GOTO alone", QString("1 HO\n\nGOTO\n"), 0, no,
            aborted("Line 3 has a GOTO without a label."));
        addRow("mask beyond 32 bits", QString("1 HO\n1 ST 99999999999\n"), 0, no,
            aborted("Line 2 has a status mask that is out of range."));
        addRow("mask beyond 32 bits in a jump", QString("A:1 ST 4294967296>A\n"), 0, no,
            aborted("Line 1 has a status mask that is out of range."));
        addRow("split leaves a mask the checker refuses", QString("A:1 HO\n1 ST .>A\n"), 0, no,
            aborted("Line 2 becomes the macro line \"1 STJ .\", which contains spaces after the "
                    "last character.\r\nPut cursor on first character and hit *End* key to "
                    "fix.\r\n"));
        addRow("address beyond five digits", QString("1 HO\nA:1 ST 8>A\n"), 99995, no,
            aborted("Line 2 jumps to address 100000, which does not fit in five digits."));
        addRow("label beyond five digits, not cut", "1 HO" + body + body + "\nX:1 ST 8>X\n", 0, no,
            aborted("Line 2 jumps to address 180005, which does not fit in five digits."));
        addRow("empty", QString(), 0, PrepResult::Empty, QString("Command file is empty."));

        // The syntax rules, one file that breaks each.
        const auto bad = PrepResult::SyntaxError;
        addRow("MACRO without blank", QString("1 MACRO3\n"), 0, bad, atLine(1, macroText));
        addRow("MACRO alone", QString("MACRO\n"), 0, bad, atLine(1, macroText));
        addRow("MACRO with blank passes", QString("1 MACRO 3\n"), 0, ok, QString("1 MACRO 3\r"));
        addRow("lower case counts", QString("1 macro3\n"), 0, bad, atLine(1, macroText));
        addRow("MESSAGE", QString("MESSAGE hello\n"), 0, bad, atLine(1, messageText));
        addRow("MESSAGE on line 2", QString("1 HO\n1 MESSAGE X\n"), 0, bad, atLine(2, messageText));
        addRow("comment", QString("1 HO /*home\n"), 0, bad, atLine(1, commentText));
        addRow("semicolon label", QString("LOOP;1 HO\n"), 0, bad, atLine(1, semicolonText));
        for (const char* end :
            { "blank| ", "full stop|.", "minus|-", "asterisk|*", "slash|/", "tab|\t" }) {
            const QStringList name = QString(end).split('|');
            addRow(qPrintable("ends in " + name[0]), "1 HO" + name[1] + "\n", 0, bad,
                atLine(1, spacesText));
        }
        addRow("ends in digit", QString("1 MV 100\n"), 0, ok, QString("1 MV 100\rMACRO 0\r"));
        addRow("ends in colon", QString("LOOP:\n"), 0, ok, QString("MACRO 0\r"));
        addRow("blank line fails", QString("1 HO\n\n \n"), 0, bad, atLine(3, spacesText));
        addRow("empty line passes", QString("\n\n1 HO\n"), 0, ok, QString("1 HO\rMACRO 0\r"));
        addRow("double blank", QString("1 HO  2 HO\n"), 0, bad, atLine(1, separatedText));
        addRow("negative mask -32768", QString("1 ST -32768>A\nA:\n"), 0, bad,
            atLine(1, negativeText("-32768", "32768")));
        addRow("minus alone", QString("1 ST -\n"), 0, bad, atLine(1, spacesText));
        addRow("8 overrides 6", QString("1 ST 8  2 HO\n"), 0, bad, atLine(1, moreSpaceText));
        addRow("8 overrides 7", QString("1 ST  -8\n"), 0, bad, atLine(1, moreSpaceText));
        addRow("blank before jump", QString("1 ST 8 >A\n"), 0, bad, atLine(1, jumpText));
        addRow("blank after jump", QString("1 ST 8> A\n"), 0, bad, atLine(1, jumpText));
        addRow("9 overrides 8", QString("1 ST  8 >A\n"), 0, bad, atLine(1, jumpText));
        addRow("second jump without ST", QString("1 ST 8>A>B\n"), 0, bad, atLine(1, noStText));
        addRow("two clauses pass", QString("1 ST 8>A ST 16>B\nA:\nB:\n"), 0, ok, QString());
        addRow("ST after the jump", QString("1 XX 8>A ST 16\n"), 0, bad, atLine(1, noStText));
        addRow("no ST anywhere: rule skipped", QString("1 HO>A\nA:\n"), 0, ok, QString());
        addRow("11 overrides 9", QString("1 ST 8 >A>B\n"), 0, bad, atLine(1, noStText));
        addRow("11 overrides 10", QString("1 ST 8> A>B\n"), 0, bad, atLine(1, noStText));
        // The line ends in byte 255, so rule 5 holds back; its ">" (62) comes before its
        // "ST" (83, 84), so rule 11 is the last to fire.
        addRow("every byte value", everyByte(), 0, bad, atLine(1, noStText));
        addRow("line of 200,000 characters",
            "1 ST 8>A" + QString(200000, 'B') + " ST 16>A\nA:1 HO\n", 0, no,
            aborted("Line 1 jumps to label A" + QString(200000, 'B')
                + ", which is defined nowhere in the file."));
        addRow("2 overrides 1", QString("1 MACRO3 MESSAGE\n"), 0, bad, atLine(1, messageText));
        addRow("3 overrides 2", QString("MESSAGE /*x\n"), 0, bad, atLine(1, commentText));
        addRow("4 overrides 3", QString("1 HO /*;x\n"), 0, bad, atLine(1, semicolonText));
        addRow("6 overrides 4", QString("A;1  HO\n"), 0, bad, atLine(1, separatedText));
        // Rule 5 reports at once, over the earlier rules and instead of the later.
        addRow("5 overrides 2", QString("MESSAGE HI.\n"), 0, bad, atLine(1, spacesText));
        addRow("5 stops before 6 to 11", QString("1 ST  8 >A>B \n"), 0, bad, atLine(1, spacesText));
        // Empty lines count; the first failing line is the one reported.
        addRow("line 1", QString("1 MACRO3\n1 HO \n"), 0, bad, atLine(1, macroText));
        addRow("line 12",
            QString("1 HO\n").repeated(4) + "\n" + QString("1 HO\n").repeated(6)
                + "1 ST -8\n1 HO \n",
            0, bad, atLine(12, negativeText("-8", "65528")));
        addRow("mixed line ends", QString("1 HO\r\n2 HO\r3 HO\n\r\n1 MACRO3"), 0, bad,
            atLine(5, macroText));
    }
    void prepare()
    {
        QFETCH(QString, file);
        QFETCH(int, base);
        QFETCH(PrepResult, result);
        QFETCH(QString, expected);
        const QString source = m_dir.filePath(QStringLiteral("test.cmd"));
        QVERIFY(writeFile(source, file.toLatin1()));
        QVERIFY(writeFile(workFile(), "earlier macro\r"));
        m_prep->MacroText = QStringLiteral("earlier macro\r");
        m_prep->MacroBaseAddress = base;
        m_prep->MacroFileName = QStringLiteral("test.cmd");
        QCOMPARE(m_prep->PrepFile(m_prep->MacroFileName), result);
        QCOMPARE(readFile(source), file.toLatin1());
        QCOMPARE(m_prep->MacroFileName, QStringLiteral("test.cmd"));
        QCOMPARE(m_prep->SyntaxErrorFlag, result != PrepResult::Prepared);
        if (result == PrepResult::Prepared) {
            QVERIFY(m_prompter.shown.isEmpty());
            const QByteArray macro = m_prep->MacroText.toLatin1();
            QCOMPARE(readFileOrMissing(workFile()), macro);
            // A download stores the macro as prepared or refuses it whole, and every
            // jump holds the offset (from the base) of the first byte of a stored line.
            const StoredMacro stored = storedMacro(macro);
            QCOMPARE(stored.bytes, stored.refusedLine.isNull() ? macro : QByteArray());
            for (qsizetype g = macro.indexOf("GOTO "); g >= 0; g = macro.indexOf("GOTO ", g + 1)) {
                const qsizetype at = macro.mid(g + 5, 5).toInt() - base;
                QVERIFY2(at >= 0 && at < macro.size() && (at == 0 || macro[at - 1] == '\r'),
                    macro.mid(g, 10).constData());
            }
            if (!expected.isEmpty())
                QCOMPARE(m_prep->MacroText, expected);
            // The worked example's two command lines, whatever ends them.
            if (expected.startsWith(QStringLiteral("1 HO\r1 STJ 0008\rGOTO 00005")))
                QCOMPARE(m_prep->MacroLineCount, 2);
            return;
        }
        // Nothing prepared, and nothing that looks prepared.
        QVERIFY(m_prep->MacroText.isEmpty());
        QCOMPARE(readFile(workFile()), QByteArray("earlier macro\r"));
        QCOMPARE(m_prompter.texts(), QStringList { expected });
        const PromptMessage& box = m_prompter.shown.first();
        QCOMPARE(box.buttons, PromptButtons::Ok);
        if (result != PrepResult::Empty) {
            QCOMPARE(box.title, QStringLiteral("Syntax Checker"));
            QCOMPARE(box.icon, PromptIcon::Critical);
        }
    }

    void notFound_data()
    {
        addColumns<QString, PrepResult, QString>("name", "result", "message");
        addRow("no such file", QStringLiteral("missing.cmd"), PrepResult::NotFound, QString());
        addRow("empty name", QString(), PrepResult::NotFound, QString());
        addRow("a directory", QStringLiteral("."), PrepResult::NotFound, QString());
        addRow("the work file itself", QStringLiteral("macro.tmp"), PrepResult::FileError,
            QStringLiteral("The work file macro.tmp cannot be prepared as a command file."));
    }
    void notFound()
    {
        QFETCH(QString, name);
        QFETCH(PrepResult, result);
        QFETCH(QString, message);
        QVERIFY(writeFile(workFile(), "1 HO\n"));
        QString fileName = name;
        QCOMPARE(m_prep->PrepFile(fileName), result);
        if (result == PrepResult::NotFound)
            QCOMPARE(fileName, QStringLiteral("NOT FOUND"));
        QCOMPARE(m_prompter.texts(), message.isEmpty() ? QStringList() : QStringList { message });
        QCOMPARE(readFile(workFile()), QByteArray("1 HO\n"));
    }

    // The check sees one line more than MacroLineCount says, a remainder without CR is
    // an empty line, and each check starts with the flag cleared.
    void lineCountCounts()
    {
        const QString text = QStringLiteral("1 HO\r1 MACRO3\r1 MACRO3\r");
        m_prep->MacroFileName = QStringLiteral("a.cmd");
        m_prep->MacroLineCount = 0;
        m_prep->CheckSyntax(text);
        QVERIFY(!m_prep->SyntaxErrorFlag);
        m_prep->MacroLineCount = 1;
        m_prep->CheckSyntax(text);
        QVERIFY(m_prep->SyntaxErrorFlag);
        QVERIFY(m_prompter.shown.last().text.endsWith("Line 2 has MACRO syntax error."));
        m_prep->CheckSyntax(QStringLiteral("1 HO\r"));
        QVERIFY(!m_prep->SyntaxErrorFlag);
        QCOMPARE(m_prompter.shown.size(), 1);
        QVERIFY(!SyntaxChecker::firstError(QStringLiteral("1 HO\r1 MACRO3"), 5).failed());
    }

    // The whole-file writer and reader that every file of the program goes through.
    // "write": `bytes` replace the file (holding `before`; none when null, a folder for
    // "<folder>") under a file size limit (-1: none), which fails a write as a full disk
    // does; "read": the file (a pipe for "<pipe>") read with the limit. The outcome, then
    // the file afterwards; nothing else is left in the folder.
    void wholeFile_data()
    {
        addColumns<QString, QByteArray, QByteArray, int, QString>(
            "kind", "before", "bytes", "limit", "expected");
        const QByteArray big(5000, 'x');
        addRow("write", "write", QByteArray("old"), QByteArray("new"), -1, "ok|new");
        addRow("write past the limit", "write", QByteArray("old"), big, 4096, "File too large|old");
        addRow("write past the limit, no file", "write", QByteArray(), big, 4096,
            "File too large|<missing>");
        addRow("write over a folder", "write", QByteArray("<folder>"), big, -1,
            "Filename refers to a directory|<folder>");
        addRow("read", "read", QByteArray("abc"), QByteArray(), 3, "ok abc|abc");
        addRow("read past the limit", "read", QByteArray("abcd"), QByteArray(), 3,
            "it is larger than 3 bytes|abcd");
        addRow("read a pipe", "read", QByteArray("<pipe>"), QByteArray(), 3,
            "it is not a regular file|<pipe>");
        addRow("read a folder", "read", QByteArray("<folder>"), QByteArray(), 3,
            "it is a folder|<folder>");
        addRow("read nothing", "read", QByteArray(), QByteArray(), 3,
            "No such file or directory|<missing>");
    }
    void wholeFile()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, bytes);
        QFETCH(int, limit);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("f");
        if (before == "<folder>")
            QVERIFY(QDir().mkdir(path));
        else if (before == "<pipe>")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!before.isNull())
            writeFixture(path, before);
        QString got;
        if (kind == "write") {
            rlimit old {};
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
            const auto handler = std::signal(SIGXFSZ, SIG_IGN);
            const rlimit lowered { limit < 0 ? old.rlim_cur : rlim_t(limit), old.rlim_max };
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
            const bool ok = writeFileAtomically(path, bytes, &got);
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, handler);
            if (ok)
                got = "ok";
        } else if (const auto read = readRegularFile(path, limit, &got)) {
            got = "ok " + QString::fromLatin1(*read);
        }
        const QFileInfo info(path);
        QString after = "<pipe>";
        if (info.isDir())
            after = "<folder>";
        else if (info.isFile() || !info.exists())
            after = QString::fromLatin1(readFileOrMissing(path));
        got += '|' + after;
        QCOMPARE(got, expected);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
            info.exists() ? QStringList { "f" } : QStringList());
    }

    // zaziruv-cli check and prep. "err": what standard error holds (nothing at all when
    // the exit code is 0); "work": the work file after the run ("earlier\r" before it
    // and when empty here).
    void cli_data()
    {
        addColumns<QString, int, QString, QString>("args", "exit", "err", "work");
        const QString macro("1 HO\r1 STJ 0008\rGOTO %1\rMACRO 0\r");
        addRow("check passes", "check good.cmd", 0, "", "");
        addRow("check fails", "check bad.cmd", 1,
            "Error found in file BAD.CMD.\nLine 2 has a Negative Status Mask Statement.\n\n"
            "*ST -8*  Must be changed to its Positive mask *ST 65528*\n",
            "");
        addRow("prep, default base", "prep good.cmd", 0, "", macro.arg("00005"));
        addRow("prep, base 150", "prep good.cmd --base 150", 0, "", macro.arg("00155"));
        addRow("prep, base=1024", "prep good.cmd --base=1024", 0, "", macro.arg("01029"));
        addRow(
            "prep, syntax", "prep bad.cmd", 1, "Line 2 has a Negative Status Mask Statement.", "");
        addRow("prep, empty", "prep empty.cmd", 1, "Command file is empty.", "");
        addRow("prep, missing", "prep missing.cmd", 1, "no command file \"missing.cmd\"", "");
        addRow("prep, undefined label", "prep nolabel.cmd", 1,
            "Line 1 jumps to label AWAY, which is defined nowhere in the file.", "");
        for (const char* usage : { "check", "prep a.cmd b.cmd", "prep good.cmd --base x",
                 "prep good.cmd --base -1", "prep good.cmd --base", "check good.cmd --fast" })
            addRow(usage, usage, 2, "", "");
    }
    void cli()
    {
        QFETCH(QString, args);
        QFETCH(int, exit);
        QFETCH(QString, err);
        QFETCH(QString, work);
        writeFixture(m_dir.filePath("good.cmd"), "1 HO\nLOOP:1 ST 8>LOOP\n");
        writeFixture(m_dir.filePath("bad.cmd"), "1 HO\n1 ST -8\n");
        writeFixture(m_dir.filePath("empty.cmd"), "");
        writeFixture(m_dir.filePath("nolabel.cmd"), "1 ST 8>AWAY\n");
        writeFixture(workFile(), "earlier\r");
        ProcessOptions options;
        options.environment = homeEnvironment(m_dir);
        const ProcessRun r = runProcess(appBinary("zaziruv-cli"),
            QStringList { "--dir", m_dir.path() } + args.split(' '), options);
        QCOMPARE(r.exitCode, exit);
        QCOMPARE(r.out, QByteArray());
        if (exit == 0)
            QCOMPARE(r.errText(), QString());
        else
            QVERIFY2(!r.errText().isEmpty() && r.errText().contains(err), qPrintable(r.errText()));
        QCOMPARE(readFileOrMissing(workFile()), work.isEmpty() ? "earlier\r" : work.toLatin1());
        QCOMPARE(readFile(m_dir.filePath("bad.cmd")), QByteArray("1 HO\n1 ST -8\n"));
    }
};

QTEST_GUILESS_MAIN(TstEeprom)
#include "tst_eeprom.moc"
