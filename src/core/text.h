#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

// Command files and "macro.tmp" are 8-bit text: each byte is one Latin-1 character,
// so every byte value survives a read and a write and positions count bytes.
struct TextLine
{
    QString text;
    // The line ended at a line feed (LF alone or CR LF): in "macro.tmp" the line feed
    // closes the lines that came from one line of the command file.
    bool lineFeed = false;
};

class LineReader
{
public:
    // Cuts text into lines. CR LF, a CR alone and a LF alone each end one line
    // (operators' files on Linux end their lines with LF). Text after the last line
    // end is a last line; a line end at the very end adds no empty line.
    static QList<TextLine> split(QByteArrayView bytes);
    static QList<TextLine> split(QStringView text);

    // Letters a to z raised to A to Z; every other character is kept, so a line keeps
    // its length and its bytes.
    static QString upper(const QString& text);

    // Leading and trailing blanks removed (tabs and other characters kept).
    static QString trimBlanks(const QString& text);
};
