#pragma once

#include <QByteArray>

class QTextDocument;

namespace rtf {

// The document as RTF that other programs read: "\rtf1\ansi\ansicpg1252\uc1", a font
// table (f0 the document's default font) and a colour table, one paragraph per block
// with its alignment, spacing and indents, one group per run whose format differs from plain text,
// and every character outside printable ASCII as \uN with "?" as its fallback.
QByteArray write(const QTextDocument& doc);

} // namespace rtf
