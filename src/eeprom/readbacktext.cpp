#include "readbacktext.h"

#include "core/numbers.h"

namespace ReadBackText {

namespace {

// Calls f with the position of each byte rule A takes, in order: the 6th character
// counted from the first "00" after the previous byte. Positions rather than the
// rule's cutting, so that a long read is taken apart in one pass.
template <typename F> void forEachByte(const QString& answers, F f)
{
    for (qsizetype from = 0;;) {
        const qsizetype p = answers.indexOf(QLatin1String("00"), from);
        if (p < 0 || answers.size() < p + 6)
            return;
        f(p + 5);
        from = p + 6;
    }
}

} // namespace

int answerCount(const QString& answers)
{
    int count = 0;
    forEachByte(answers, [&count](qsizetype) { ++count; });
    return count;
}

QString withLastAnswerEnded(QString answers)
{
    qsizetype end = -1;
    forEachByte(answers, [&end](qsizetype at) { end = at + 1; });
    const QStringView tail = QStringView(answers).mid(end);
    if (end >= 0 && (tail.isEmpty() || tail == u"\r"))
        answers = answers.left(end) + QLatin1String("\r\n");
    return answers;
}

QByteArray bytesFromAnswers(const QString& answers)
{
    QByteArray bytes;
    forEachByte(
        answers, [&](qsizetype at) { bytes.append(char(answers.at(at).unicode() & 0xFF)); });
    return bytes;
}

QByteArray fileText(const QByteArray& bytes, bool asText)
{
    QByteArray text;
    text.reserve(bytes.size() + bytes.count('\r'));
    for (const char c : bytes) {
        text.append(c);
        if (c == '\r')
            text.append('\n');
    }
    if (asText)
        return text;
    QByteArray numbers;
    numbers.reserve(text.size() * 6);
    for (const char c : text)
        numbers += withSign(quint8(c)).toLatin1() + "\r\n";
    return numbers;
}

} // namespace ReadBackText
