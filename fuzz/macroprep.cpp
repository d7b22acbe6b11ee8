// A command file on its way to the controller's macro memory: the syntax check and
// the preparation that rewrites it.

#include "eeprom/macroprep.h"
#include "core/prompter.h"
#include "eeprom/syntaxchecker.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString dir = scratchDir();
    const QString work = dir + QStringLiteral("/") + MacroPrep::workFileName();
    QFile::remove(work);
    putFile(dir + QStringLiteral("/cmd.txt"), fuzzBytes(data, size));

    ScriptedPrompter prompter;
    MacroPrep prep(prompter, dir);
    QString name = QStringLiteral("cmd.txt");
    const PrepResult result = prep.PrepFile(name);

    // Refused: a message says why, and no macro is left to download.
    if (result != PrepResult::Prepared) {
        FUZZ_CHECK(!prompter.shown.isEmpty());
        FUZZ_CHECK(prep.SyntaxErrorFlag && prep.MacroText.isEmpty() && !QFile::exists(work));
        return 0;
    }

    // Prepared: silently, into a work file that holds the macro, which the checker accepts.
    FUZZ_CHECK(prompter.shown.isEmpty() && !prep.SyntaxErrorFlag);
    const QString& macro = prep.MacroText;
    FUZZ_CHECK(
        fileBytes(work) == macro.toLatin1() && QString::fromLatin1(macro.toLatin1()) == macro);
    FUZZ_CHECK(macro.endsWith(u'\r') && !macro.contains(u'\n'));
    FUZZ_CHECK(!SyntaxChecker::firstError(macro, int(macro.count(u'\r'))).failed());

    // Every jump holds the address of its label's first definition, a line's start.
    FUZZ_CHECK(prep.jumpTargets.size() == prep.jumpPositions.size());
    for (qsizetype k = 0; k < prep.jumpTargets.size(); ++k) {
        const qsizetype label = prep.labelNames.indexOf(prep.jumpTargets[k]);
        FUZZ_CHECK(label >= 0);
        bool number = false;
        const int address = macro.mid(prep.jumpPositions[k], 5).toInt(&number);
        FUZZ_CHECK(number && address == prep.labelPositions[label]);
        FUZZ_CHECK(address == 0 || (address <= macro.size() && macro[address - 1] == u'\r'));
    }
    return 0;
}
