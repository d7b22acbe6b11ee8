#pragma once

#include "cmdfile/commandfile.h"
#include "core/externaleditor.h"
#include "core/prompter.h"

#include <QObject>
#include <QString>

class TerminalCore;

// Runs command files on the main window's logic and manages the command file frame:
// the list, New, Edit, Delete, Execute, Pause and Download File. A run happens inside
// the handler that started it and waits on the main tick count, so Pause, Cancel,
// Abort, Disable and the answers of the controller are handled while it waits; every
// wait also ends when the port closes.
class CommandFileRunner : public QObject
{
    Q_OBJECT
public:
    CommandFileRunner(TerminalCore& core, Prompter& prompter, QObject* parent = nullptr);
    ~CommandFileRunner() override;

    // ---- Execution ----
    void executeCommandFile();
    void ExecuteCommands();
    void RepeatMech();
    void pauseCommandFile();

    // Ends a continuous run after this many whole runs of the file (0: no limit).
    int passLimit() const { return m_passLimit; }
    void setPassLimit(int passes) { m_passLimit = passes; }
    // Whole runs of the file completed in the current or last run.
    int passesDone() const { return m_passes; }
    bool isRunning() const { return m_running; }

    // The status-wait state of the file being run: its tables and the line in
    // force (a status match with a jump label moves it).
    const CommandFileTables& tables() const { return m_tables; }
    int currentLine() const { return m_currentLine; }
    // Takes up that state at `line` of `tables` without running anything, as a run
    // stands before the line's status query is answered.
    void setPosition(CommandFileTables tables, int line);
    // Checks an awaited status answer against the current line's wait entries: sets
    // the main window's statusMatch and follows a jump label. Runs on
    // TerminalCore::statusAnswered.
    void matchStatus(qint32 status);

    // How the last run ended.
    enum class Outcome
    {
        None,
        Finished,
        Stopped,
        Refused,
        PortClosed
    };
    Outcome lastOutcome() const { return m_outcome; }

    // ---- File management ----
    // A click on entry `index` of the list.
    void selectCommandFile(int index);
    void newCommandFile();
    void editCommandFile();
    void deleteCommandFile();
    // "Download File": the download window, opened with the chosen file.
    void downloadSelectedFile();

    ExternalEditor& editor() { return m_editor; }

    static const QString RepeatQuestion;
    static inline const QString EmptyMessage = QStringLiteral("Command file is empty.");
    static inline const QString PauseMessage = QStringLiteral("Pause");
    // %1: the port's state, with why it went away.
    static const QString PortClosedMessage;

Q_SIGNALS:
    // A MESSAGE line put this text into the caption.
    void messageShown(const QString& text);
    // A run started (after the repeat question) or ended.
    void runStarted();
    void runFinished();

private:
    enum class Step
    {
        Nothing,
        Paused,
        Sent
    };
    Step executeLine(bool inPass);
    void waitTicks(int ticks);
    void waitDelay(double ticks);
    void endRun();
    bool portGone() const;
    QString joinPath(const QString& dir, const QString& name) const;

    TerminalCore& m_core;
    Prompter& m_prompter;
    int m_passLimit = 0;
    CommandFileTables m_tables;
    int m_currentLine = 0;
    ExternalEditor m_editor;
    bool m_running = false;
    int m_passes = 0;
    // Waits in the event loop so far: a pass or a wrap that added none must wait once,
    // or Cancel, Abort and Ctrl-C could never run.
    quint64 m_waits = 0;
    Outcome m_outcome = Outcome::None;
};
