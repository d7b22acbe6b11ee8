#pragma once

#include "core/externaleditor.h"
#include "eeprom/e2promrecord.h"
#include "eeprom/macroprep.h"
#include "link/pacedsender.h"
#include "utility/eepromprotocol.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

class ComboPanel;
class Prompter;
class TerminalCore;
class TickTimer;

// The download window without its widgets: load and exit, the mode buttons and
// panels, the download panel's file handling, "Download File", the directory read of
// the upload panel, the progress window (Form1) and the download settings (Form3,
// "e2prom.dat"). The window binds its controls to these members and redraws on
// changed(); zaziruv-cli drives the same object headless. Names follow the controls.
class UtilityCore : public QObject
{
    Q_OBJECT
public:
    UtilityCore(TerminalCore& core, Prompter& prompter, QObject* parent = nullptr);
    ~UtilityCore() override;

    TerminalCore& core;
    Prompter& prompter;
    TickTimer& ticks;
    PacedSender sender;
    EepromProtocol protocol;
    MacroPrep prep;
    ExternalEditor editor;
    ComboPanel& combo; // the combination panel (a child of this object)

    // ---- Window ----
    bool shown = false; // between Form_Load and exitall
    // Form_Load creates a missing "e2prom.dat" (empty); the CLI never writes it.
    bool createE2prom = true;
    // Form_Load found "e2prom.dat" but could not read it (said, and the defaults used).
    bool e2promRefused = false;
    bool windowEnabled = true;
    bool DownFrameVisible = true;
    bool UpFrameVisible = false;
    bool ComboFrameVisible = false;
    bool DownFrameEnabled = true;
    bool UpFrameEnabled = true;

    // ---- Download panel ----
    QStringList Filelist;
    int filelistIndex = -1;
    QString Filename;
    bool BootExecute = false;

    // ---- Upload panel ----
    QString Filename2 = QStringLiteral("Temporary.cmd");
    QStringList ComboMacro1; // the stored macros, as last read
    QStringList ComboFileList2; // the read-back list
    QString LabelTotBytes;
    int comboMacro1Index = -1; // the highlighted entries
    int comboFileList2Index = -1;
    QString SelectedName; // the name last picked in either list
    std::array<int, 256> MacroEnds {}; // 0: the text start; n: the end of macro n
    struct Range
    {
        int start = 0;
        int end = 0;
    };
    std::array<Range, 256> ReadRanges {}; // row r (from 1): the r-th read-back entry
    static constexpr int MaxReadBackEntries = 255; // the rows of ReadRanges

    // ---- Checksum frame ----
    QString Text3; // "Calc."
    QString Text4; // "Recvd"

    // ---- Progress window (Form1) ----
    bool Form1Visible = false;
    QString Label1 = QStringLiteral("Downloading..");
    int ProgressBar1 = 0;

    // ---- Download settings window (Form3) ----
    bool Form3Visible = false;
    E2promRecord e2prom; // the record in memory
    int Delay = 2; // ms per tick
    QString DelayTxt = QStringLiteral("2");
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

    void Form_Load();
    void Form_Paint(); // relists the files
    void Form_DblClick();
    void exitall();
    void Command1_Click(); // Upload
    void Command2_Click(); // Download
    void Command3_Click(); // Exit
    void Command4_Click(); // Help
    void Command7_Click(); // Combination
    void Filelist_Click(int index);
    void EditCmd_Click();
    void Command5_Click(); // the upload panel's Edit
    void CmdDelete_Click();

    // "Download File" and how the last one ended.
    enum class Outcome
    {
        NotStarted,
        Refused, // said why; nothing was written
        Completed,
        Failed,
        Cancelled,
        PortLost
    };
    void DnloadButton_Click();
    Outcome lastDownload = Outcome::NotStarted;

    // "   Read TYX         Directory" and how the last read ended.
    void Command6_Click();
    EepromProtocol::DirectoryOutcome lastDirectory = EepromProtocol::DirectoryOutcome::Empty;

    // "Read Back" of the read-back list into Filename2, and how the last one ended.
    void CmdReadBack_Click();
    Outcome lastReadBack = Outcome::NotStarted;
    Outcome UploadMacros();
    void CmdReadAll_Click(); // "Select     All"
    void ComboMacro1_DblClick();
    void Command14_Click(); // Add
    void ComboFileList2_DblClick();
    void Command9_Click(); // Delete
    // Writes text as the whole of file `name` of the working directory (or a path),
    // atomically; false after a message.
    bool writeWholeFile(const QString& name, const QByteArray& text);
    // False after "Port Not configured for Upload" when the port is closed.
    bool uploadPortReady();

    // "Special": the special functions window (SpecialCore) is shown.
    void Command15_Click();
    bool Form6Visible = false;

    // After a download, read back every byte it wrote and compare (zaziruv-cli
    // --verify-readback); a difference fails the download after its message.
    bool VerifyReadback = false;
    bool readBackDownload(const QList<EepromProtocol::Run>& runs);
    // What the single-file download wrote from "macro.tmp": the name, the header
    // with its mark still "I", the table and, withText, the text.
    QList<EepromProtocol::Run> writtenRuns(bool withText) const;
    // The completion question; without checksums or a read-back the text was not
    // compared, and it says so under "Download complete.".
    static QString completionText(bool textVerified);
    void askForReset(bool textVerified);

    void Cancel_Macro_Execute();

    // Form1
    void showForm1();
    void hideForm1();
    void CmdEEAbort_Click();

    // Form3
    void CmdSetup_Click();
    void Form3_Load();
    void DelayTxt_Change(const QString& text);
    void Form3_QueryUnload();
    // Writes the record from Form3's controls (atomically); false after a message.
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
    void refreshFilelist();
    void editFile(const QString& name);
    void setDelay(int delay);
    void update() { Q_EMIT changed(); }
};
