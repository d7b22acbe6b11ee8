#include "eeprom/syntaxchecker.h"

#include "core/numbers.h"
#include "core/text.h"

namespace {

constexpr QChar CR = u'\r';
const QString CRLF = QStringLiteral("\r\n");

// A number as the messages write it: a blank before one that is 0 or more.
QString numberWithSign(double value)
{
    return value < 0 ? plainNumber(value) : QLatin1Char(' ') + plainNumber(value);
}

// Rule 11: every ">" needs an "ST" between the previous ">" (or the start of the
// line) and itself. Looks only inside each clause, so a line is walked once.
bool jumpWithoutStatus(QStringView line)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype gt = line.indexOf(u'>', start);
        if (gt < 0)
            return false;
        if (!line.sliced(start, gt - start).contains(u"ST"))
            return true;
        start = gt + 1;
    }
}

} // namespace

QString SyntaxChecker::linePrefix(int lineNumber)
{
    return QStringLiteral("Line") + withSign(lineNumber);
}

QString SyntaxChecker::lineMessage(QStringView line, int lineNumber)
{
    QString text;
    if (line.contains(u"MACRO") && !line.contains(u"MACRO "))
        text = QStringLiteral(" has MACRO syntax error.");
    if (line.contains(u"MESSAGE"))
        text = QStringLiteral(" has MESSAGE Statement which cannot be downloaded.");
    if (line.contains(u"/*"))
        text = QStringLiteral(" has COMMENTS(/*)which cannot be downloaded.");
    if (line.contains(u';'))
        text = QStringLiteral(" has a possible label with ; instead of : ");

    // Trailing blanks and punctuation: reported at once, the later rules are not tried.
    const qsizetype cr = line.indexOf(CR);
    if (cr > 0 && line[cr - 1].unicode() < '0') {
        return linePrefix(lineNumber) + QStringLiteral(" contains spaces after the last character.")
            + CRLF + QStringLiteral("Put cursor on first character and hit *End* key to fix.")
            + CRLF;
    }

    const bool doubleBlank = line.contains(u"  ");
    if (doubleBlank) {
        text = QStringLiteral(" contains instructions separated by more than 1 space.") + CRLF
            + QStringLiteral("Please correct this or remove and rewrite the instructions.");
    }

    if (line.contains(u"ST")) {
        if (const qsizetype neg = line.indexOf(u"ST -"); neg >= 0) {
            const double mask = readDecimal(line.sliced(neg + 3));
            text = QStringLiteral(" has a Negative Status Mask Statement.") + CRLF + CRLF
                + QStringLiteral("*ST ") + numberWithSign(mask)
                + QStringLiteral("*  Must be changed to its Positive mask *ST")
                + numberWithSign(mask + 65536) + QStringLiteral("*") + CRLF
                + QStringLiteral("since the Macros only work with only Positive masks.");
        }
        if (doubleBlank)
            text = QStringLiteral(" has a command with more than one space.");
        if (line.contains(u" >"))
            text = QStringLiteral(" has a > Syntax Error.");
        if (line.contains(u"> "))
            text = QStringLiteral(" has a > Syntax Error.");
        if (jumpWithoutStatus(line))
            text = QStringLiteral(" has a > without an ST.");
    }

    if (text.isEmpty())
        return {};
    return linePrefix(lineNumber) + text;
}

SyntaxChecker::Finding SyntaxChecker::firstError(const QString& text, int lineCount)
{
    const QString upperText = LineReader::upper(text);
    const QStringView all(upperText);
    qsizetype at = 0; // start of the remaining text
    for (int i = 1; i <= lineCount + 1; ++i) {
        const qsizetype cr = all.indexOf(CR, at);
        if (cr < 0)
            break; // no line left: an empty line passes every rule
        const QString message = lineMessage(all.sliced(at, cr + 1 - at), i);
        if (!message.isEmpty())
            return { i, message };
        at = cr + 1;
    }
    return {};
}

QString SyntaxChecker::abortMessage(const QString& fileName, const QString& lineMessage)
{
    return QStringLiteral("Download Aborted!") + CRLF + CRLF
        + QStringLiteral("Error found in file ") + fileName.toUpper() + QLatin1Char('.') + CRLF
        + lineMessage;
}
