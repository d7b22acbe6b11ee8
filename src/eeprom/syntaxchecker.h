#pragma once

#include <QString>

// The rules a command file must meet before it can become a stored macro. Pure text
// work: MacroPrep::CheckSyntax shows the result and keeps SyntaxErrorFlag.
class SyntaxChecker
{
public:
    struct Finding
    {
        int line = 0; // 1-based line number, 0 when the text passes
        QString message; // "Line 12 has ..."; empty when the text passes
        bool failed() const { return !message.isEmpty(); }
    };

    // text: every line of the command file followed by one CR, as the first pass of
    // the preparation builds it. lineCount: the number of lines read. Lines are
    // examined in order and the first that breaks a rule is reported; the pass after
    // the last counted line sees nothing and passes. Case does not matter.
    static Finding firstError(const QString& text, int lineCount);

    // The rules applied to one upper-cased line that still ends with its CR; the
    // message of the rule that fired last, or empty.
    static QString lineMessage(QStringView line, int lineNumber);

    // The text of the box that stops a download: the file name upper-cased, then the
    // line's message.
    static QString abortMessage(const QString& fileName, const QString& lineMessage);

    // "Line" and the number with its sign position: "Line 12".
    static QString linePrefix(int lineNumber);

    static QString title() { return QStringLiteral("Syntax Checker"); }
};
