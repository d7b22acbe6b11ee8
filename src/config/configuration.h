#pragma once

#include "core/operationrunner.h"
#include "link/portentry.h"
#include "settings/settings.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Prompter;
class TerminalCore;
class PortProbe;

// The configuration window's logic without its widgets. Its controls are the
// settings in force (SettingsInForce); the window shows them and writes the
// operator's choices straight into them, and calls the handlers below.
class ConfigurationCore : public QObject
{
    Q_OBJECT
public:
    ConfigurationCore(TerminalCore& core, PortProbe& probe, QObject* parent = nullptr);

    TerminalCore& core;
    PortProbe& probe;
    Settings& settings;
    SettingsInForce& cfg;
    Prompter& prompter;

    static constexpr int Bauds[4] = { 9600, 19200, 38400, 57600 };
    static const QString OneControllerText;
    // %1: the port number; %2: the port's state, with why it went away.
    static inline const QString ProbeLostText = QStringLiteral(
        "The serial port Com%1 closed during its probe (%2); it was not configured.");

    // Controls into the settings record and the store.
    void applyConfiguration();
    // The TXdelay text as stored: the number rounded half to even when it is 1 or
    // more; 1 for anything else, text that is not a number included.
    static qint32 txDelayFromText(const QString& text);

    void saveAndExit();
    void statusDescriptionChanged();
    // The directory list changed to path. A directory that cannot be read keeps the
    // previous choice, says so and returns false.
    bool directoryChosen(const QString& path);
    // The drive list changed to drive (a file system root); false as directoryChosen.
    bool driveChosen(const QString& drive);
    // Returns whether a controller answered (its port and speed are then selected
    // and stored).
    bool autoConfigure();
    void probeBauds();
    // Returns whether "TYXLOG.CMD" was written.
    bool writeDiagnosticLog();
    // The window was closed by other means than "Save and Exit".
    void windowClosed();

    // The file system roots the drive list offers.
    static QStringList drives();
    // Subdirectories of path, by name, for the directory list.
    static QStringList subdirectories(const QString& path);
    // The serial devices of the machine and those the mapping names, for the port
    // mapping boxes (as `zaziruv-cli ports` lists them).
    QList<PortEntry> serialPorts() const;

    // The window is enabled (not while the diagnostic log runs).
    bool enabled() const { return !m_runner.busy(); }
    // Auto Configure or the diagnostic log is running.
    bool busy() const { return m_busy; }

Q_SIGNALS:
    // A control's value was changed by a handler: the window shows cfg again.
    void controlsChanged();
    // "Save and Exit" hides the window.
    void hideRequested();

private:
    void changed() { Q_EMIT controlsChanged(); }
    bool readableDir(const QString& path) const;

    bool m_busy = false;
    OperationRunner m_runner;
};
