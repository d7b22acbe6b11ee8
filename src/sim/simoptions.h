#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// How the simulated controller behaves: its address and start state, its memory, the
// line (echo, checksum, speed, pace) and the faults it injects. The same options serve
// zaziruv-sim and the in-process simulator of --simulate.
struct SimOptions
{
    int node = 1; // own address (0..255); node 0 lines are answered too
    // --nodes: the controllers sharing the line, each with its own memory and state,
    // the first answering node 0 lines; empty: the one controller at `node`.
    QList<int> nodes;
    quint16 status = 0x0100; // status word at start and after "RN" (drive disabled)
    int moveMs = 300; // how long a "HO" move runs, in ms
    int eepromSize = 8192; // bytes of memory, erased to 255
    bool echo = false; // echo every received character
    bool checksum = false; // commands need "#" and two check characters; answers carry them
    int answerDelayMs = 0; // answers leave this many ms after the line ended
    int baud = 9600; // the speed it listens at; any other host speed gets nothing
    bool pace = false; // send and consume characters at the line rate (10 bits each)
    int dropEvery = 0; // drop every Nth answer (0: never)
    int corruptEvery = 0; // corrupt the check characters of every Nth answer (0: never)
    int hangupAfter = 0; // close the line after N received lines (0: never)
    int badWriteEvery = 0; // every Nth "EEW" stores the loaded byte plus 1 (0: never)
    QString eepromFile; // memory image loaded at start and written back at exit
    QString logFile; // every received line is appended here
    QString linkPath; // a symbolic link to the terminal's device, made at start
    bool help = false; // --help was given

    // The addresses of the controllers on the line, in the order given.
    QList<int> lineNodes() const { return nodes.isEmpty() ? QList<int> { node } : nodes; }
    // The memory image of the controller at `address`: eepromFile itself, or with --nodes
    // eepromFile with "." and the address appended; empty without --eeprom.
    QString memoryFile(int address) const;
};

// Reads options such as "--node 2", "--node=2", "--echo". Returns nothing and sets
// *error to a one-line reason for an unknown option, a missing or malformed value or
// a value out of range.
std::optional<SimOptions> parseSimOptions(const QStringList& args, QString* error);

// The option list for --help, one option a line.
QString simOptionsHelp();

// The line speeds a terminal can be set to (the values --baud accepts).
bool isStandardBaud(int baud);
