#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "eeprom/memorymap.h"
#include "core/outcome.h"

class AnswerChannel;
class Operation;
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
    int downloadDelay() const { return m_downloadDelay; } // the unit of every wait, in ticks
    void setDownloadDelay(int ticks) { m_downloadDelay = ticks; }
    bool verifiesDownload() const { return m_verifyDownload; }
    void setVerifiesDownload(bool on) { m_verifyDownload = on; }
    QString workingDir() const { return m_workingDir; } // where "macro.tmp" is read
    void setWorkingDir(const QString& dir) { m_workingDir = dir; }
    int memorySize() const { return m_memorySize; } // bytes; a macro must end within it
    void setMemorySize(int bytes) { m_memorySize = bytes; }

    // The procedures run inside an operation: while a Session lives, the operation's
    // Cancel stops them and their progress goes to it. `marksOnCancel`: a Cancel (or a
    // failed check) leaves the incomplete mark; reads leave the memory as it is.
    class Session
    {
    public:
        Session(EepromProtocol& protocol, Operation& operation, bool marksOnCancel);
        ~Session();
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

    private:
        EepromProtocol& m_protocol;
    };
    bool cancelRequested() const;
    // The port closed or failed during the running session: the controller's memory may
    // hold part of a download.
    bool portLost() const { return m_portLost; }
    // The running (or last) session wrote the incomplete mark "I": the stored program
    // will not run until a download completes.
    bool markedIncomplete() const { return m_markedIncomplete; }
    // True when the port went away (noted in portLost()): the procedure must stop.
    bool portGone();

    // The sum of the bytes written since resetSum(), 0..255, as the controller sums them.
    int downloadSum() const { return m_downloadSum; }
    void resetSum() { m_downloadSum = 0; }
    void addToSum(int value) { m_downloadSum = ((m_downloadSum + value) % 256 + 256) % 256; }

    // The single-file download of "macro.tmp" as `fileName` with boot value `boot` (-1:
    // execute on boot): checksum reset, header, text, the address table, the
    // verification and the directory name. Completed when all of it went out (the
    // caller then checks and marks it complete); Refused, after its message, when
    // nothing was written.
    Outcome downloadFile(const QString& fileName, int boot);
    // The text of "macro.tmp" alone, from the current write address on: one macro of a
    // combination. A lost port shows in portLost().
    void downloadMacro();
    // The checksum reset that begins a verified download: " EEC 0" until the
    // controller reads 0, at most five times; false (after its message unless the
    // port went away) when it never did.
    bool resetChecksum();
    // The end of a verified download: the controller's checksum compared with
    // downloadSum(); a mismatch marks the memory incomplete, says so and gives false.
    bool compareChecksum(int deviceChecksum);
    // The header of a download by " EEW": the programming mark "I" at 503, then the
    // boot value and the macro count from 501, then " EES 1024" and `textWait` x
    // downloadDelay(). The mark says complete only once finishProgram has checked
    // everything.
    void writeHeader(int boot, int count, int textWait);
    // Writes the directory name of `fileName` with its last character at `top`; gives
    // the name as stored.
    QString storeFileDescription(int top, const QString& fileName);
    // The controller's checksum (" EEC"); EepromText::NoChecksum without an answer.
    int readChecksum();
    // The incomplete mark, unless the session only reads.
    void markIncomplete();
    // Writes `mark` at 503 by addressed access (" EEU 4826", " EEADDR 503,c", " EES"):
    // "I" marks the program incomplete, "X" complete.
    void writeMark(char mark);
    // " ME 0" twenty times: every macro running on the line stops.
    void stopMacros();
    // The mark at 503 read once, the addressed access unlocked around it: nothing
    // (after noAnswerText, or with the port lost) when the controller does not answer.
    std::optional<int> readMark(bool nothingWritten);
    // What "macro.tmp" holds; empty when it is missing or no regular file.
    QByteArray workFile() const;

    // One read of the programming mark before anything is written: false, after
    // noAnswerText (or with the port lost), when the controller does not answer.
    bool probe(bool nothingWritten = true);
    // Reads `at` by addressed access (unlocked by the caller), up to ReadTries times
    // while no answer comes; nothing when none came. Each try waits `multiple` x
    // downloadDelay() after the line (the answer itself is awaited beyond it), after a
    // bare CR first when bareReturn (as the directory read sends them).
    std::optional<int> readAddressed(int at, int multiple = 1, bool bareReturn = false);
    // Bytes the download wrote at `start`, read back before the program is marked
    // complete.
    struct Run
    {
        int start = 0;
        QByteArray bytes;
    };
    // The characters of a directory name as storeFileDescription leaves them in the
    // slot whose first character sits at `top` (what an empty name byte leaves there
    // is the controller's, so those are not compared).
    static Run nameRun(int top, const QString& descriptionName);
    // What the single-file download of `macro` ("macro.tmp") as `fileName` writes: the
    // name, the header with its mark still "I", the table and, withText, the text.
    static QList<Run> writtenRuns(
        const QByteArray& macro, const QString& fileName, int boot, bool withText);
    // The end of every download: reads back `runs` (the count, the mark "I", the
    // table and the names), then writes "X" at 503 and reads it back. False after its
    // message when anything differs or goes unanswered; the memory is then marked
    // incomplete if the controller still takes commands.
    bool finishProgram(const QList<Run>& runs);
    // Reads the mark back after it was written: false after its message when the
    // controller did not answer or holds another mark.
    bool confirmMark(char mark);
    // False after its message when `bytes` at TextStart would run past memorySize().
    bool fitsMemory(qsizetype bytes);
    // The download is over without completing: after a Cancel the mark "I" is
    // written once more (nothing follows it), unless the port went away.
    void endCancelled();
    // Addresses the last readMemory got no answer for, after ReadTries tries each.
    const QList<int>& unanswered() const { return m_unanswered; }
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
        int endAddress = 0; // Listed: where the last macro ends
        int bytesStored = 0; // Listed: the bytes of macro text
    };
    Directory readDirectory();
    // Table entry `count`: where macro `count` ends; nothing on a misread (after its
    // message) or a lost port.
    std::optional<int> macroEnd(int count);

    // ---- Reading and writing runs of memory ----
    // Reads `count` bytes from `start` as a read-back file receives them (characters,
    // or one decimal code a line); empty when cancelled, and nothing is sent for a
    // count below 1.
    QByteArray readText(int start, int count, bool asText);
    // The stored bytes from `start`, `count` of them, as read; empty when cancelled.
    // A run that comes back short is read again a byte at a time by addressed access;
    // an address still unanswered after ReadTries tries is left out and listed in
    // unanswered().
    QByteArray readMemory(int start, int count);
    // Reads the programming mark; true, after its message, when it says incomplete.
    bool checkForIncomplete();
    // Writes bytes from `start` (" EES start", then " EEN v" and " EEW" a byte, then
    // " EES"), adding each to downloadSum(). Stops at Cancel and when the port closes.
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

    static const QString MismatchText;
    static const QString IncompleteText;
    static const QString PortLostText;

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
    // The address table of a single file of `size` bytes, checked when verifying;
    // false when the port went away or the checksums differ.
    bool writeDefaultTable(int size);
    // Ends reading and hands over the collected answers, once `expected` are in (or
    // their grace has passed).
    QString readAnswers(int expected);

    PacedSender& m_sender;
    AnswerChannel& m_answers;
    SerialLink& m_link;
    Prompter& m_prompter;

    int m_downloadDelay = 4; // 2 x the download settings' Delay
    bool m_verifyDownload = false;
    QString m_workingDir;
    int m_memorySize = MemoryMap::MemorySize;

    Operation* m_operation = nullptr; // the running one, while a Session lives
    bool m_marksOnCancel = true;
    bool m_portLost = false;
    bool m_markedIncomplete = false;
    int m_downloadSum = 0;
    QList<int> m_unanswered;
};
