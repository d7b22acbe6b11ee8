#pragma once

#include <QByteArray>
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

    int lineCount = 0;
    std::vector<QString> lines = std::vector<QString>(MaxLines + 1);
    std::vector<QString> commandParts = std::vector<QString>(MaxLines + 1);

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
};
