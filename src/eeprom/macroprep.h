#pragma once

#include "core/prompter.h"

#include <QList>
#include <QString>
#include <QStringList>

// How a preparation ended. Anything but Prepared means nothing may be downloaded.
enum class PrepResult
{
    Prepared, // "macro.tmp" and MacroText hold the finished macro
    NotFound, // no name, or no such file: the name was replaced by "NOT FOUND"
    Empty, // the command file has no bytes: "Command file is empty." was shown
    SyntaxError, // the syntax checker reported a line
    Refused, // the file cannot become a macro (tables full, undefined label, ...)
    FileError, // the command file could not be read or "macro.tmp" not written
};

// Turns a command file into the controller's stored macro form: checks its syntax,
// splits status jumps into a status-jump line and a GOTO line, scales delays, writes
// status masks in hexadecimal, removes labels and puts absolute addresses into the
// GOTO lines. The result goes to "macro.tmp" in the working directory and to
// MacroText. Every message box goes through the prompter.
class MacroPrep
{
public:
    explicit MacroPrep(Prompter& prompter, QString workingDir = {});

    static constexpr int MaxLabels = 100;
    static constexpr int MaxJumps = 100;
    // A jump address is written as five decimal digits.
    static constexpr int MaxAddress = 99999;
    // No macro area holds this much; a larger command file is refused unread.
    static constexpr qint64 MaxFileBytes = 1024 * 1024;
    static QString workFileName() { return QStringLiteral("macro.tmp"); }
    static QString notFound() { return QStringLiteral("NOT FOUND"); }

    void setWorkingDir(const QString& dir) { m_workingDir = dir; }
    QString workingDir() const { return m_workingDir; }
    // A name relative to the working directory, made into a path.
    QString pathOf(const QString& fileName) const;

    // The macro as prepared last; empty after a preparation that failed.
    QString MacroText;
    // Lines read from the command file by the last check.
    int MacroLineCount = 0;
    // Set by a check that found an error; after PrepFile, set unless the result is
    // Prepared, so a caller that tests only this flag never downloads a stale macro.
    bool SyntaxErrorFlag = false;
    // The file being downloaded; quoted (upper-cased) in the checker's messages.
    QString MacroFileName;
    // Where the first character of this macro lands in the controller's macro text
    // area (0 for a single file); jump addresses are label positions plus this.
    int MacroBaseAddress = 0;

    // Checks text (each line followed by one CR) line by line and reports the first
    // line that breaks a rule in a "Syntax Checker" box. Reads MacroLineCount.
    void CheckSyntax(const QString& text);

    // Prepares the command file fileName (relative to the working directory). On a
    // missing file fileName becomes "NOT FOUND" and nothing is shown. "macro.tmp" is
    // written only when the whole preparation succeeds, and then atomically; the
    // command file itself is never written.
    PrepResult PrepFile(QString& fileName);

    // The check a download makes before preparing: finds the file, reads it and runs
    // CheckSyntax. Writes nothing. Result Prepared means the check passed.
    PrepResult checkFile(QString& fileName);

    // Runs the label and mask pass on "macro.tmp" as the line rewrite left it and
    // rewrites it with the result. False (with a message shown) when the macro
    // cannot be built.
    bool SetLabels_n_Masks();

    // The label and mask pass on the rewritten text (lines ended by CR; a LF closes
    // the lines of one command-file line, which is how messages name the line).
    // Sets MacroText and the tables; false with a message shown when refused.
    bool setLabelsAndMasks(const QString& rewritten);

    // The line rewrite of one upper-cased command-file line: DELAY scaled by 5 and
    // each status jump "ST mask>LABEL" split into "STJ mask" and "GOTO LABEL". The
    // result's lines end with CR; the caller adds the LF. At most maxJumps jumps are
    // split (each split copies the line once); `jumps` gets how many were.
    static QString rewriteLine(
        const QString& upperLine, int maxJumps = MaxJumps + 1, int* jumps = nullptr);

    // The tables of the last label and mask pass, numbered in order of appearance.
    QStringList labelNames;
    QList<int> labelPositions; // position in MacroText, from 0
    QStringList jumpTargets;
    QList<int> jumpPositions; // position of the first address digit, from 0

private:
    struct Source
    {
        QList<QString> lines;
        QString path;
    };
    PrepResult readCommandFile(QString& fileName, Source& source);
    PrepResult fail(PrepResult result);
    void refuse(int line, const QString& text);
    void refuseFile();
    bool writeWorkFile(const QString& text);

    Prompter& m_prompter;
    QString m_workingDir;
    QList<int> m_sourceLines; // the command-file line each line of MacroText came from
};
