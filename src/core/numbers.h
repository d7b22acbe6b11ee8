#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

// Number reading and writing shared by every subsystem. The controller talks in
// upper-case hexadecimal; command files and dialogs use decimal text.

// Reads hexadecimal digits ("0"-"9", "A"-"F"; lower case is not a digit) up to the
// first other character. Up to four digits give a signed 16-bit value (8000..FFFF
// are -32768..-1), five to eight digits a signed 32-bit value, no digit gives 0.
// More than eight digits overflow and read as 0.
qint32 readHex(QStringView text);

// Reads a decimal number the forgiving way operators' files need: leading blanks
// skipped, an optional sign, digits with an optional fraction, up to the first
// other character. No digit gives 0.
double readDecimal(QStringView text);

// Rounds to the nearest whole number, halves to the even neighbour.
qint64 roundHalfEven(double value);

// A number as it appears in messages and command lines: one leading blank when it
// is 0 or more, a minus sign when it is negative (" 12", "-1").
QString withSign(qint64 value);

// A number without blanks; fractions keep up to 15 significant digits
// ("333.333333333333").
QString plainNumber(double value);

// Cuts a number to the signed 16-bit range the way a 16-bit register holds it.
inline qint16 toInt16(qint64 value)
{
    return static_cast<qint16>(static_cast<quint16>(value & 0xFFFF));
}

// A whole number given as an option value ("--baud 9600", "--node=2"), in min..max.
enum class NumberForm
{
    Lenient, // blanks around it and a sign allowed, as QString::toLongLong takes them
    Digits, // decimal digits only, at most ten
    HexDigits // hexadecimal digits of either case only, at most ten
};
enum class NumberCheck
{
    Ok,
    NotANumber,
    OutOfRange
};
NumberCheck readWholeNumber(
    QStringView text, qint64 min, qint64 max, qint64& value, NumberForm form = NumberForm::Lenient);

// The common case: a lenient number in min..max, nothing when it is none or outside.
std::optional<int> readIntOption(QStringView text, int min, int max);
