#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace rtf {

// Replaces the content of `doc` with the rich text in `bytes`: paragraphs with their
// alignment, spacing and indents, line breaks and tabs, bold, italic, underline, strike-out, font,
// size, text and highlight colour. Text is Windows-1252 (\'hh) or UTF-16 (\uN, its fallback
// characters skipped as \ucN says); destinations this reader does not show (document information,
// style sheet, pictures, fields' instructions, anything marked \*) are skipped with their groups,
// the text around them kept. Any input is taken: a broken file gives what could be read, never a
// crash. Bytes that do not start with "{\rtf" are shown as plain text (UTF-8 when valid, else
// Windows-1252); the result says which.
bool read(const QByteArray& bytes, QTextDocument& doc);

// The characters of Windows-1252, the code page of \'hh and of 8-bit text.
QString fromCp1252(const QByteArray& bytes);

} // namespace rtf
