#pragma once

#include "core/numbers.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <vector>

// A command file read into its tables: the stored lines, each line's command part,
// labels, status-wait entries and the repeat block. Tables are indexed from 1 as
// the file's stored lines are numbered; index 0 holds nothing.
struct WaitEntry
{
    qint32 value = 0;
    QString label; // upper case; empty for none
};

struct CommandFileTables
{
    static constexpr int MaxLines = 500;
    static constexpr int MaxWaits = 16;
    // The most passes a repeat count can ask for (the count is a 16-bit number).
    static constexpr int MaxRepeatCount = 32767;

    int lineCount = 0;
    std::vector<QString> lines = std::vector<QString>(MaxLines + 1);
    std::vector<QString> commandParts = std::vector<QString>(MaxLines + 1);
    // Stored line -> its line number in the file (comments and blank lines counted),
    // for messages that point the operator at a line in the editor.
    std::array<int, MaxLines + 1> fileLine {};

    int labelCount = 0;
    std::array<int, MaxLines + 1> labelLine {};          // label number -> its line
    std::vector<QString> labelName = std::vector<QString>(MaxLines + 1); // line -> label written there

    std::vector<std::array<WaitEntry, MaxWaits + 1>> waits = std::vector<std::array<WaitEntry, MaxWaits + 1>>(MaxLines + 1);
    std::array<int, MaxLines + 1> waitCount {};

    int repeatStart = 0;
    int repeatEnd = 0;
    int repeatCount = 0;
    bool hasRepeat = false; // a REPEAT marker was seen
    bool hasRend = false;   // a REND marker was seen
    int repeatFileLine = 0; // file line of the REPEAT marker in force
    int rendFileLine = 0;   // file line of the REND marker in force
};

struct CommandFileRead
{
    CommandFileTables tables;
    // Why the file cannot be run; empty when it was read.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Reads a command file's bytes (8-bit text, one Latin-1 character a byte) into the line
// table and sets the repeat block. CR LF, CR alone and LF alone each end a line. A file
// with more than MaxLines stored lines, a REPEAT without a REND after it, a REND before
// its REPEAT and a repeat count beyond MaxRepeatCount are refused with a message.
CommandFileRead readCommandFile(QByteArrayView bytes);

// Fills in labels, command parts and wait entries from the line table.
void ParseCommandFile(CommandFileTables& tables);

// Checks what only shows once the command parts are known: a literal without its
// closing double quote, or with a character code outside 0 to 255. Returns the
// message for the first such line, or nothing.
QString checkCommandFile(const CommandFileTables& tables);

// What a command part does when it is executed. DELAY and MESSAGE lines go on to the
// other tests, so a line can be a delay and a command; PAUSE, literal and command
// exclude each other.
struct LineAction
{
    bool delay = false;
    double delayValue = 0;
    bool message = false;
    QString messageText; // from right after "MESSAGE", its leading blank kept
    enum Kind { Nothing, Pause, Literal, Command } kind = Nothing;
};
LineAction classifyLine(const QString& commandPart);

// The main tick count's ticks of 50 ms that "DELAY value" waits: the integer part of
// value / 10 * 1.3 (0 for a negative value).
double delayTicks(double value);

// The literal of a line `"text",a,b`: the text between the first double quote and the
// next, then the characters with codes a and b (",b" alone gives 0 and b; no codes
// give 0 and 0). False, and why, for a missing closing quote or a code outside 0..255.
bool buildLiteral(const QString& commandPart, QString& literal, QString* why = nullptr);

