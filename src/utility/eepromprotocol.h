#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "eeprom/memorymap.h"

class AnswerChannel;
class PacedSender;
class Prompter;
class SerialLink;

// The procedures of the download window that talk to the controller's EEPROM, and the
// values they own. Every command line goes through the PacedSender; answers are read
// from the AnswerChannel. The procedures show their own messages and return results;
// the lists and the progress window belong to the caller (DownloadController).
class EepromProtocol : public QObject
{
    Q_OBJECT
public:
    EepromProtocol(PacedSender& sender, AnswerChannel& answers, SerialLink& link,
        Prompter& prompter, QObject* parent = nullptr);

    // Settings in force (from "e2prom.dat" or the CLI's options).
    int DownloadDelay = 4; // the unit of every wait, in ticks: 2 x Delay
    bool VerifyDownload = false;
    QString workingDir; // where "macro.tmp" is read
    int MemorySize = MemoryMap::MemorySize; // bytes; a macro must end within it

    // Values of a download.
    int DownloadSum = 0; // 0..255
    int DeviceChecksum = 999;
    bool DownloadFailed = false;
    bool CancelRequested = false;
    int ChecksumRetries = 0;
    int BootFlag = 0; // -1: execute on boot
    bool SkipIncompleteMark = false;
    bool SingleFileDownload = false;
    QString MacroFileName;
    // Set when the port closed or failed during the last procedure: the controller's
    // memory may hold part of a download.
    bool PortLost = false;
    // Set once DownloadFile has sent its first line; a macro refused before that
    // left the controller untouched.
    bool Started = false;

    // Values of the directory.
    int MacroEndAddress = 0;
    int DirectoryAddress = 499;
    int ReadByteCount = 0;

    // Whether the window's checksum frame is shown (the verification fills it).
    bool HiddenFrameVisible = false;

    // The single-file download of "macro.tmp": checksum reset, header, text and, for a
    // single file, the address table, the verification and the directory name.
    void DownloadFile();
    // The text of "macro.tmp" alone, from the current write address on: one macro of a
    // combination. Leaves DownloadFailed set when the port went away.
    void DownloadMacro();
    // The checksum reset that begins a verified download: " EEC 0" until the
    // controller reads 0, at most five times; false (DownloadFailed set, after its
    // message unless the port went away) when it never did.
    bool ResetChecksum();
    // The end of a verified download: DeviceChecksum (read by GetChecksum) compared
    // with DownloadSum; a mismatch marks the memory incomplete, says so and sets
    // DownloadFailed.
    void CompareChecksum();
    void addToSum(int value) { DownloadSum = ((DownloadSum + value) % 256 + 256) % 256; }
    // The header of a download by " EEW": the programming mark "I" at 503, then the
    // boot value and the macro count from 501, then " EES 1024" and `textWait` x
    // DownloadDelay. The mark says complete only once finishProgram has checked
    // everything.
    void writeHeader(int boot, int count, int textWait);
    void SetDefaultFat(int size);
    void StoreFileDescription(int& address);
    void GetChecksum();
    void MarkIncomplete();
    // Writes `mark` at 503 by addressed access (" EEU 4826", " EEADDR 503,c", " EES"):
    // "I" marks the program incomplete, "X" complete. A lost port sets PortLost.
    void writeMark(char mark);
    void Cancel_Macro_Execute();
    // The mark at 503 read once, the addressed access unlocked around it: nothing
    // (after noAnswerText, or with PortLost set) when the controller does not answer.
    std::optional<int> readMark(bool nothingWritten);
    // What "macro.tmp" holds; empty when it is missing or no regular file.
    QByteArray workFile() const;

