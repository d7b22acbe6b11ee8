#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The text side of the EEPROM protocol: what the controller's answers mean and which
// bytes a prepared macro puts into memory. No port, no files.
namespace EepromText {

// DeviceChecksum when the controller's checksum could not be read.
constexpr int NoChecksum = 999;

// Rule A: the byte of the first answer in text (the 6th character counted from its
// "00"); text keeps what follows that character. Nothing when no answer is left, and
// nothing (with text emptied) when the answer stops short of its byte.
std::optional<int> takeRuleA(QString& text);

// Rule B: as rule A, but the byte is the character just before the CR LF that ends
// the answer; an answer not ended by CR LF counts as 0. A stored CR answers as
// "000D ", CR, CR LF and reads as 13. text keeps what follows the answer's first CR.
std::optional<int> takeRuleB(QString& text);

// The controller's checksum in the answer to " EEC": the four hexadecimal digits that
// start five characters after the first "00"; NoChecksum without such an answer.
int checksumFromAnswer(const QString& text);

// A directory name from the answers of its eight byte reads, cut before the first
// CR or LF.
QString nameFromAnswers(QString text);

// A macro address table entry from the answers to its two byte reads (taken by rule
// B, two at a time; the last complete pair wins). Misread when a high byte is above
// MemoryMap::MaxTableHigh.
struct TableEntry
{
    bool misread = false;
    int address = 0;
};
TableEntry tableEntryFromAnswers(QString text);

// Characters the stored text may begin with: "/", the digits and ":".
inline bool startsStoredText(QChar c)
{
    return c.unicode() >= 47 && c.unicode() <= 58;
}

// The bytes a single-file download stores for "macro.tmp": each line upper-cased and
// ended by CR; leading characters of the first line outside "/", the digits and ":"
// are left out. A first line that begins with anything but blanks and such a
// character is refused: the stored text would not be what the jump addresses and the
// table were counted on.
struct StoredMacro
{
    QByteArray bytes;
    QString refusedLine; // set when refused
};
StoredMacro storedMacro(const QByteArray& macroTmp);

inline constexpr const char* FirstLineText
    = "The first line of a macro must begin with the node address.";

// The name written into a directory slot: a ".cmd" extension (exactly so) is cut and
// the rest upper-cased; any other name is used as it is. Up to 8 characters count.
QString descriptionName(const QString& macroFileName);

} // namespace EepromText
