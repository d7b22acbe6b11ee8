// The RTF reader and writer: what they make of each other, of files written by
// other programs, and of broken input.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/testfiles.h"

#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

namespace {

const QString kData = QStringLiteral(ZZ_SOURCE_DIR "/tests/rtf/");

// A document with a fixed default font, so that font table entry 0 does not depend
// on the machine.
struct Doc : QTextDocument
{
    Doc() { setDefaultFont(QFont(QStringLiteral("Sans"))); }
    explicit Doc(const QByteArray& rtfBytes)
        : Doc()
    {
        rtf::read(rtfBytes, *this);
    }
};

QByteArray written(
    const QByteArray& body, const QByteArray& fonts = {}, const QByteArray& colours = {})
{
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl{\\f0\\fnil Sans;}" + fonts
        + "}\n{\\colortbl;" + colours + "}\n" + body + "}\n";
}

} // namespace

class TestRtf : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each input read, then written: byte for byte what the reader understood.
    void readThenWrite_data()
    {
        addColumns<QByteArray, QByteArray>("input", "output");
        auto row = [](const char* name, const QByteArray& in, const QByteArray& out) {
            addRow(name, in, out);
        };
        row("plain", "{\\rtf1 Hello}", written("\\pard Hello"));
        row("paragraphs, alignment, last without par",
            "{\\rtf1\\pard\\qc A\\par\\pard B\\par\r\n\\qr C}",
            written("\\pard\\qc A\\par\n\\pard B\\par\n\\pard\\qr C"));
        row("spacing and indents in twips, reset by pard",
            "{\\rtf1\\sb120\\sa240\\li720\\fi-360 A\\par\\pard\\sa99999999 B}",
            written("\\pard\\sb120\\sa240\\li720\\fi-360 A\\par\n\\pard\\sa31680 B"));
        row("bold, italic, underline, strike; off again",
            "{\\rtf1 a\\b b\\i c\\b0\\i0\\ul d\\ulnone\\strike e\\strike0 f}",
            written("\\pard a{\\b b}{\\b\\i c}{\\ul d}{\\strike e}f"));
        row("group ends formatting; plain resets", "{\\rtf1 {\\b\\i x}y\\b\\fs40 z\\plain w}",
            written("\\pard {\\b\\i x}y{\\b\\fs40 z}w"));
        row("font table with and without groups",
            "{\\rtf1{\\fonttbl\\f0\\fswiss Helvetica;\\f1\\fmodern Courier New;}"
            "{\\fonttbl{\\f2\\fnil{\\*\\panose 0}Mono{\\*\\falt M};}}\\f1 c\\f2 m\\f9 u}",
            written("\\pard {\\f1 c}{\\f2 m}u", "{\\f1\\fnil Courier New;}{\\f2\\fnil Mono;}"));
        row("colour table, 0 is automatic",
            "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
            "\\cf2 n\\cf0 a\\cf1 r\\highlight2 h\\cf7 x}",
            written("\\pard {\\cf1 n}a{\\cf2 r}{\\cf2\\highlight1 h}{\\highlight1 x}", {},
                "\\red0\\green0\\blue128;\\red255\\green0\\blue0;"));
        row("code page 1252, escapes, tab, line, no-break space",
            "{\\rtf1 \\'80\\'e9\\'FC\\'9f \\\\\\{\\}\\tab t\\line l\\~\\emdash\\'zz.}",
            written("\\pard \\u8364\\'3f\\u233\\'3f\\u252\\'3f\\u376\\'3f "
                    "\\\\\\{\\}\\tab t\\line l\\~\\u8212\\'3fzz."));
        row("unicode with fallbacks: uc1, uc0, uc2, group resets",
            "{\\rtf1 caf\\u233?,\\uc0\\u969 ,{\\uc2\\u8364\\'80\\'80}\\u-4064 x\\u8212\\'97}",
            written(
                "\\pard "
                "caf\\u233\\'3f,\\u969\\'3f,\\u8364\\'3f\\u-4064\\'3fx\\u8212\\'3f\\u8212\\'3f"));
        row("surrogate pair kept, lone half replaced", "{\\rtf1 \\u55348?\\u56606? \\u-10179?x}",
            written("\\pard \\u-10188\\'3f\\u-8930\\'3f \\u-3\\'3fx"));
        row("destinations skipped, text around kept",
            "{\\rtf1 a{\\info{\\title T}}b{\\stylesheet{\\s0 Normal;}}c{\\*\\unknown "
            "u{\\b v}}d{\\pict\\bin4 }}{x}e{\\field{\\*\\fldinst HYPERLINK}{\\fldrslt "
            "f}}}",
            written("\\pard abcdef"));
        row("binary data is not text", "{\\rtf1 a{\\*\\blob\\bin3 {\\}b}c\\bin2 zzd}",
            written("\\pard acd"));
        row("text after the document's end ignored", "\r\n {\\rtf1 in}out{\\b more}",
            written("\\pard in"));
        row("unclosed groups, cut in a control word", "{\\rtf1 {\\b bold {\\i both\\par\\ul",
            written("\\pard {\\b bold }{\\b\\i both}\\par\n\\pard "));
        row("not RTF: UTF-8 text", "A{b}\nc\xc3\xa9",
            written("\\pard A\\{b\\}\\par\n\\pard c\\u233\\'3f"));
        row("not RTF: Windows-1252 text", "\x80 \xe9", written("\\pard \\u8364\\'3f \\u233\\'3f"));
        row("empty", "", written("\\pard "));
        // Files written by pandoc and by a word processor (what was read from them reviewed
        // by hand: text, paragraphs, formats).
        for (const char* file : { "pandoc", "wordprocessor" })
            row(file, readFile(kData + file + ".rtf"),
                readFile(kData + file + ".read.rtf", "<missing>"));
    }

    void readThenWrite()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        QCOMPARE(rtf::write(Doc(input)), output);
    }

    void roundTrip()
    {
        Doc doc;
        doc.setHtml(QStringLiteral("<p align=center><b>Bold</b> <i>it</i> <u>ul</u></p>"
                                   "<p><span style='font-size:15pt; color:#008000'>big green</span>"
                                   " Größe — ω 𝄞 {\\}</p><p>last</p>"));
        const QByteArray bytes = rtf::write(doc);
        QVERIFY(bytes.contains("\\pard\\qc\\sb180\\sa180 {\\b Bold} {\\i it} {\\ul ul}"));
        QVERIFY(bytes.contains("{\\fs30\\cf1 big green}"));
        const Doc back(bytes);
        QCOMPARE(back.toPlainText(), doc.toPlainText());
        QCOMPARE(rtf::write(back), bytes);
    }

    // What other readers make of the writer's output.
    void readBackByOthers_data()
    {
        addColumns<QStringList, QString>("arguments", "expected"); // expected: parts, "|"
        addRow("unrtf", QStringList { "--html" },
            QString("<b>Bold</b>|<i>ital</i>|<u>under</u>|Gr&ouml;&szlig;e &euro; {x}"));
        addRow("pandoc", QStringList { "-f", "rtf", "-t", "html" },
            QString("<strong>Bold</strong>|<em>ital</em>|<u>under</u>|Größe €|{x}"));
    }

    void readBackByOthers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const QString program = QString::fromLatin1(QTest::currentDataTag());
        const QString exe = QStandardPaths::findExecutable(program);
        if (exe.isEmpty())
            QSKIP(qPrintable(
                program + QStringLiteral(" is not installed; install it to run this check")));
        Doc doc;
        doc.setHtml(
            QStringLiteral("<p><b>Bold</b> <i>ital</i> <u>under</u></p><p>Größe € {x}</p>"));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("out.rtf"));
        QVERIFY(writeFile(file, rtf::write(doc)));
        const ProcessRun r = runProcess(exe, arguments << file);
        QCOMPARE(r.exitCode, 0);
        const QString out = QString::fromUtf8(r.out);
        for (const QString& e : expected.split('|'))
            QVERIFY2(out.contains(e), qPrintable(e + QStringLiteral(" not in:\n") + out));
    }

    // Input deeper or longer than a fuzzer's reads without a crash.
    void brokenInput()
    {
        const QByteArray deep = "{\\rtf1" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}');
        QCOMPARE(Doc(deep).toPlainText(), QStringLiteral("x"));
        Doc { "{\\rtf1" + QByteArray(100000, '\\') };
        Doc { "{\\rtf1\\u99999999999999999999\\uc-5\\bin-3\\fs99999999999\\f-1 \\'" };
    }
};

QTEST_MAIN(TestRtf)
#include "tst_rtf.moc"
