#pragma once

#include <QString>

// The status mask wizard's two conversions between a status value and the 16 bits
// of the status word, free of widgets.

enum class MaskRadix
{
    Decimal,
    Hexadecimal
};

// "Display Above": the value in an entry box as its 16 bits. Only the text after the
// first blank counts, so a whole answer such as "0 0103" can be pasted in. Hexadecimal
// text reads as the controller writes it (four digits: a signed 16-bit value), decimal
// text as operators type it (fractions rounded, halves to even); a negative number
// gives its two's complement bits (-1: all sixteen). Text that is not a number, and a
// decimal number outside the signed 32-bit range, reads as 0.
quint16 statusMaskFromText(const QString& text, MaskRadix radix);

// "Convert": the ticked bits as the value to write in a command file: decimal as the
// signed 16-bit reading without blanks ("-1" for all bits), hexadecimal as four
// upper-case digits ("FFFF").
QString statusMaskText(quint16 bits, MaskRadix radix);
