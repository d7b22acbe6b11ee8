#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// The text helpers every subsystem shares. Command files and "macro.tmp" are 8-bit
// text: each byte is one Latin-1 character, so every byte value survives a read and
// a write and positions count bytes.
struct TextLine
{
    QString text;
    // The line ended at a line feed (LF alone or CR LF): in "macro.tmp" the line feed
    // closes the lines that came from one line of the command file.
    bool lineFeed = false;
};

// Cuts text into lines. CR LF, a CR alone and a LF alone each end one line
// (operators' files on Linux end their lines with LF). Text after the last line end
// is a last line; a line end at the very end adds no empty line.
QList<TextLine> splitLines(QByteArrayView bytes);
QList<TextLine> splitLines(QStringView text);

// Letters a to z raised to A to Z and nothing else. Latin-1 text keeps its length
// (a full upper-casing turns one character into two, or out of Latin-1), so
// positions found in the raised text hold in the original.
QString asciiUpper(QStringView text);

// Trailing blanks removed (leading ones kept).
QString trimTrailing(const QString& text);
// Leading blanks removed (trailing ones kept).
QString trimLeading(const QString& text);
// Leading and trailing blanks removed (tabs and other characters kept).
QString trimBlanks(const QString& text);
