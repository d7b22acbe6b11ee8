#include "combofile.h"

#include "core/numbers.h"
#include "core/text.h"

#include <QStringDecoder>
#include <algorithm>
#include <limits>

namespace ComboFile {

namespace {
const QLatin1String BootKey("BOOTMACRO=");
} // namespace

QString tooLargeText(const QString& name)
{
    return QStringLiteral("%1 cannot be used: it is larger than %2 bytes, far more than a "
                          "combination file holds.")
        .arg(name)
        .arg(MaxBytes);
}

QString utf8Reading(const QString& name)
{
    const QByteArray bytes = name.toLatin1();
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError() || text == name || QString::fromLatin1(bytes) != name)
        return {};
    return text;
}

bool isBootLine(QStringView line)
{
    return asciiUpper(line).contains(BootKey);
}

Contents read(QByteArrayView bytes, const QString& name)
{
    Contents c;
    if (bytes.size() > MaxBytes) {
        c.error = tooLargeText(name);
        return c;
    }
    const QList<TextLine> lines = splitLines(bytes);
    for (const TextLine& line : lines) {
        if (isBootLine(line.text)) {
            const qsizetype at = asciiUpper(line.text).indexOf(BootKey);
            c.bootMacro = line.text.sliced(at + BootKey.size());
        } else {
            c.files << line.text;
        }
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].text.contains(QChar())) {
            // The system would cut the name at the NUL and open another file.
            c.error = QStringLiteral("%1 cannot be used: line %2 holds a NUL character, which no "
                                     "file name holds.")
                          .arg(name)
                          .arg(i + 1);
            c.files.clear();
            c.bootMacro.reset();
            return c;
        }
    }
    if (lines.size() > MaxLines || c.files.size() > MaxFiles) {
        c.error = QStringLiteral("%1 cannot be used: it has %2 lines naming %3 files, and a "
                                 "combination holds at most %4 files (the TYX directory has %4 "
                                 "names) in at most %5 lines.")
                      .arg(name)
                      .arg(lines.size())
                      .arg(c.files.size())
                      .arg(MaxFiles)
                      .arg(MaxLines);
        c.files.clear();
        c.bootMacro.reset();
    }
    return c;
}

QString bootNumber(const QString& boxText)
{
    // The digits as typed, so that any number reads back as the same text and value:
    // leading zeros, trailing zeros of the fraction and a plus sign go.
    qsizetype i = 0;
    const qsizetype n = boxText.size();
    while (i < n && (boxText[i] == u' ' || boxText[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (boxText[i] == u'-' || boxText[i] == u'+'))
        negative = boxText[i++] == u'-';
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < n && boxText[i] >= u'0' && boxText[i] <= u'9')
            ++i;
        return boxText.mid(from, i - from);
    };
    QString whole = digits();
    QString fraction;
    if (i < n && boxText[i] == u'.') {
        ++i;
        fraction = digits();
    }
    while (whole.startsWith(u'0'))
        whole.remove(0, 1);
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (whole.isEmpty() && fraction.isEmpty())
        return QStringLiteral("0");
    return (negative ? QStringLiteral("-") : QString())
        + (whole.isEmpty() ? QStringLiteral("0") : whole)
        + (fraction.isEmpty() ? QString() : QLatin1Char('.') + fraction);
}

int bootValue(const QString& boxText)
{
    const double v = readDecimal(boxText);
    constexpr double limit = std::numeric_limits<int>::max();
    return int(roundHalfEven(std::clamp(v, -limit, limit)));
}

QString refusal(const QStringList& files)
{
    if (files.size() > MaxFiles)
        return QStringLiteral("A combination holds at most %1 files (the TYX directory has %1 "
                              "names); this one lists %2.")
            .arg(MaxFiles)
            .arg(files.size());
    for (const QString& f : files) {
        bool fits
            = !f.contains(u'\r') && !f.contains(u'\n') && !f.contains(QChar()) && !isBootLine(f);
        for (QChar ch : f)
            fits = fits && ch.unicode() <= 0xFF;
        if (!fits)
            return QStringLiteral("The file name \"%1\" cannot be kept in a combination file.")
                .arg(f);
    }
    return {};
}

QByteArray write(const QString& boxText, const QStringList& files)
{
    QByteArray out = "BootMacro=" + bootNumber(boxText).toLatin1() + "\r\n";
    for (const QString& f : files)
        out += f.toLatin1() + "\r\n";
    return out;
}

} // namespace ComboFile
