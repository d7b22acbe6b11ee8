#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The operator's text editor for command files, started and not waited for. The
// program is the one named by `configured` (a setting), else the environment variable
// ZAZIRUV_EDITOR, else VISUAL, else the platform's own: on Linux the first graphical
// text editor installed, else xdg-open on the file (made empty first when it does not
// exist, since xdg-open cannot open a missing file). The path is passed as one
// argument, never through a shell.
class ExternalEditor
{
public:
    ExternalEditor();

    // A program chosen in the settings; empty: the environment decides.
    QString configured;

    struct Launch
    {
        QString program;
        QStringList arguments;
        bool createFirst = false; // make the file empty before starting (xdg-open)
    };
    // What would be started for path (empty: no file); an empty program when there is
    // no editor to start.
    Launch launchFor(const QString& path) const;

    // Starts the editor; false, and why, when it could not be started.
    bool open(const QString& path, QString* why);

    // Starts a detached program (QProcess::startDetached unless a test replaces it).
    std::function<bool(const QString& program, const QStringList& arguments)> starter;
    // Finds a program on PATH (QStandardPaths::findExecutable unless replaced).
    std::function<QString(const QString& name)> finder;
    // Reads an environment variable (qEnvironmentVariable unless replaced).
    std::function<QString(const char* name)> environment;
};
