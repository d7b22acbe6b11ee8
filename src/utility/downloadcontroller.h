#pragma once

#include "core/externaleditor.h"
#include "eeprom/e2promrecord.h"
#include "eeprom/macroprep.h"
#include "link/pacedsender.h"
#include "utility/eepromprotocol.h"
#include "utility/operationrunner.h"
#include "utility/outcome.h"

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
// (DownloadSettingsDialog, "e2prom.dat"). The window binds its controls to these members and
// redraws on changed(); zaziruv-cli drives the same object headless.
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
    PacedSender sender;
    EepromProtocol protocol;
    MacroPrep prep;
    ExternalEditor editor;
    CombinationController& combo; // the combination panel (a child of this object)

    // ---- Window ----
    bool shown = false; // between load and exitall
    // load creates a missing "e2prom.dat" (empty); the CLI never writes it.
    bool createE2prom = true;
    // load found "e2prom.dat" but could not read it (said, and the defaults used).
    bool e2promRefused = false;
    // The window takes input: no operation runs and no window of its own is open.
    bool windowEnabled() const;
    bool panelsEnabled() const { return !busy(); }
    bool DownFrameVisible = true;
    bool UpFrameVisible = false;
    bool ComboFrameVisible = false;

    // ---- Download panel ----
    QStringList Filelist;
    int filelistIndex = -1;
    QString Filename;
    bool BootExecute = false;

    // ---- Upload panel ----
    QString readBackFile = QStringLiteral("Temporary.cmd");
    QStringList storedMacros; // the stored macros, as last read
    QStringList readBackList; // the read-back list
    QString LabelTotBytes;
    bool readBackAsText = true; // read-back files get characters, or one decimal code a line
    int storedIndex = -1; // the highlighted entries
    int readBackIndex = -1;
    QString SelectedName; // the name last picked in either list
    // Where the last stored macro ends, as the last directory read found it.
    int macrosEnd() const { return m_macrosEnd; }
    static constexpr int MaxReadBackEntries = 255;

    // ---- Checksum frame ----
    bool checksumFrameVisible = false; // the verification fills it while shown
    QString calculatedChecksum; // "Calc."
    QString receivedChecksum; // "Recvd"

    // ---- Progress window (ProgressDialog) ----
    using Progress = OperationRunner::Progress;
    const Progress& progress() const { return m_runner.progress(); }
    bool busy() const { return m_runner.busy(); }
    // Runs `operation` with the window disabled and the progress window shown.
    Outcome run(Operation& operation) { return m_runner.run(operation); }

    // ---- Download settings window (DownloadSettingsDialog) ----
    bool settingsVisible = false;
    E2promRecord e2prom; // the record in memory
    int Delay = 2; // ms per tick
    QString delayText = QStringLiteral("2");
    QString TxTNode = QStringLiteral("0");
    bool EnableCksumChk = false;
    QString PortLabel;
    QString BaudLabel;

    // The working directory in force and the one "e2prom.dat" lives in.
    QString workingDir() const;
    QString e2promPath() const;

    // Reads "e2prom.dat" into the download settings (a missing file is created empty
    // when createMissing) and sets Delay, DownloadDelay and VerifyDownload from it.
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
    Outcome lastDownload;

    // "   Read TYX         Directory" and how the last read ended.
    void readDirectory();
    EepromProtocol::DirectoryOutcome lastDirectory = EepromProtocol::DirectoryOutcome::Empty;

    // "Read Back" of the read-back list into readBackFile, and how the last one ended.
    void readBack();
    Outcome lastReadBack;
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
    bool specialVisible = false;

    // After a download, read back every byte it wrote and compare (zaziruv-cli
    // --verify-readback); a difference fails the download after its message.
    bool VerifyReadback = false;
    // The completion question; without checksums or a read-back the text was not
    // compared, and it says so under "Download complete.".
    static QString completionText(bool textVerified);
    void askForReset(bool textVerified);

    void Cancel_Macro_Execute();

    // The progress window's Cancel: the running operation stops after the byte in flight.
    void cancelOperation();

    // DownloadSettingsDialog
    void openDownloadSettings();
    void loadDownloadSettings();
    void setDelayText(const QString& text);
    void closeDownloadSettings();
    // Writes the record from DownloadSettingsDialog's controls (atomically); false after a message.
    bool SaveE2prom();

    static inline const QString CompletionText = QStringLiteral(
        "                   Download complete.\r\nYou must reset the TYX for changes to take "
        "effect.\r\nWould you like to Reset the unit Now?");
    static inline const QString UnverifiedLine
        = QStringLiteral("The macro text itself was not verified (no checksum, no read-back).");
    static inline const QString UploadPortText = QStringLiteral("Port Not configured for Upload");
    static inline const QString SelectText
        = QStringLiteral("Be sure to select a file/macro by clicking on it and highlighting it");
    static inline const QString ListFullText
        = QStringLiteral("The Read Back List holds at most 255 macros.");
    static inline const QString MemoryPortLostText
        = QStringLiteral("The serial port closed while the TYX memory was read.");
    static inline const QString ReadPortLostText
        = QStringLiteral("The serial port closed while the TYX directory was read.");

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

    OperationRunner m_runner;
    int m_macrosEnd = 0;
};
