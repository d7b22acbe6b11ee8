#pragma once

#include "core/prompter.h"
#include "link/answerchannel.h"
#include "link/framing.h"
#include "link/portwatcher.h"
#include "link/seriallink.h"
#include "settings/settings.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <initializer_list>

struct ParsedAnswer;

// The main window's logic without its widgets: the serial port and everything that
// flows through it (sending commands, receiving and routing answers, status
// decoding), the command and terminal modes, the 50 ms timer and the state that the
// windows show. The GUI window binds its controls to this object; zaziruv-cli drives
// it headless.
class OperationRunner;

class TerminalCore : public QObject
{
    Q_OBJECT
public:
    TerminalCore(Settings&, SettingsInForce&, Prompter&, QObject* parent = nullptr);
    ~TerminalCore() override;

    Settings& settings;
    SettingsInForce& cfg;
    Prompter& prompter;

    SerialLink& link() { return m_link; }
    const SerialLink& link() const { return m_link; }
    // What the other windows read and set of the reception: written only by
    // handleReceived.
    AnswerChannel& answers() { return m_answers; }
    const AnswerChannel& answers() const { return m_answers; }

    // Start-up of the main window: settings, configuration, port, command file list.
    // readStore false: the settings record has been loaded already.
    void load(bool readStore = true);
    // Applied between the configuration and the port at start-up (run-time
    // overrides of the settings in force, such as a speed given on the command line).
    void setBeforeOpen(std::function<void()> apply) { m_beforeOpen = std::move(apply); }

    // ---- Serial port ----
    // A device used for this run instead of the mapping (--port, --simulate), for every
    // port. configuredPortOnly: it stands for the port the settings name at start-up
    // alone, and no other port opens (the simulator answers on one number).
    void setDeviceOverride(const QString& device, bool configuredPortOnly = false);
    QString deviceFor(int comPort) const;
    void openPort();
    // The window program: a local port that is lost is watched for, and opened again
    // when it comes back while no operation runs.
    void setReconnectWhenIdle(bool on) { m_reconnectWhenIdle = on; }
    // Whatever runs on the port (an operation, a command file run) holds it from its
    // start to its end: a port lost meanwhile is reopened only once nobody holds it, so
    // nothing that was running when it went carries on over the port that came back.
    void holdPort() { ++m_portHolds; }
    void releasePort();
    bool portHeld() const { return m_portHolds > 0; }
    // Holds the port while the runner runs an operation.
    void holdPortWhileBusy(const OperationRunner& runner);
    bool waitingForPort() const { return m_portWatcher.watching(); }
    bool portReady() const { return m_portReady; }
    void setPortReady(bool ready) { m_portReady = ready; }
    // 0: a read takes everything waiting; 1: one character.
    int readLength() const { return m_readLength; }
    void setReadLength(int length) { m_readLength = length; }
    // A command was sent and its answer has not come yet.
    bool awaitingAnswer() const { return m_awaitingAnswer; }

    // ---- Command transmission ----
    // The command that the next send takes, and whose answer the command mode reads.
    const QString& commandText() const { return m_commandText; }
    void setCommandText(const QString& text) { m_commandText = text; }
    const QStringList& commandHistory() const { return m_commandHistory; } // the six latest
    // The status query of the latest command, without what followed " ST ".
    const QString& statusQueryPrefix() const { return m_statusQueryPrefix; }
    // A command file's status wait: sendCommand repeats a status query until an
    // answer matches (statusMatch).
    bool statusWaitMode() const { return m_statusWaitMode; }
    void setStatusWaitMode(bool on) { m_statusWaitMode = on; }
    bool statusMatch() const { return m_statusMatch; }
    void setStatusMatch(bool match) { m_statusMatch = match; }
    // The next sendCommand sends nothing (a MESSAGE line's text stands in the command).
    bool skipNext() const { return m_skipNext; }
    void setSkipNext(bool skip) { m_skipNext = skip; }
    // The pass of a repeated block, for the repeat markers: from 1.
    qint16 repeatCounter() const { return m_repeatCounter; }
    void setRepeatCounter(qint16 counter) { m_repeatCounter = counter; }

    void sendLiteral();
    void sendCommand();
    // Rewrites text for the repeat markers; false (and why) when it cannot be sent.
    bool applyRepeatSubstitution(QString& text, QString& why) const;

