#include "eeprom/macroprep.h"

#include "core/numbers.h"
#include "core/text.h"
#include "core/wholefile.h"
#include "eeprom/syntaxchecker.h"

#include <QFileInfo>
#include <QHash>
#include <limits>

namespace {

constexpr QChar CR = u'\r';
constexpr QChar LF = u'\n';

QString fiveDigits(qint64 value)
{
    return QString::number(value).rightJustified(5, u'0');
}

} // namespace

MacroPrep::MacroPrep(Prompter& prompter, QString workingDir)
    : m_prompter(prompter)
    , m_workingDir(std::move(workingDir))
{
}

QString MacroPrep::pathOf(const QString& fileName) const
{
    if (m_workingDir.isEmpty())
        return fileName;
    if (m_workingDir.endsWith(u'/'))
        return m_workingDir + fileName;
    return m_workingDir + u'/' + fileName;
}

void MacroPrep::CheckSyntax(const QString& text)
{
    SyntaxErrorFlag = false;
    const SyntaxChecker::Finding finding = SyntaxChecker::firstError(text, MacroLineCount);
    if (!finding.failed())
        return;
    SyntaxErrorFlag = true;
    m_prompter.message(SyntaxChecker::abortMessage(MacroFileName, finding.message),
        PromptIcon::Critical, SyntaxChecker::title());
}

PrepResult MacroPrep::readCommandFile(QString& fileName, Source& source)
{
    source = {};
    if (fileName.isEmpty()) {
        fileName = notFound();
        return PrepResult::NotFound;
    }
    source.path = pathOf(fileName);
    if (QFileInfo(source.path).isDir()) {
        fileName = notFound();
        return PrepResult::NotFound;
    }
    QString why;
    ReadRefusal refusal = ReadRefusal::None;
    const auto read = readRegularFile(source.path, MaxFileBytes, &why, &refusal);
    if (refusal == ReadRefusal::Missing) {
        fileName = notFound();
        return PrepResult::NotFound;
    }
    if (refusal == ReadRefusal::TooLarge) {
        refuseFile();
        return PrepResult::Refused;
    }
    if (!read) {
        m_prompter.message(
            QStringLiteral("The command file %1 could not be read: %2").arg(source.path, why),
            PromptIcon::Critical);
        return PrepResult::FileError;
    }
    const QByteArray& bytes = *read;
    if (bytes.isEmpty()) {
        m_prompter.message(QStringLiteral("Command file is empty."));
        return PrepResult::Empty;
    }

    // First pass: the text the checker judges, each line closed by one CR.
    const QList<TextLine> lines = splitLines(QByteArrayView(bytes));
    QString text;
    text.reserve(bytes.size() + lines.size());
    source.lines.reserve(lines.size());
    for (const TextLine& line : lines) {
        text += line.text;
        text += CR;
        source.lines.append(line.text);
    }
    MacroLineCount = int(lines.size());
    CheckSyntax(text);
    return SyntaxErrorFlag ? PrepResult::SyntaxError : PrepResult::Prepared;
}

PrepResult MacroPrep::checkFile(QString& fileName)
{
    Source source;
    const PrepResult result = readCommandFile(fileName, source);
    SyntaxErrorFlag = result != PrepResult::Prepared;
    return result;
}

PrepResult MacroPrep::fail(PrepResult result)
{
    MacroText.clear();
    SyntaxErrorFlag = true;
    return result;
}

