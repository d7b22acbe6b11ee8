#include "answerparser.h"

#include "core/text.h"
#include "link/framing.h"

namespace {
const QChar CR = QLatin1Char('\r');
const QChar LF = QLatin1Char('\n');

bool startsWithLineEnd(const QString& s)
{
    return !s.isEmpty() && (s[0] == CR || s[0] == LF);
}

// The text from (1-based) position p + len + k on, where p is where `what` occurs in
// `text`: the removal of an echoed command in front of its answer.
void removeEcho(QString& text, const QString& what, int k)
{
    const qsizetype p = text.indexOf(what);
    if (p >= 0)
        text = text.mid(p + what.size() + k);
}

// Whether the answer line (up to its CR) is the controller's status answer to the
// node queried in `command` (upper case): "<node> hhhh", with "#" and the two check
// characters in checksum mode. The "00" rule alone drops every status of 0100 hex or
// more ("0 0103"), so a wait on such a status could never end.
bool isStatusAnswerOf(const QString& buffer, const QString& command, bool checksum)
{
    const qsizetype st = command.indexOf(QLatin1String(" ST"));
    const qsizetype cr = buffer.indexOf(CR);
    if (st < 0 || cr < 0)
        return false;
    const QStringView node = QStringView(command).left(st);
    const QStringView line = QStringView(buffer).left(cr);
    const qsizetype length = node.size() + 5 + (checksum ? 3 : 0);
    if (line.size() != length || !line.startsWith(node) || line[node.size()] != QLatin1Char(' '))
        return false;
    for (qsizetype i = node.size() + 1; i < node.size() + 5; ++i) {
        const QChar c = line[i];
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    }
    return !checksum || line[node.size() + 5] == QLatin1Char('#');
}
} // namespace

ParsedAnswer parseAnswer(const QString& received, const AnswerRequest& request)
{
    ParsedAnswer a;
    const QString command = asciiUpper(request.command);
    a.statusQuery = command.contains(QLatin1String("ST"));
    QString& buffer = a.buffer;
    buffer = received;
    if (startsWithLineEnd(buffer))
        buffer.remove(0, 1);
    if (!buffer.contains(CR)) {
        if (buffer.size() > request.maxPending)
            buffer.clear();
        return a;
    }
    if (request.statusWait && a.statusQuery) {
        const qsizetype zeros = buffer.indexOf(QLatin1String("00"));
        const bool zerosInFront = buffer.contains(QLatin1Char(' ')) && zeros >= 0 && zeros <= 2;
        if (!zerosInFront && !isStatusAnswerOf(buffer, command, request.checksum))
            buffer.clear();
    }
    const int k = request.checksum ? 5 : 3;
    if (!request.command.isEmpty())
        removeEcho(buffer, request.command, k);
    if (!request.statusQueryPrefix.isEmpty()) {
        removeEcho(buffer, request.statusQueryPrefix, k);
        if (!buffer.contains(CR))
            return a;
    }
    if (startsWithLineEnd(buffer))
        buffer.remove(0, 1);
    if (buffer.isEmpty() || !buffer.contains(CR) || buffer.size() < 6)
        return a;
    const qsizetype cr = buffer.indexOf(CR);
    a.complete = true;
    a.line = buffer.left(cr);
    buffer.truncate(cr + 1);
    if (request.checksum) {
        if (buffer.contains(QLatin1Char('#'))) {
            Calc_RX_Cksum(buffer);
            a.line = buffer;
            a.rejected = buffer.isEmpty();
        } else {
            buffer.clear();
            a.line.clear();
            a.rejected = true;
        }
    }
    return a;
}
