#include "core/text.h"

QList<TextLine> LineReader::split(QByteArrayView bytes)
{
    return split(QString::fromLatin1(bytes));
}

QList<TextLine> LineReader::split(QStringView text)
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

QString LineReader::upper(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return out;
}

QString LineReader::trimBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start] == u' ')
        ++start;
    while (end > start && text[end - 1] == u' ')
        --end;
    return text.sliced(start, end - start);
}