PrepResult MacroPrep::PrepFile(QString& fileName)
{
    MacroText.clear();
    Source source;
    if (const PrepResult read = readCommandFile(fileName, source); read != PrepResult::Prepared)
        return fail(read);

    // Preparing the work file itself would overwrite the command file.
    const QString work = QFileInfo(pathOf(workFileName())).canonicalFilePath();
    if (!work.isEmpty() && work == QFileInfo(source.path).canonicalFilePath()) {
        m_prompter.message(QStringLiteral("The work file %1 cannot be prepared as a command file.")
                               .arg(workFileName()),
            PromptIcon::Critical);
        return fail(PrepResult::FileError);
    }

    // Second pass: delays scaled, status jumps split; LF closes each file line. It
    // stops at the line that takes the jumps past the limit: the label pass then
    // refuses that line, and nothing after it needs rewriting.
    QString rewritten;
    int jumps = 0;
    int lineNo = 0;
    bool begun = false; // a line with more than blanks has been read
    for (const QString& text : std::as_const(source.lines)) {
        ++lineNo;
        // The split copies the first character as the node address of each further
        // clause, so the blanks the controller does not store go first here too.
        const QString line = begun ? text : trimLeading(text);
        begun = begun || !line.isEmpty();
        int split = 0;
        rewritten += rewriteLine(asciiUpper(line), MaxJumps + 1 - jumps, &split);
        rewritten += LF;
        jumps += split;
        if (jumps > MaxJumps)
            break;
    }

    // Third pass, in memory: "macro.tmp" is written once, when the macro is whole,
    // so a refused file never leaves a half-prepared macro behind.
    if (!setLabelsAndMasks(rewritten))
        return fail(PrepResult::Refused);
    if (jumps > MaxJumps) {
        // Only a label glued to a jump target ("ST 8>A:B") can hide a jump from the
        // label pass; the cut text is no macro either way.
        refuse(lineNo,
            QStringLiteral(" has more jumps than a macro can hold (at most %1).").arg(MaxJumps));
        return fail(PrepResult::Refused);
    }
    if (!MacroText.contains(u"MACRO "))
        MacroText += QStringLiteral("MACRO 0") + CR;
    // The rewrite can end a stored line in what the checker refuses ("1 ST .>A" leaves
    // the mask "." on a line of its own); the controller would take it as written.
    if (const auto stored = SyntaxChecker::firstError(MacroText, int(MacroText.count(CR)));
        stored.failed()) {
        const QString line = MacroText.section(CR, stored.line - 1, stored.line - 1);
        refuse(m_sourceLines.value(stored.line - 1),
            QStringLiteral(" becomes the macro line \"%1\", which").arg(line)
                + stored.message.sliced(SyntaxChecker::linePrefix(stored.line).size()));
        return fail(PrepResult::Refused);
    }
    if (!writeWorkFile(MacroText))
        return fail(PrepResult::FileError);
    SyntaxErrorFlag = false;
    return PrepResult::Prepared;
}

bool MacroPrep::SetLabels_n_Masks()
{
    // A prepared macro is at most a few times the command file it came from.
    QString why;
    const auto bytes = readRegularFile(pathOf(workFileName()), 16 * MaxFileBytes, &why);
    if (!bytes) {
        m_prompter.message(QStringLiteral("The work file %1 could not be read: %2")
                               .arg(pathOf(workFileName()), why),
            PromptIcon::Critical);
        MacroText.clear();
        return false;
    }
    const QString text = QString::fromLatin1(*bytes);
    return setLabelsAndMasks(text) && writeWorkFile(MacroText);
}

QString MacroPrep::rewriteLine(const QString& upperLine, int maxJumps, int* jumps)
{
    if (jumps)
        *jumps = 0;
    QString line = upperLine;
    if (line.startsWith(u"DELAY")) {
        const double value = readDecimal(QStringView(line).sliced(5));
        line = QStringLiteral("DELAY") + withSign(roundHalfEven(value * 5));
    }

    qsizetype p = line.indexOf(u'>');
    if (p < 0)
        return line + CR;
    for (int split = 0; p >= 0 && split < maxJumps; ++split) {
        if (jumps)
            *jumps = split + 1;
        // The next status clause starts at an "ST " that follows a blank, so a label
        // that ends in "ST" ("LAST ST 16") keeps its last letters.
        const qsizetype blankSt = line.indexOf(u" ST ", p);
        const qsizetype s = blankSt < 0 ? -1 : blankSt + 1;
        const QString label = s < 0 ? line.sliced(p + 1) : line.sliced(p + 1, s - 2 - p);

        QString rebuilt = line.left(p) + CR + QStringLiteral("GOTO ") + label + CR;
        if (s >= 0)
            rebuilt += QStringView(line).sliced(s);
        if (const qsizetype st = rebuilt.indexOf(u"ST "); st >= 0) {
            rebuilt.insert(st + 2, u'J');
            rebuilt += CR;
        }
        line = std::move(rebuilt);

        // The following clause gets the line's node address (its first character).
        if (const qsizetype next = line.indexOf(u"ST ", p); next >= 0)
            line.insert(next, QString(line[0]) + u' ');
        p = line.indexOf(u'>');
    }
    return line;
}

void MacroPrep::refuseFile()
{
    m_prompter.message(
        SyntaxChecker::abortMessage(MacroFileName,
            QStringLiteral("The file is larger than %1 bytes, more than a macro can hold.")
                .arg(MaxFileBytes)),
        PromptIcon::Critical, SyntaxChecker::title());
}

void MacroPrep::refuse(int line, const QString& text)
{
    m_prompter.message(
        SyntaxChecker::abortMessage(MacroFileName, SyntaxChecker::linePrefix(line) + text),
        PromptIcon::Critical, SyntaxChecker::title());
}

