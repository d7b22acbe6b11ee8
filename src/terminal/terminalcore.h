#pragma once

#include "core/prompter.h"
#include "link/answerchannel.h"
#include "link/framing.h"
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
class TerminalCore : public QObject
{
    Q_OBJECT
public:
    TerminalCore(Settings& settings, SettingsInForce& inForce, Prompter& prompter,
        QObject* parent = nullptr);
    ~TerminalCore() override;

    Settings& settings;
    SettingsInForce& cfg;
    Prompter& prompter;
    SerialLink link;

    // Start-up of the main window: settings, configuration, port, command file list.
    // readStore false: the settings record has been loaded already.
    void load(bool readStore = true);
    // Applied between the configuration and the port at start-up (run-time
    // overrides of the settings in force, such as a speed given on the command line).
    std::function<void()> beforeOpen;

    // ---- Serial port ----
    bool portReady = false;
    QString commandText;
    QStringList CommandHistory; // the six latest commands
    int readLength = 0; // 0: a read takes everything waiting; 1: one character
    int awaitingAnswer = 0;
    // A device used for this run instead of the mapping (--port, --simulate); applies
    // to port number overridePort, or to every port when that is 0.
    QString overrideDevice;
    int overridePort = 0;
    // The override stands for the port the settings name at start-up alone (it sets
    // overridePort), and no other port opens: the simulator answers on one number.
    bool overrideConfiguredPortOnly = false;

    void Openport();
    void SendLiteral();
    QString deviceFor(int comPort) const;

    // ---- Command transmission ----
    QString statusQueryPrefix;
    bool statusMatch = false;
    bool skipNext = false;
    bool statusWaitMode = false;
    qint16 repeatCounter = 1;

    void SendCommand();
    // Rewrites text for the repeat markers; false (and why) when it cannot be sent.
    bool applyRepeatSubstitution(QString& text, QString& why) const;

    // ---- Reception ----
    QString receiveChunk;
    QString receiveAccumulator;
    QString lastResponse;
    QString responseBuffer;
    QString responseLine;
    // What the other windows read and set of the reception: written only by
    // handleReceived.
    AnswerChannel answers;

    QStringList ListRecv; // the last five answers, newest last
    // The latest answer failed its checksum check (or had none) and was shown empty.
    bool answerRejected = false;
    QString TextRecv;

    // The receive handler: hands what arrived to the capture, the terminal, the
    // download window or the command mode, in that order of precedence.
    void handleReceived();

    // ---- Status decoding and the status check ----
    QStringList statusLow;
    QStringList statusHigh;
    bool listsAlert = false;

    void showdiag();
    // The status check of an awaited status answer: shows it and hands its status to
    // the command file runner (statusAnswered).
    void CheckForST();
    // Drops what the command mode holds of a partial answer, e.g. after a capture
    // whose bytes are no answer of this window's.
    void clearReception();

    // ---- Window state ----
    QString savedCaption = QStringLiteral("ZAZIRUV 1.5");
    QString caption = savedCaption;
    bool directoryCaptionFlag = false;
    bool messageCaptionFlag = false;
    QString currentWorkingDir;
    QString downloadDir;
    QString selectedCommandFile;
    int mainTicks = 0;
    bool windowEnabled = true;
    bool receiveFrameVisible = false;
    bool terminalVisible = false; // terminal mode
    bool commandFileFrameVisible = true;
    bool statusFrameVisible = false;
    bool SendFrameVisible = true;

    // The command file list: its directory, pattern, entries and selection.
    QString filelistPath;
    QString filelistPattern = QStringLiteral("*.cmd");
    QStringList Filelist;
    int filelistIndex = -1;
    QString Filename;
    void refreshFilelist();
    // The entry at index (-1: none in the list) named name becomes the selected file.
    void selectFile(int index, const QString& name);

    // What other windows and the command file runner change of what this window
    // shows; each says so to the window.
    void setWindowEnabled(bool enabled);
    void setWorkingDir(const QString& dir);
    // Shows or hides the status frame, emptied.
    void setStatusFrame(bool visible);
    // A MESSAGE line's text in the caption until the run ends.
    void showMessageCaption(const QString& text);
    void requestFocus(const QString& control) { Q_EMIT focusRequested(control); }

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
    void toggleDirectoryCaption();
    void tick();
    void ExitProgram();

    // ---- Command entry and terminal ----
    bool terminalLineFlag = false;
    QString TextTerminal;
    bool stopRequest = false;
    bool continuousRun = false;

    // Enter in TransmitText with the box's text; returns whether the box is emptied.
    bool TransmitText_Enter(const QString& boxText);
    // A key typed in TextTerminal ('\r' for Enter, '\b' for Backspace).
    void terminalKey(QChar key);
    void home();
    void disable();
    void abort();
    void cancelCommandFile();
    void clearReceived();
    void clearTerminal();
    void FlushTerminalLines();

    // The longest text kept while waiting for a line end: beyond it the text can
    // no longer be an answer and is dropped, so garbage cannot grow memory.
    static constexpr int MaxPending = 9999;

Q_SIGNALS:
    // Something that the window shows has changed.
    void viewChanged();
    // A procedure gives a control the focus.
    void focusRequested(const QString& control);
    // The terminal box's insertion point goes after its last character.
    void terminalCursorToEnd();
    // Received lines were appended to TextTerminal. Sent per line, at the line's
    // full rate: a view redraws at its own pace, not on each.
    void terminalTextChanged();
    void configWindowRequested();
    void downloadWindowRequested();
    void exitRequested();
    // A complete answer was added to ListRecv.
    void answerShown(const QString& line);
    // An awaited answer to a status query arrived, before it is added to ListRecv.
    // The command file runner matches it against its wait entries, connected
    // directly, so statusMatch is set before anything else runs.
    void statusAnswered(qint32 status);

private:
    void onReceived();
    // The receive handler's branches: capture mode, terminal mode, command mode (and
    // the answer it completes), and the download window's answers.
    void receiveCapture();
    void receiveTerminal();
    void receiveCommand();
    void showAnswer(const ParsedAnswer& answer);
    void receiveDownload();
    void addHistory(const QString& text);
    void convertNumber();
    QString readInput();
    void changed() { Q_EMIT viewChanged(); }

    QTimer m_timer1;
    Controls m_enabled;
    bool m_receivePosted = false;
};
