#pragma once

#include <QString>
#include <QStringList>

// The options zaziruv and zaziruv-cli share: --settings FILE, --port DEV, --baud N,
// --simulate and --sim-option OPT. Values come as the next argument or after "=";
// a flag given a value ("--simulate=yes") is no shared option.
class SharedOptions
{
public:
    // The two programs word the --baud message differently, and only the CLI splits a
    // --sim-option value at blanks (one argument may carry several simulator options);
    // scripts rely on both.
    enum class Program
    {
        Window,
        Cli
    };

    explicit SharedOptions(Program program)
        : m_program(program)
    {
    }

    QString settingsPath; // else ZAZIRUV_SETTINGS, else the user's store
    QString port; // device for this run, whatever port is configured
    int baud = 0; // line speed for this run; 0: the settings'
    bool simulate = false; // the built-in simulated controller on a pseudo-terminal
    QStringList simArgs; // options for that simulator, in the order given

    enum class Step
    {
        NotShared, // args[i] is some other argument; args untouched
        Taken, // the option and its value are gone from args
        Failed // error says why
    };
    // Looks at args[i] alone.
    Step takeAt(QStringList& args, qsizetype i, QString& error);
    // Takes every shared option out of args wherever it stands, leaving the rest in
    // order; false at the first fault.
    bool takeAll(QStringList& args, QString& error);

private:
    Program m_program;
};