bool MacroPrep::setLabelsAndMasks(const QString& rewritten)
{
    labelNames.clear();
    labelPositions.clear();
    jumpTargets.clear();
    jumpPositions.clear();
    MacroText.clear();
    m_sourceLines.clear();
    MacroText.reserve(rewritten.size());

    QHash<QString, int> firstLabel; // name -> index of its first definition
    QList<int> jumpLines; // command-file line of each jump, for messages
    int position = 0; // running position in MacroText
    int sourceLine = 1;

    // Writes the mask after the first `head` characters as four hexadecimal digits.
    auto setMask = [&](QString& line, qsizetype head, int lineNo) {
        const QString mask = trimBlanks(line.sliced(head));
        if (mask.isEmpty())
            return true;
        const double value = readDecimal(mask);
        if (!(value > 0))
            return true;
        const qint64 n = roundHalfEven(value);
        if (n > std::numeric_limits<qint32>::max()) {
            refuse(lineNo, QStringLiteral(" has a status mask that is out of range."));
            return false;
        }
        line = line.left(head) + QString::number(n, 16).toUpper().rightJustified(4, u'0').right(4);
        return true;
    };

    for (const TextLine& in : splitLines(QStringView(rewritten))) {
        // The controller stores a macro from its first node address on and drops the
        // blanks before it; they are dropped here as well, so that the positions
        // counted below are those of the stored bytes.
        QString line = MacroText.isEmpty() ? trimLeading(in.text) : in.text;
        const int lineNo = sourceLine;
        if (in.lineFeed)
            ++sourceLine;

        // Status masks: a node address, a blank, then "ST " or "STJ " and the mask.
        if (const qsizetype b = line.indexOf(u' '); b >= 0) {
            const qsizetype trimmed = trimBlanks(line).size();
            const QStringView after = QStringView(line).sliced(b + 1);
            if (after.startsWith(u"ST ") && trimmed > b + 3) {
                if (!setMask(line, b + 4, lineNo))
                    return false;
            } else if (after.startsWith(u"STJ ") && trimmed > b + 4) {
                if (!setMask(line, b + 5, lineNo))
                    return false;
            }
        }

        if (const qsizetype c = line.indexOf(u':'); c >= 0) {
            if (labelNames.size() >= MaxLabels) {
                refuse(lineNo,
                    QStringLiteral(" has more labels than a macro can hold (at most %1).")
                        .arg(MaxLabels));
                return false;
            }
            const QString name = line.left(c);
            if (!firstLabel.contains(name))
                firstLabel.insert(name, int(labelNames.size()));
            labelNames.append(name);
            labelPositions.append(position);
            line = line.sliced(c + 1);
            if (MacroText.isEmpty())
                line = trimLeading(line);
        }

        if (const qsizetype g = line.indexOf(u"GOTO"); g >= 0) {
            const QString target = trimBlanks(line.sliced(g + 4));
            if (line.size() <= g + 5 || target.isEmpty()) {
                refuse(lineNo, QStringLiteral(" has a GOTO without a label."));
                return false;
            }
            if (jumpTargets.size() >= MaxJumps) {
                refuse(lineNo,
                    QStringLiteral(" has more jumps than a macro can hold (at most %1).")
                        .arg(MaxJumps));
                return false;
            }
            jumpTargets.append(target);
            jumpPositions.append(position + int(g) + 5);
            jumpLines.append(lineNo);
            // A placeholder of the final width: the jump's number.
            line = line.left(g + 4) + u' ' + fiveDigits(jumpTargets.size());
        }

        if (!line.isEmpty()) {
            m_sourceLines.append(lineNo);
            MacroText += line;
            MacroText += CR;
            position += int(line.size()) + 1;
        }
    }

    for (qsizetype k = 0; k < jumpTargets.size(); ++k) {
        const auto found = firstLabel.constFind(jumpTargets[k]);
        if (found == firstLabel.constEnd()) {
            refuse(jumpLines[k],
                QStringLiteral(" jumps to label %1, which is defined nowhere in the file.")
                    .arg(jumpTargets[k]));
            MacroText.clear();
            return false;
        }
        const qint64 address = qint64(labelPositions[*found]) + MacroBaseAddress;
        if (address < 0 || address > MaxAddress) {
            refuse(jumpLines[k],
                QStringLiteral(" jumps to address%1, which does not fit in five digits.")
                    .arg(withSign(address)));
            MacroText.clear();
            return false;
        }
        MacroText.replace(jumpPositions[k], 5, fiveDigits(address));
    }
    return true;
}

bool MacroPrep::writeWorkFile(const QString& text)
{
    QString why;
    if (!writeFileAtomically(pathOf(workFileName()), text.toLatin1(), &why)) {
        m_prompter.message(QStringLiteral("The work file %1 could not be written: %2")
                               .arg(pathOf(workFileName()), why),
            PromptIcon::Critical);
        return false;
    }
    return true;
}