    // ---- Reception ----
    // The receive handler: hands what arrived to the capture, the terminal, the
    // download window or the command mode, in that order of precedence.
    void handleReceived();
    // Drops what the command mode holds of a partial answer, e.g. after a capture
    // whose bytes are no answer of this window's.
    void clearReception();
    // What the command mode holds of an answer not complete yet.
    const QString& responseBuffer() const { return m_responseBuffer; }
    // What the terminal and the download window hold of a line not complete yet.
    const QString& receiveAccumulator() const { return m_receiveAccumulator; }
    // The latest complete answer as shown, before it went into recentAnswers.
    const QString& lastResponse() const { return m_lastResponse; }
    const QStringList& recentAnswers() const { return m_recentAnswers; } // five, newest last
    // The latest answer failed its checksum check (or had none) and was shown empty.
    bool answerRejected() const { return m_answerRejected; }
    // The answer shown above the status description.
    const QString& receivedText() const { return m_receivedText; }

    // ---- Status decoding ----
    struct StatusLines
    {
        QStringList low; // bits 0 to 8
        QStringList high; // bits 9 to 15
        bool alert = false; // an alert bit is set: both lists in red
    };
    const StatusLines& statusLines() const { return m_statusLines; }
    // Decodes the status in the status answer (node, blank, hexadecimal status).
    void showStatusDescription(const QString& answer);

    // ---- Window state ----
    // Which of the window's frames are shown.
    struct Panels
    {
        bool terminal = false; // terminal mode
        bool commandFile = true;
        bool status = false;
        bool receive = false;
        bool send = true;
    };
    const Panels& panels() const { return m_panels; }
    const QString& caption() const { return m_caption; }
    // The caption of the program, shown when neither the directory nor a MESSAGE is.
    const QString& savedCaption() const { return m_savedCaption; }
    bool messageCaptionShown() const { return m_messageCaption; }
    // A MESSAGE line's text in the caption until the run ends.
    void showMessageCaption(const QString& text);
    void endMessageCaption() { m_messageCaption = false; }
    void toggleDirectoryCaption();

    const QString& workingDir() const { return m_workingDir; }
    void setWorkingDir(const QString& dir);
    // The directory the download window lists first.
    const QString& downloadDir() const { return m_downloadDir; }
    // The command file opened last (to run, edit or delete), or the log written.
    const QString& selectedCommandFile() const { return m_selectedCommandFile; }
    void setSelectedCommandFile(const QString& path) { m_selectedCommandFile = path; }
    bool windowEnabled() const { return m_windowEnabled; }
    void setWindowEnabled(bool enabled);
    // Shows or hides the status frame, emptied.
    void setStatusFrame(bool visible);
    void requestFocus(const QString& control) { Q_EMIT focusRequested(control); }

    // The ticks of 50 ms since the last reset; after 10000 the count starts again at 0.
    int ticks() const { return m_ticks; }
    void resetTicks() { m_ticks = 0; }
    void tick();

    // The command file list: its directory, pattern, entries and selection.
    struct FileList
    {
        QString path;
        QString pattern = QStringLiteral("*.cmd"); // ';' between patterns
        QStringList entries;
        int index = -1; // the selected entry; -1: none
    };
    const FileList& fileList() const { return m_fileList; }
    // Lists the files of path that match pattern.
    void showFiles(const QString& path, const QString& pattern);
    void refreshFilelist();
    void setFilelistIndex(int index);
    // The command file named in the file name box.
    const QString& fileName() const { return m_fileName; }
    void setFileName(const QString& name);
    // The entry at index (-1: none in the list) named name becomes the selected file.
    void selectFile(int index, const QString& name);

    // Enabled state of the controls that the procedures enable and disable, one
    // member each, named as the control; every other control is always enabled.
    struct Controls
    {
        bool TransmitText = true;
        bool CmdManual = true;
        bool CmdTerminal = true;
        bool CmdHome = true;
        bool DownloadButton = true;
        bool EditCmd = true;
        bool ExecuteCmdFile = true;
        bool DeleteCmd = true;
        bool Filename = true;
        bool Filelist = true;
        bool PauseCmd = true;
        bool CancelCmd = true;
        bool operator==(const Controls&) const = default;
    };
    using Control = bool Controls::*;
    const Controls& enabled() const { return m_enabled; }
    void setEnabled(std::initializer_list<Control> controls, bool on);
    // The member of the control with this objectName; null for a control that is
    // always enabled. For the window, which knows its controls by name.
    static Control controlNamed(QStringView objectName);

    void terminalMode();
    void commandMode();
    void openConfiguration();
    void openDownloadWindow();
    // "Download File": the download window opens with `fileName` chosen, if it lists it.
    void openDownloadWindowFor(const QString& fileName);
    // The file the download window is to open with (empty: its first file).
    const QString& downloadChoice() const { return m_downloadChoice; }
    void exitProgram();

