// "e2prom.dat" is the user's to edit, and the answers come from the line: any bytes.

#include "eeprom/e2promrecord.h"
#include "eeprom/eepromtext.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size).toByteArray();

    // The record: 500 characters whatever the file held, a usable delay, and what is
    // read then written back reads the same.
    const E2promRecord r = E2promRecord::parse(bytes);
    FUZZ_CHECK(r.record.size() == E2promRecord::Size);
    FUZZ_CHECK(bytes.isEmpty() || r.record.startsWith(bytes.left(E2promRecord::Size)));
    FUZZ_CHECK(r.Delay >= 1 && r.Delay <= 99);
    FUZZ_CHECK(r.EnableCksumChk == (r.VerifyDownload ? 1 : 0));
    const QByteArray built
        = E2promRecord::build(QString::number(r.Delay), r.TxTNode, r.VerifyDownload);
    FUZZ_CHECK(built.size() == E2promRecord::Size);
    const E2promRecord back = E2promRecord::parse(built);
    FUZZ_CHECK(back.Delay == r.Delay && back.TxTNode == r.TxTNode
        && back.VerifyDownload == r.VerifyDownload);

    // Any texts from the dialog still give one record of the right size.
    const QString text = QString::fromUtf8(bytes);
    const qsizetype half = text.size() / 2;
    const bool verify = size % 2;
    const QByteArray typed = E2promRecord::build(text.left(half), text.mid(half), verify);
    FUZZ_CHECK(typed.size() == E2promRecord::Size);
    FUZZ_CHECK(E2promRecord::parse(typed).VerifyDownload == verify);

    // Answers: every rule consumes what it reads, so reading ends, with bytes only.
    const QString answers = QString::fromLatin1(bytes);
    for (QString rest = answers; !rest.isEmpty();) {
        const qsizetype before = rest.size();
        const auto b = EepromText::takeRuleA(rest);
        FUZZ_CHECK(rest.size() < before && (!b || (*b >= 0 && *b <= 255)));
    }
    for (QString rest = answers; !rest.isEmpty();) {
        const qsizetype before = rest.size();
        const auto b = EepromText::takeRuleB(rest);
        FUZZ_CHECK(rest.size() < before && (!b || (*b >= 0 && *b <= 255)));
    }
    const int sum = EepromText::checksumFromAnswer(answers);
    FUZZ_CHECK(sum == EepromText::NoChecksum || (sum >= -32768 && sum <= 32767));
    const QString name = EepromText::nameFromAnswers(answers);
    FUZZ_CHECK(!name.contains(u'\r') && !name.contains(u'\n'));
    FUZZ_CHECK(name.size() <= answers.count(QLatin1String("00")));
    const EepromText::TableEntry entry = EepromText::tableEntryFromAnswers(answers);
    FUZZ_CHECK(entry.address >= 0 && entry.address <= 0xFFFF && (!entry.misread || !entry.address));

    // A stored macro is refused with its line, or is upper-case text, one CR a line,
    // beginning with the node address.
    const EepromText::StoredMacro macro = EepromText::storedMacro(bytes);
    if (macro.refusedLine.isEmpty()) {
        for (const char c : macro.bytes)
            FUZZ_CHECK(!(c >= 'a' && c <= 'z'));
        FUZZ_CHECK(macro.bytes.isEmpty() || macro.bytes.endsWith('\r'));
        const char first = macro.bytes.isEmpty() ? '\r' : macro.bytes.front();
        FUZZ_CHECK(first == '\r' || (first >= '/' && first <= ':'));
    } else {
        FUZZ_CHECK(macro.bytes.isEmpty());
    }
    return 0;
}
