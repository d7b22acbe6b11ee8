#pragma once

#include "core/externaleditor.h"
#include "core/operationrunner.h"
#include "core/outcome.h"
#include "eeprom/e2promrecord.h"
#include "eeprom/macroprep.h"
#include "link/pacedsender.h"
#include "utility/eepromprotocol.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

class CombinationController;
class Prompter;
class TerminalCore;
class TickTimer;

// The download window without its widgets: load and exit, the mode buttons and
// panels, the download panel's file handling, "Download File", the directory read of
// the upload panel, the progress window (ProgressDialog) and the download settings
// (DownloadSettingsDialog, "e2prom.dat"). The window shows its state and redraws on
// changed(); zaziruv-cli drives the same object headless.
class DownloadController : public QObject
{
    Q_OBJECT
public:
    DownloadController(TerminalCore& core, Prompter& prompter, QObject* parent = nullptr);
    ~DownloadController() override;

    using Outcome = ::Outcome;

    TerminalCore& core;
    Prompter& prompter;
    TickTimer& ticks;
    CombinationController& combo; // the combination panel (a child of this object)

    PacedSender& sender() { return m_sender; }
    EepromProtocol& protocol() { return m_protocol; }
    const EepromProtocol& protocol() const { return m_protocol; }
    MacroPrep& prep() { return m_prep; }
    ExternalEditor& editor() { return m_editor; }

    // ---- Window ----
    bool isShown() const { return m_shown; } // between load and exitall
    // load creates a missing "e2prom.dat" (empty); the CLI never writes it.
    void setCreatesE2prom(bool on) { m_createE2prom = on; }
    // load found "e2prom.dat" but could not read it (said, and the defaults used).
    bool e2promRefused() const { return m_e2promRefused; }
    // The window takes input: no operation runs and no window of its own is open.
    bool windowEnabled() const;
    bool panelsEnabled() const { return !busy(); }
    // An operator watches: a cancelled download says what it left in the controller,
    // and Clear Macros asks first (the CLI reports these its own way).
    bool tellsOperator() const { return m_tellsOperator; }
    void setTellsOperator(bool on) { m_tellsOperator = on; }
    // The window's status line: what the last action without a message did.
    const QString& statusText() const { return m_statusText; }
    void setStatusText(const QString& text);
    // After a download through the windows ended: says so when it was cancelled.
    void tellEnded(const Outcome& outcome);
    // Which of the three panels the mode buttons show.
    struct Panels
    {
        bool download = true;
        bool upload = false;
        bool combination = false;
    };
    const Panels& panels() const { return m_panels; }

    // ---- Download panel ----
    const QStringList& downloadFiles() const { return m_downloadFiles; } // "*.cmd", "*.txt"
    // The listed file the name box names (its highlight), -1 for none.
    int downloadFileIndex() const;
    const QString& downloadFileName() const { return m_downloadFileName; }
    void setDownloadFileName(const QString& name);
    bool executesOnBoot() const { return m_executeOnBoot; } // "Execute On Boot"
    void setExecuteOnBoot(bool on);

    // ---- Upload panel ----
    const QString& readBackFile() const { return m_readBackFile; }
    void setReadBackFile(const QString& name);
    const QStringList& storedMacros() const { return m_storedMacros; } // as last read
    const QStringList& readBackList() const { return m_readBackList; }
    void setReadBackList(const QStringList& names);
    // "Total      Bytes Stored" as the last directory read found it.
    const QString& bytesStoredText() const { return m_bytesStoredText; }
    // Read-back files get characters, or one decimal code a line.
    bool readsBackAsText() const { return m_readBackAsText; }
    void setReadBackAsText(bool on);
    // The highlighted entries of the two lists.
    int storedIndex() const { return m_storedIndex; }
    void setStoredIndex(int index);
    int readBackIndex() const { return m_readBackIndex; }
    void setReadBackIndex(int index);
    // Where the last stored macro ends, as the last directory read found it.
    int macrosEnd() const { return m_macrosEnd; }
    static constexpr int MaxReadBackEntries = 255;

    // ---- Checksum frame ----
    struct ChecksumFrame
    {
        bool visible = false;
        // The last verification's sums, kept while the frame is hidden.
        QString calculated; // "Calc."
        QString received; // "Recvd"
    };
    const ChecksumFrame& checksumFrame() const { return m_checksumFrame; }

    // ---- Progress window (ProgressDialog) ----
    using Progress = OperationRunner::Progress;
    const Progress& progress() const { return m_runner.progress(); }
    bool busy() const { return m_runner.busy(); }
    // Runs `operation` with the window disabled and the progress window shown.
    Outcome run(Operation& operation) { return m_runner.run(operation); }

    // ---- Download settings window (DownloadSettingsDialog) ----
    bool settingsVisible() const { return m_settingsVisible; }
    int delay() const { return m_delay; } // ms per tick
    const QString& delayText() const { return m_delayText; }
    const QString& node() const { return m_node; } // "Node Addressed"
    void setNode(const QString& node);
    bool checksumsEnabled() const { return m_checksumsEnabled; } // "Verify Download"
    void setChecksumsEnabled(bool on);
    const QString& portLabel() const { return m_portLabel; }
    const QString& baudLabel() const { return m_baudLabel; }

    // The working directory in force and the one "e2prom.dat" lives in.
    QString workingDir() const;
    QString e2promPath() const;

