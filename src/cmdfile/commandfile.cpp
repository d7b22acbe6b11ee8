#include "cmdfile/commandfile.h"

#include "core/numbers.h"
#include "core/text.h"

#include <cmath>
#include <limits>

namespace {

const QChar Quote = QLatin1Char('"');

// Digits after leading blanks, up to the first other character; -1 when the number
// passes `limit` (so that a huge count is refused instead of wrapping).
int readCount(QStringView text, int limit)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > limit)
            return -1;
    }
    return int(value);
}

qint32 toInt32(double value)
{
    if (!std::isfinite(value))
        return 0;
    constexpr double lo = std::numeric_limits<qint32>::min();
    constexpr double hi = std::numeric_limits<qint32>::max();
    if (value <= lo)
        return std::numeric_limits<qint32>::min();
    if (value >= hi)
        return std::numeric_limits<qint32>::max();
    return qint32(roundHalfEven(value));
}

void parseWaits(CommandFileTables& t, int line)
{
    const QString& part = t.commandParts[size_t(line)];
    const QString upper = asciiUpper(part);
    auto& entries = t.waits[size_t(line)];
    entries.fill(WaitEntry {});
    t.waitCount[size_t(line)] = 0;
    const qsizetype st = upper.indexOf(QLatin1String(" ST "));
    if (st < 0 && !upper.contains(QLatin1String(" XST ")))
        return;
    // After " ST " the scan starts at the blank behind "ST"; a line with only " XST "
    // is scanned from its third character, so "XST" itself is the first (0) entry.
    qsizetype pos = st >= 0 ? st + 3 : 2;
    int count = 0;
    const qsizetype n = part.size();
    while (pos < n && count < CommandFileTables::MaxWaits) {
        qsizetype end = part.indexOf(QLatin1Char(' '), pos);
        if (end < 0)
            end = n;
        const QString word = part.mid(pos, end - pos);
        pos = end + 1;
        if (word.isEmpty())
            continue;
        ++count;
        WaitEntry& e = entries[size_t(count)];
        const qsizetype gt = word.indexOf(QLatin1Char('>'));
        e.value = toInt32(readDecimal(QStringView(word).left(gt < 0 ? word.size() : gt)));
        e.label = gt < 0 ? QString() : asciiUpper(QStringView(word).mid(gt + 1));
    }
    t.waitCount[size_t(line)] = count;
}

} // namespace

CommandFileRead readCommandFile(QByteArrayView bytes)
{
    CommandFileRead result;
    CommandFileTables& t = result.tables;
    int fileLineNo = 0;
    int firstRepeatFileLine = 0;
    for (const TextLine& read : splitLines(bytes)) {
        QString line = read.text;
        ++fileLineNo;
        if (trimTrailing(line).isEmpty())
            continue;
        const qsizetype comment = line.indexOf(QLatin1String("/*"));
        if (comment >= 1)
            line.truncate(comment);
        line.replace(QLatin1Char('\t'), QLatin1Char(' '));
        line = trimTrailing(line);
        if (!line.contains(QLatin1String("/*"))) {
            if (t.lineCount >= CommandFileTables::MaxLines) {
                result.error = QStringLiteral("The command file has more than %1 command lines (line %2 "
                                              "is the first beyond them); it was not run.")
                                   .arg(CommandFileTables::MaxLines)
                                   .arg(fileLineNo);
                return result;
            }
            ++t.lineCount;
            t.lines[size_t(t.lineCount)] = line;
            t.fileLine[size_t(t.lineCount)] = fileLineNo;
        }
        // Markers count in whole-line comments too.
        const QString upper = asciiUpper(line);
        const qsizetype rep = upper.indexOf(QLatin1String("REPEAT "));
        if (rep >= 0) {
            const int count = readCount(QStringView(line).mid(rep + 6), CommandFileTables::MaxRepeatCount);
            if (count < 0) {
                result.error = QStringLiteral("The repeat count on line %1 is larger than %2; the command "
                                              "file was not run.")
                                   .arg(fileLineNo)
                                   .arg(CommandFileTables::MaxRepeatCount);
                return result;
            }
            t.repeatStart = t.lineCount + 1;
            t.repeatCount = count;
            t.hasRepeat = true;
            t.repeatFileLine = fileLineNo;
            if (firstRepeatFileLine == 0)
                firstRepeatFileLine = fileLineNo;
        }
        if (upper.contains(QLatin1String("REND"))) {
            t.repeatEnd = t.lineCount;
            t.hasRend = true;
            t.rendFileLine = fileLineNo;
        }
    }
    // A pass runs from the repeat start until it meets the repeat end; without an end
    // at or after the start it would run off the table.
    if (t.hasRepeat && !t.hasRend) {
        result.error = QStringLiteral("REPEAT on line %1 has no REND after it; the command file was not run.")
                           .arg(t.repeatFileLine);
    } else if (t.hasRepeat && t.repeatEnd < t.repeatStart) {
        // A REND with no REPEAT anywhere before it is out of order; a REND that closed
        // an earlier block leaves the last REPEAT without its own.
        if (t.rendFileLine < firstRepeatFileLine) {
            result.error = QStringLiteral("REND on line %1 comes before its REPEAT on line %2; the command file "
                                          "was not run.")
                               .arg(t.rendFileLine)
                               .arg(t.repeatFileLine);
        } else {
            result.error = QStringLiteral("REPEAT on line %1 has no REND after it; the command file was not run.")
                               .arg(t.repeatFileLine);
        }
    }
    return result;
}

