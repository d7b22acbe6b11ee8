#pragma once

#include <QByteArray>
#include <QString>

// Line framing and the two-character checksum of the controller's protocol.
// Characters are single bytes (Latin-1); a character's code is its byte value.
//
// Checksum: the low 8 bits of the sum of the codes. It is written as two characters,
// "0" plus the high nibble and "0" plus the low nibble, so 10..15 become ":" .. "?".

struct ChecksumState
{
    QString text;     // the checksum text: what is summed when sending
    int sum = 0;      // low 8 bits of the sum
    int check1 = '0'; // code of check character 1
    int check2 = '0'; // code of check character 2
};

// Sums the characters of state.text and sets sum, check1 and check2.
void calc_cksum(ChecksumState& state);

// The two check characters for a text, as a string.
QString checkCharacters(const QString& text);

// Verifies an answer held in the response buffer and rewrites it in place: on
// success only the text before the first "#" stays, on a mismatch (or a "#"
// followed by fewer than two characters) the buffer becomes empty. A buffer
// without "#" stays unchanged.
void Calc_RX_Cksum(QString& responseBuffer);

// Converts up to eight hexadecimal digits (cut at the first CR, left-padded with
// "0", the last eight taken; a character that is not "0"-"9" or "A"-"F" counts as 0)
// to a signed 32-bit number.
void calc32bit(const QString& text, qint32& result);
qint32 calc32bit(const QString& text);

// Bytes on the wire for a command text: CR, text, CR; with the checksum option
// CR, text, "#", check 1, check 2, CR.
QByteArray frameCommand(const QString& text, bool withChecksum);

// Latin-1 conversions used on every byte path (the protocol is 8-bit).
inline QByteArray toWire(const QString& text) { return text.toLatin1(); }
inline QString fromWire(const QByteArray& bytes) { return QString::fromLatin1(bytes); }