    // One read of the programming mark before anything is written: false, after
    // noAnswerText (or with PortLost set), when the controller does not answer.
    bool probe(bool nothingWritten = true);
    // Reads `at` by addressed access (unlocked by the caller), up to ReadTries times
    // while no answer comes; nothing when none came. Each try waits `multiple` x
    // DownloadDelay after the line (the answer itself is awaited beyond it), after a
    // bare CR first when bareReturn (as the directory read sends them).
    std::optional<int> readAddressed(int at, int multiple = 1, bool bareReturn = false);
    // Bytes the download wrote at `start`, read back before the program is marked
    // complete.
    struct Run
    {
        int start = 0;
        QByteArray bytes;
    };
    // The characters of a directory name as StoreFileDescription leaves them in the
    // slot whose first character sits at `top` (what an empty name byte leaves there
    // is the controller's, so those are not compared).
    static Run nameRun(int top, const QString& descriptionName);
    // The end of every download: reads back `runs` (the count, the mark "I", the
    // table and the names), then writes "X" at 503 and reads it back. False after its
    // message when anything differs or goes unanswered; the memory is then marked
    // incomplete if the controller still takes commands.
    bool finishProgram(const QList<Run>& runs);
    // Reads the mark back after it was written: false after its message when the
    // controller did not answer or holds another mark.
    bool confirmMark(char mark);
    // False after its message when `bytes` at TextStart would run past MemorySize.
    bool fitsMemory(qsizetype bytes);
    // The download is over without completing: after a Cancel the mark "I" is
    // written once more (nothing follows it), unless the port went away.
    void endCancelled();
    // Addresses the last readMemory got no answer for, after ReadTries tries each.
    QList<int> Unanswered;
    static constexpr int ReadTries = 3;
    QString noAnswerText(bool nothingWritten) const;
    static QString unansweredText(const QList<int>& addresses);

    enum class DirectoryOutcome
    {
        Listed,
        Empty,
        Incomplete,
        TooMany,
        Misread,
        Cancelled,
        PortLost,
        NoAnswer
    };
    struct Directory
    {
        DirectoryOutcome outcome = DirectoryOutcome::Empty;
        QStringList names; // read so far, in slot order
    };
    // Reads the directory; on Listed, ReadByteCount holds the bytes stored.
    Directory ReadTYXDir();
    // Sets MacroEndAddress from table entry `count`; false on a misread (after its
    // message; ReadByteCount is then 0).
    bool GetEndOfMacro(int count);

    // ---- Reading and writing runs of memory ----
    QString ReadStartAddress; // decimal, where UploadFile starts
    bool ReadAsText = true; // UploadFile's text: characters, or one decimal code a line

    // Reads ReadByteCount bytes from ReadStartAddress into text as a read-back file
    // receives them; empty when cancelled, and nothing is sent for a count below 1.
    void UploadFile(QByteArray& text);
    // The stored bytes from `start`, `count` of them, as read; empty when cancelled.
    // A run that comes back short is read again a byte at a time by addressed access;
    // an address still unanswered after ReadTries tries is left out and listed in
    // Unanswered. PortLost tells a closed port.
    QByteArray readMemory(int start, int count);
    // Reads the programming mark; true, after its message, when it says incomplete.
    bool CheckForIncomplete();
    // Writes bytes from `start` (" EES start", then " EEN v" and " EEW" a byte, then
    // " EES"), adding each to DownloadSum. Stops at Cancel and when the port closes.
    void writeMemory(int start, const QByteArray& bytes);
    // Reads back what was written at `start`: the first address whose byte differs or
    // gave no answer; nothing when all are equal (or when cancelled).
    struct Difference
    {
        int address = 0;
        int written = 0;
        int read = -1; // -1: no answer
    };
    std::optional<Difference> firstDifference(int start, const QByteArray& written);
    static QString differenceText(const Difference& d);

    static inline const QString MismatchText = QStringLiteral("Download Failed Please try again.");
    static inline const QString IncompleteText
        = QStringLiteral("The TYX Programming is incomplete and will not Execute.\r\n"
                         "                      Press Ok to Continue.");
    static inline const QString PortLostText = QStringLiteral(
        "The serial port closed during the exchange with the TYX. Its memory may be incomplete: "
        "check the cable and the port, then download again.");

Q_SIGNALS:
    void progressChanged(int percent);
    void labelChanged(const QString& text);
    // The verification failed: the progress window goes away before its message.
    void progressHideRequested();
    // The calculated and the received checksum, for the checksum frame.
    void checksumsShown(int calculated, int received);

private:
    // Writes the stored text a byte at a time (" EED c", " EEW"); false when Cancel or
    // a lost port stopped it. `fileSize` is the length of "macro.tmp" the progress
    // bar counts against.
    bool storeText(const QByteArray& bytes, qsizetype fileSize);
    // True when the running procedure must stop: the port went away (noted in PortLost).
    bool portGone();
    // Ends reading and hands over the collected answers, once `expected` are in (or
    // their grace has passed).
    QString readAnswers(int expected);
    void verify();

    PacedSender& m_sender;
    AnswerChannel& m_answers;
    SerialLink& m_link;
    Prompter& m_prompter;
};
