#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// A combination file "*.CMB": plain 8-bit text, every line ended by CR LF. As written,
// the first line is "BootMacro=" and the boot macro number, then one command file name
// a line in macro order. On reading, a line holding "BOOTMACRO=" in any case anywhere
// is a boot line (the last one read wins); every other line, an empty one included,
// names a command file.
namespace ComboFile {

// The controller's directory holds 40 names; the download's per-macro tables hold 256
// entries, entry 0 unused, so a file of more lines cannot be downloaded either.
constexpr int MaxFiles = 40;
constexpr int MaxLines = 255;
// Far more than 255 lines of file names take; a larger file is refused unread.
constexpr qint64 MaxBytes = 1024 * 1024;

struct Contents
{
    QStringList files;
    // What follows the "=" of the first "BOOTMACRO=" of the last boot line; nothing
    // when the file has no boot line (the boot box then keeps its text).
    std::optional<QString> bootMacro;
    // Set when the file is refused: too many files or lines, a NUL in a line, or too
    // large. Nothing else is set then.
    QString error;
};

bool isBootLine(QStringView line);

// The refusal of a file `name` larger than MaxBytes.
QString tooLargeText(const QString& name);

// A listed name read as UTF-8, as another editor may have written it: its bytes are
// the Latin-1 characters of `name`. Empty when they are not UTF-8 or read the same.
QString utf8Reading(const QString& name);

// Reads the bytes of the file named `name` (quoted in the refusal).
Contents read(QByteArrayView bytes, const QString& name);

// The boot macro box's text as the file holds it: its numeric value in decimal
// without blanks, a fraction kept; text that is not a number gives "0".
QString bootNumber(const QString& boxText);
// The boot box's whole-number value (rounded, halves to even), as the download sends it
// and as the box selects an entry.
int bootValue(const QString& boxText);

// Why `files` cannot be written as a combination: more than MaxFiles, or a name the
// format cannot hold (a line end, a boot marker, a character beyond 8 bits). Empty
// when it can.
QString refusal(const QStringList& files);

// The file's text: "BootMacro=" and bootNumber(boxText), then the names, each line
// ended by CR LF. Call only when refusal(files) is empty.
QByteArray write(const QString& boxText, const QStringList& files);

} // namespace ComboFile
