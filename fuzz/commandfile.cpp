// Command files come from the operator's editor: any bytes at all.

#include "cmdfile/commandfile.h"
#include "fuzzsupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CommandFileRead read = readCommandFile(fuzzBytes(data, size));
    if (!read.ok())
        return 0;
    CommandFileTables& t = read.tables;
    FUZZ_CHECK(t.lineCount >= 0 && t.lineCount <= CommandFileTables::MaxLines);
    for (int i = 2; i <= t.lineCount; ++i)
        FUZZ_CHECK(t.fileLine[size_t(i - 1)] < t.fileLine[size_t(i)]);
    // A file that reads has a repeat block the runner can walk without leaving the table.
    if (t.hasRepeat) {
        FUZZ_CHECK(
            1 <= t.repeatStart && t.repeatStart <= t.repeatEnd && t.repeatEnd <= t.lineCount);
        FUZZ_CHECK(t.repeatCount >= 0 && t.repeatCount <= CommandFileTables::MaxRepeatCount);
    }

    ParseCommandFile(t);
    FUZZ_CHECK(t.labelCount >= 0 && t.labelCount <= t.lineCount);
    for (int k = 1; k <= t.labelCount; ++k) {
        const int line = t.labelLine[size_t(k)];
        FUZZ_CHECK(line >= 1 && line <= t.lineCount && !t.labelName[size_t(line)].isEmpty());
    }

    // A file the check passes sends every literal it holds.
    const bool checked = checkCommandFile(t).isEmpty();
    for (int i = 1; i <= t.lineCount; ++i) {
        FUZZ_CHECK(
            t.waitCount[size_t(i)] >= 0 && t.waitCount[size_t(i)] <= CommandFileTables::MaxWaits);
        const QString& part = t.commandParts[size_t(i)];
        const LineAction action = classifyLine(part);
        const double ticks = delayTicks(action.delayValue);
        FUZZ_CHECK(std::isfinite(ticks) && ticks >= 0);
        if (action.kind != LineAction::Literal)
            continue;
        QString literal;
        QString why;
        const bool built = buildLiteral(part, literal, &why);
        FUZZ_CHECK(built || !why.isEmpty());
        FUZZ_CHECK(built || !checked);
        for (QChar c : std::as_const(literal))
            FUZZ_CHECK(c.unicode() <= 0xFF);
    }
    return 0;
}