    // ---- Command entry and terminal ----
    // Ends a command file's waits and loops at their next check.
    bool stopRequest() const { return m_stopRequest; }
    void setStopRequest(bool stop) { m_stopRequest = stop; }
    // A command file runs again from its start when it ends.
    bool continuousRun() const { return m_continuousRun; }
    void setContinuousRun(bool on) { m_continuousRun = on; }
    // The terminal shows what arrives: set by Enter, cleared by any other key.
    bool terminalLineFlag() const { return m_terminalLineFlag; }
    // The terminal box's text, lines ending in CR LF.
    const QString& terminalText() const { return m_terminalText; }

    // Enter in TransmitText with the box's text; returns whether the box is emptied.
    bool enterCommand(const QString& boxText);
    // A key typed in TextTerminal ('\r' for Enter, '\b' for Backspace).
    void terminalKey(QChar key);
    void home();
    void disable();
    void abort();
    void cancelCommandFile();
    void clearReceived();
    void clearTerminal();

    // The longest text kept while waiting for a line end: beyond it the text can
    // no longer be an answer and is dropped, so garbage cannot grow memory.
    static constexpr int MaxPending = 9999;
    // What every window says when asked to talk to the controller with the port closed.
    static const QString PortClosedText;

Q_SIGNALS:
    // Something that the window shows has changed.
    void viewChanged();
    // A procedure gives a control the focus.
    void focusRequested(const QString& control);
    // The terminal box's insertion point goes after its last character.
    void terminalCursorToEnd();
    // Received lines were appended to the terminal text. Sent per line, at the line's
    // full rate: a view redraws at its own pace, not on each.
    void terminalTextChanged();
    void configWindowRequested();
    void downloadWindowRequested();
    void exitRequested();
    // A complete answer was added to the recent answers.
    void answerShown(const QString& line);
    // An awaited answer to a status query arrived, before it is added to the recent answers.
    // The command file runner matches it against its wait entries, connected
    // directly, so statusMatch is set before anything else runs.
    void statusAnswered(qint32 status);

private:
    void onReceived();
    void reconnectIfIdle();
    // The receive handler's branches: capture mode, terminal mode, command mode (and
    // the answer it completes), and the download window's answers.
    void receiveCapture();
    void receiveTerminal();
    void receiveCommand();
    void showAnswer(const ParsedAnswer& answer);
    void receiveDownload();
    // The status check of an awaited status answer: shows it and hands its status to
    // the command file runner (statusAnswered).
    void checkStatusAnswer();
    void flushTerminalLines();
    void addHistory(const QString& text);
    void convertNumber();
    QString readInput();
    void changed() { Q_EMIT viewChanged(); }

    SerialLink m_link;
    PortWatcher m_portWatcher;
    QTimer m_reconnectRetry;
    bool m_reconnectWhenIdle = false;
    int m_portHolds = 0;
    AnswerChannel m_answers;
    std::function<void()> m_beforeOpen;

    QString m_overrideDevice;
    // The port that the override stands for; 0: every port.
    int m_overridePort = 0;
    bool m_overrideConfiguredPortOnly = false;
    bool m_portReady = false;
    int m_readLength = 0;
    bool m_awaitingAnswer = false;

    QString m_commandText;
    QStringList m_commandHistory;
    QString m_statusQueryPrefix;
    bool m_statusMatch = false;
    bool m_skipNext = false;
    bool m_statusWaitMode = false;
    qint16 m_repeatCounter = 1;

    QString m_receiveChunk;
    QString m_receiveAccumulator;
    QString m_lastResponse;
    QString m_responseBuffer;
    QString m_responseLine;
    QStringList m_recentAnswers;
    bool m_answerRejected = false;
    QString m_receivedText;
    StatusLines m_statusLines;

    Panels m_panels;
    QString m_savedCaption = QStringLiteral("ZAZIRUV 1.5");
    QString m_caption = m_savedCaption;
    bool m_directoryCaption = false;
    bool m_messageCaption = false;
    QString m_workingDir;
    QString m_downloadDir;
    QString m_selectedCommandFile;
    int m_ticks = 0;
    bool m_windowEnabled = true;
    FileList m_fileList;
    QString m_fileName;

    bool m_terminalLineFlag = false;
    QString m_terminalText;
    QString m_downloadChoice;
    bool m_stopRequest = false;
    bool m_continuousRun = false;

    QTimer m_timer1;
    Controls m_enabled;
    bool m_receivePosted = false;
};