void ParseCommandFile(CommandFileTables& t)
{
    t.labelLine.fill(0);
    t.labelCount = 0;
    const int lines = qBound(0, t.lineCount, CommandFileTables::MaxLines);
    for (int i = 1; i <= lines; ++i) {
        const QString& line = t.lines[size_t(i)];
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        t.labelName[size_t(i)].clear();
        if (colon >= 1) {
            ++t.labelCount;
            t.labelLine[size_t(t.labelCount)] = i;
            t.labelName[size_t(i)] = asciiUpper(QStringView(line).left(colon));
        }
        t.commandParts[size_t(i)] = colon < 0 ? line : trimLeading(line.mid(colon + 1));
        parseWaits(t, i);
    }
}

LineAction classifyLine(const QString& part)
{
    LineAction a;
    const QString upper = asciiUpper(part);
    const qsizetype delay = upper.indexOf(QLatin1String("DELAY"));
    if (delay >= 0) {
        a.delay = true;
        // The value starts one character after the keyword: "DELAY 500" gives 500.
        a.delayValue = readDecimal(QStringView(part).mid(delay + 6));
    }
    const qsizetype message = upper.indexOf(QLatin1String("MESSAGE"));
    if (message >= 0) {
        a.message = true;
        a.messageText = part.mid(message + 7);
    }
    // A MESSAGE line's text never reaches the controller: command transmission drops
    // it, and it is never taken for a literal, which would go out unframed.
    const QString text = a.message ? a.messageText : part;
    if (upper.contains(QLatin1String("PAUSE")))
        a.kind = LineAction::Pause;
    else if (!a.message && part.contains(Quote))
        a.kind = LineAction::Literal;
    else if (!text.isEmpty())
        a.kind = LineAction::Command;
    return a;
}

double delayTicks(double value)
{
    if (!std::isfinite(value) || value <= 0)
        return 0;
    return std::floor(value / 10 * 1.3);
}

bool buildLiteral(const QString& part, QString& literal, QString* why)
{
    const qsizetype open = part.indexOf(Quote);
    if (open < 0) {
        if (why)
            *why = QStringLiteral("it has no double quote");
        return false;
    }
    const qsizetype close = part.indexOf(Quote, open + 1);
    if (close < 0) {
        if (why)
            *why = QStringLiteral("the text has no closing double quote");
        return false;
    }
    // After the closing quote: ",a,b", ",b" or nothing.
    const QStringView rest = QStringView(part).mid(close + 1);
    double a = 0;
    double b = 0;
    const qsizetype c1 = rest.indexOf(QLatin1Char(','));
    if (c1 >= 0) {
        const qsizetype c2 = rest.indexOf(QLatin1Char(','), c1 + 1);
        if (c2 >= 0) {
            a = readDecimal(rest.mid(c1 + 1, c2 - c1 - 1));
            b = readDecimal(rest.mid(c2 + 1));
        } else {
            b = readDecimal(rest.mid(c1 + 1));
        }
    }
    const qint64 ca = roundHalfEven(a);
    const qint64 cb = roundHalfEven(b);
    for (qint64 code : { ca, cb }) {
        if (code < 0 || code > 255) {
            if (why)
                *why = QStringLiteral("the character code %1 is not between 0 and 255").arg(code);
            return false;
        }
    }
    literal = part.mid(open + 1, close - open - 1) + QChar(char16_t(ca)) + QChar(char16_t(cb));
    return true;
}

QString checkCommandFile(const CommandFileTables& t)
{
    const int lines = qBound(0, t.lineCount, CommandFileTables::MaxLines);
    for (int i = 1; i <= lines; ++i) {
        const QString& part = t.commandParts[size_t(i)];
        if (classifyLine(part).kind != LineAction::Literal)
            continue;
        QString literal;
        QString why;
        if (!buildLiteral(part, literal, &why))
            return QStringLiteral("Line %1 cannot be sent: %2; the command file was not run.")
                .arg(t.fileLine[size_t(i)])
                .arg(why);
    }
    return {};
}
