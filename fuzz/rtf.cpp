// The help documents are files anyone may replace: any bytes.

#include "fuzzsupport.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"

#include <QGuiApplication>
#include <QTextDocument>

namespace {

// What the writer keeps of a document's text: control characters other than tab and
// line end, and embedded objects, carry no text.
QString writable(const QString& plain)
{
    QString out;
    for (const QChar c : plain) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n') || u == QChar::ObjectReplacementCharacter)
            continue;
        out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Documents need fonts, and fonts a GUI application; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size).toByteArray();
    QTextDocument doc;
    rtf::read(bytes, doc);

    // What the writer makes of it is RTF, and reads back to the same text.
    const QByteArray written = rtf::write(doc);
    FUZZ_CHECK(written.startsWith("{\\rtf1"));
    QTextDocument back;
    FUZZ_CHECK(rtf::read(written, back));
    FUZZ_CHECK(back.toPlainText() == writable(doc.toPlainText()));

    // A document this writer wrote is written out again byte for byte (the first
    // round may drop what RTF cannot hold, such as control characters in font names).
    const QByteArray again = rtf::write(back);
    QTextDocument third;
    rtf::read(again, third);
    FUZZ_CHECK(rtf::write(third) == again);
    return 0;
}