    // Reads "e2prom.dat" into the download settings (a missing file is created empty
    // when createMissing) and sets the delay, the protocol's wait unit and checksums from it.
    // False, after a message, when a file of that name is there but cannot be read (a
    // pipe, a folder, a file far larger than a record): the defaults are used.
    bool loadE2prom(bool createMissing = true);

    void load();
    void relistFiles(); // relists the files
    void toggleChecksumFrame();
    void exitall();
    void showUploadPanel();
    void showDownloadPanel();
    void showHelp();
    void showCombinationPanel();
    void selectDownloadFile(int index);
    void editDownloadFile();
    void editReadBackFile(); // the upload panel's Edit
    void deleteDownloadFile();

    // "Download File" and how the last one ended.
    void downloadFile();
    const Outcome& lastDownload() const { return m_lastDownload; }

    // "   Read TYX         Directory" and how the last read ended.
    void readDirectory();
    EepromProtocol::DirectoryOutcome lastDirectory() const { return m_lastDirectory; }

    // "Read Back" of the read-back list into readBackFile, and how the last one ended.
    void readBack();
    const Outcome& lastReadBack() const { return m_lastReadBack; }
    void selectAllForReadBack(); // "Select     All"
    void addToReadBackList();
    void removeFromReadBackList();
    // Writes text as the whole of file `name` of the working directory (or a path),
    // atomically; false after a message.
    bool writeWholeFile(const QString& name, const QByteArray& text);
    // False after "Port Not configured for Upload" when the port is closed.
    bool uploadPortReady();

    // "Special": the special functions window (SpecialFunctions) is shown.
    void openSpecialFunctions();
    void closeSpecialFunctions();
    bool specialVisible() const { return m_specialVisible; }

    // After a download, read back every byte it wrote and compare (zaziruv-cli
    // --verify-readback); a difference fails the download after its message.
    void setVerifiesReadBack(bool on) { m_verifyReadback = on; }
    // The completion question; without checksums or a read-back the text was not
    // compared, and it says so under "Download complete.".
    static QString completionText(bool textVerified);
    void askForReset(bool textVerified);

    void stopMacros();

    // The progress window's Cancel: the running operation stops after the byte in flight.
    void cancelOperation();

    // DownloadSettingsDialog
    void openDownloadSettings();
    void loadDownloadSettings();
    // The Delay box as typed; the "at least 1" rule applies when it is left or closed.
    void setDelayText(const QString& text);
    void applyDelayText();
    // Closing: the delay rule applied, then "e2prom.dat" saved.
    void closeDownloadSettings();
    // Escape: the window closes and what was typed is dropped for the saved record.
    void discardDownloadSettings();
    // Writes the record from DownloadSettingsDialog's controls (atomically); false after a message.
    bool saveE2prom();

    static const QString CompletionText;
    static const QString CancelledText;
    static const QString CancelledUnwrittenText;
    static const QString UnverifiedLine;
    static const QString UploadPortText;
    static const QString SelectText;
    static const QString ListFullText;
    static const QString MemoryPortLostText;
    static const QString ReadPortLostText;

Q_SIGNALS:
    void changed();
    void focusRequested(const QString& control);
    // "Help": the help window's owner shows it.
    void helpRequested();
    // exitall has run: the window closes.
    void closed();

private:
    class FileDownload;
    class DirectoryRead;
    class ReadBack;

    void refreshFilelist();
    void editFile(const QString& name);
    void setDelay(int delay);
    void update() { Q_EMIT changed(); }
    // Sets a field the window shows, and redraws when it changed.
    template <typename T> void assign(T& field, const T& value)
    {
        if (field != value) {
            field = value;
            update();
        }
    }

    PacedSender m_sender;
    EepromProtocol m_protocol;
    MacroPrep m_prep;
    ExternalEditor m_editor;
    OperationRunner m_runner;

    bool m_shown = false;
    bool m_createE2prom = true;
    bool m_tellsOperator = false;
    QString m_statusText;
    bool m_e2promRefused = false;
    Panels m_panels;

    QStringList m_downloadFiles;
    QString m_downloadFileName;
    bool m_executeOnBoot = false;
    bool m_verifyReadback = false;
    Outcome m_lastDownload;

    QString m_readBackFile = QStringLiteral("Temporary.cmd");
    QStringList m_storedMacros;
    QStringList m_readBackList;
    QString m_bytesStoredText;
    bool m_readBackAsText = true;
    int m_storedIndex = -1;
    int m_readBackIndex = -1;
    int m_macrosEnd = 0;
    EepromProtocol::DirectoryOutcome m_lastDirectory = EepromProtocol::DirectoryOutcome::Empty;
    Outcome m_lastReadBack;

    ChecksumFrame m_checksumFrame;

    bool m_settingsVisible = false;
    // The settings as the window opened with them, for Escape.
    struct SettingsShown
    {
        int delay = 2;
        QString node;
        bool checksums = false;
        bool verifies = false;
    } m_settingsShown;
    bool m_specialVisible = false;
    E2promRecord m_e2prom; // the record in memory
    int m_delay = 2;
    QString m_delayText = QStringLiteral("2");
    QString m_node = QStringLiteral("0");
    bool m_checksumsEnabled = false;
    QString m_portLabel;
    QString m_baudLabel;
};
