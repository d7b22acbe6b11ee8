#include "core/text.h"

QList<TextLine> splitLines(QByteArrayView bytes)
{
    return splitLines(QString::fromLatin1(bytes));
}

QList<TextLine> splitLines(QStringView text)
{
    QList<TextLine> lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            ++i;
            continue;
        }
        TextLine line;
        line.text = text.sliced(start, i - start).toString();
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
            line.lineFeed = true;
            i += 2;
        } else {
            line.lineFeed = c == u'\n';
            ++i;
        }
        lines.append(std::move(line));
        start = i;
    }
    if (start < n)
        lines.append({ text.sliced(start).toString(), false });
    return lines;
}

QString asciiUpper(QStringView text)
{
    QString out = text.toString();
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return out;
}

QString trimTrailing(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return text.left(end);
}

QString trimLeading(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && text[start] == u' ')
        ++start;
    return text.mid(start);
}

QString trimBlanks(const QString& text)
{
    return trimLeading(trimTrailing(text));
}
