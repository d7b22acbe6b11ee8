#include "eepromtext.h"

#include "core/numbers.h"
#include "core/text.h"
#include "eeprom/memorymap.h"

namespace EepromText {

namespace {
const QLatin1String Zeros("00");
} // namespace

std::optional<int> takeRuleA(QString& text)
{
    const qsizetype p = text.indexOf(Zeros);
    if (p < 0) {
        text.clear();
        return std::nullopt;
    }
    if (text.size() < p + 6) {
        text.clear();
        return std::nullopt;
    }
    const int value = text.at(p + 5).unicode() & 0xFF;
    text.remove(0, p + 6);
    return value;
}

std::optional<int> takeRuleB(QString& text)
{
    const qsizetype p = text.indexOf(Zeros);
    if (p < 0) {
        text.clear();
        return std::nullopt;
    }
    text.remove(0, p);
    const qsizetype cr = text.indexOf(QLatin1Char('\r'));
    if (cr < 0) {
        text.clear();
        return 0;
    }
    int value = 0;
    qsizetype next = cr;
    if (text.mid(cr + 1, 1) == QLatin1String("\n")) {
        value = text.at(cr - 1).unicode() & 0xFF;
    } else if (text.mid(cr + 1, 2) == QLatin1String("\r\n")) {
        // The byte itself is a CR: the answer's own CR LF follows it.
        value = 13;
        next = cr + 1;
    }
    text.remove(0, next);
    return value;
}

int checksumFromAnswer(const QString& text)
{
    const qsizetype p = text.indexOf(Zeros);
    if (p < 0)
        return NoChecksum;
    const QString digits = text.mid(p + 5, 4);
    // A cut-off answer must not read as checksum 0, which is what a reset asks for.
    for (QChar c : digits) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return NoChecksum;
    }
    if (digits.size() < 4)
        return NoChecksum;
    return readHex(digits);
}

QString nameFromAnswers(QString text)
{
    QString name;
    while (text.contains(Zeros)) {
        if (const auto b = takeRuleA(text))
            name += QChar(*b);
    }
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == u'\r' || name[i] == u'\n')
            return name.left(i);
    }
    return name;
}

TableEntry tableEntryFromAnswers(QString text)
{
    TableEntry entry;
    while (text.contains(Zeros)) {
        const int high = takeRuleB(text).value_or(0);
        const int low = text.contains(Zeros) ? takeRuleB(text).value_or(0) : 0;
        if (high > MemoryMap::MaxTableHigh) {
            entry.misread = true;
            entry.address = 0;
            return entry;
        }
        entry.address = high * 256 + low;
    }
    return entry;
}

StoredMacro storedMacro(const QByteArray& macroTmp)
{
    StoredMacro out;
    const QList<TextLine> lines = splitLines(macroTmp);
    for (const TextLine& line : lines) {
        const QString text = asciiUpper(line.text);
        for (QChar c : text) {
            if (out.bytes.isEmpty() && !startsStoredText(c)) {
                if (c != u' ') {
                    out.refusedLine = line.text;
                    out.bytes.clear();
                    return out;
                }
                continue;
            }
            out.bytes.append(char(c.unicode() & 0xFF));
        }
        if (out.bytes.isEmpty() && !text.isEmpty()) {
            out.refusedLine = line.text; // blanks only: no node address at all
            return out;
        }
        out.bytes.append('\r');
    }
    return out;
}

QString descriptionName(const QString& macroFileName)
{
    const qsizetype ext = macroFileName.indexOf(QLatin1String(".cmd"));
    if (ext < 0)
        return macroFileName;
    return asciiUpper(macroFileName.left(ext));
}

} // namespace EepromText
