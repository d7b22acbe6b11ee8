#include "eepromprotocol.h"

#include "core/numbers.h"
#include "core/prompter.h"
#include "core/text.h"
#include "core/wholefile.h"
#include "eeprom/e2promrecord.h"
#include "eeprom/eepromtext.h"
#include "eeprom/memorymap.h"
#include "eeprom/readbacktext.h"
#include "link/answerchannel.h"
#include "link/pacedsender.h"
#include "link/seriallink.h"

#include <QDir>
#include <QFile>

using End = PacedSender::End;

namespace {
QString address(int value)
{
    return QStringLiteral(" EEADR") + withSign(value);
}
} // namespace

EepromProtocol::EepromProtocol(PacedSender& sender, AnswerChannel& answers, SerialLink& link,
    Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_sender(sender)
    , m_answers(answers)
    , m_link(link)
    , m_prompter(prompter)
{
}

bool EepromProtocol::portGone()
{
    if (m_link.isOpen())
        return false;
    PortLost = true;
    return true;
}

QString EepromProtocol::readAnswers(int expected)
{
    m_sender.awaitAnswers([expected](const QString& collected) {
        return ReadBackText::answerCount(collected) >= expected;
    });
    return ReadBackText::withLastAnswerEnded(m_answers.endReading());
}

void EepromProtocol::DownloadFile()
{
    DownloadSum = 0;
    DownloadFailed = false;
    ChecksumRetries = 0;
    Started = false;

    // "macro.tmp" is read and checked before anything is sent, so that a macro that
    // cannot be stored as prepared leaves the controller's memory as it was.
    const QByteArray macro = workFile();
    if (macro.isEmpty()) {
        m_prompter.message(QStringLiteral("Command file is empty."));
        DownloadFailed = true;
        return;
    }
    const EepromText::StoredMacro stored = EepromText::storedMacro(macro);
    if (!stored.refusedLine.isNull()) {
        m_prompter.message(QString::fromLatin1(EepromText::FirstLineText)
                + QStringLiteral("\r\n\r\n") + stored.refusedLine,
            PromptIcon::Critical);
        DownloadFailed = true;
        return;
    }
    if (!fitsMemory(stored.bytes.size()) || !probe()) {
        DownloadFailed = true;
        return;
    }
    Started = true;

    if (VerifyDownload && !ResetChecksum())
        return;
    if (CancelRequested)
        return; // nothing of the program was written yet

    writeHeader(BootFlag, 1, 25);
    if (CancelRequested) {
        endCancelled();
        return;
    }
    if (!storeText(stored.bytes, macro.size())) {
        endCancelled();
        return;
    }
    m_sender.send(QStringLiteral(" EES"), 1);
    if (portGone()) {
        DownloadFailed = true;
        return;
    }

    if (SingleFileDownload) {
        // The table describes what was stored, which leaves out skipped leading blanks.
        SetDefaultFat(int(stored.bytes.size()));
        if (!DownloadFailed && !CancelRequested) {
            Q_EMIT labelChanged(QStringLiteral("Saving Directory Info.."));
            DirectoryAddress = MemoryMap::DirectoryTop;
            StoreFileDescription(DirectoryAddress);
            if (portGone())
                DownloadFailed = true;
        }
        if (CancelRequested)
            endCancelled();
    }
}

void EepromProtocol::endCancelled()
{
    if (CancelRequested && !portGone())
        MarkIncomplete();
}

void EepromProtocol::writeHeader(int boot, int count, int textWait)
{
    // Incomplete until finishProgram has checked what was written, and marked so
    // before the boot value and the count change: a download cut off anywhere leaves
    // a program the controller will not run, never the old one under a new count.
    m_sender.send(QStringLiteral(" EES 503"), 6);
    m_sender.send(QStringLiteral(" EEDAT I"), 1);
    addToSum('I');
    m_sender.send(QStringLiteral(" EEW"), 1);
    m_sender.send(QStringLiteral(" EES 501"), 6);
    for (const int value : { boot, count }) {
        m_sender.send(QStringLiteral(" EEN") + withSign(value), 1);
        addToSum(value);
        m_sender.send(QStringLiteral(" EEW"), 1);
    }
    m_sender.send(QStringLiteral(" EES 1024"), textWait);
}

bool EepromProtocol::fitsMemory(qsizetype bytes)
{
    const qint64 end = MemoryMap::TextStart + qint64(bytes);
    if (end <= MemorySize)
        return true;
    m_prompter.message(QStringLiteral("The macros take %1 bytes and would end at address %2, "
                                      "past the end of the TYX memory (%3 bytes). Nothing was "
                                      "written.")
                           .arg(bytes)
                           .arg(end)
                           .arg(MemorySize),
        PromptIcon::Critical);
    return false;
}

QString EepromProtocol::noAnswerText(bool nothingWritten) const
{
    const QString node = m_sender.node ? m_sender.node() : QString();
    return nothingWritten
        ? QStringLiteral("The TYX at node %1 did not answer; nothing was written.").arg(node)
        : QStringLiteral("The TYX at node %1 did not answer.").arg(node);
}

QString EepromProtocol::unansweredText(const QList<int>& addresses)
{
    QStringList shown;
    for (qsizetype i = 0; i < addresses.size() && i < 20; ++i)
        shown << QString::number(addresses[i]);
    if (addresses.size() > 20)
        shown << QStringLiteral("and %1 more").arg(addresses.size() - 20);
    return QStringLiteral("The TYX gave no answer for %1 %2 (%3 tries each): the read failed.")
        .arg(addresses.size() == 1 ? QStringLiteral("address") : QStringLiteral("addresses"),
            shown.join(QStringLiteral(", ")))
        .arg(ReadTries);
}

std::optional<int> EepromProtocol::readAddressed(int at, int multiple, bool bareReturn)
{
    for (int t = 0; t < ReadTries && !portGone(); ++t) {
        m_answers.startReading();
        if (bareReturn)
            m_sender.bareReturn(2);
        m_sender.send(::address(at), multiple);
        QString text = readAnswers(1);
        if (const auto b = EepromText::takeRuleA(text))
            return b;
    }
    return std::nullopt;
}

std::optional<int> EepromProtocol::readMark(bool nothingWritten)
{
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    const auto mark = readAddressed(MemoryMap::ProgramMark);
    m_sender.send(QStringLiteral(" EES"), 1);
    if (portGone())
        return std::nullopt;
    if (!mark)
        m_prompter.message(noAnswerText(nothingWritten), PromptIcon::Critical);
    return mark;
}

bool EepromProtocol::probe(bool nothingWritten)
{
    return readMark(nothingWritten).has_value();
}

bool EepromProtocol::finishProgram(const QList<Run>& runs)
{
    const auto fail = [this](const Difference& d) {
        Q_EMIT progressHideRequested();
        if (!portGone())
            MarkIncomplete();
        if (!PortLost)
            m_prompter.message(differenceText(d), PromptIcon::Critical);
        DownloadFailed = true;
        return false;
    };
    Q_EMIT labelChanged(QStringLiteral("Checking.."));
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    for (const Run& run : runs) {
        for (qsizetype i = 0; i < run.bytes.size(); ++i) {
            const int at = run.start + int(i);
            const auto read = readAddressed(at);
            if (CancelRequested) {
                m_sender.send(QStringLiteral(" EES"), 1);
                endCancelled();
                return false;
            }
            if (read != quint8(run.bytes[i]))
                return fail({ at, quint8(run.bytes[i]), read.value_or(-1) });
        }
    }
    m_sender.send(QStringLiteral(" EEADDR 503,X"), 10, End::CrLf);
    const auto mark = readAddressed(MemoryMap::ProgramMark);
    if (mark != 'X')
        return fail({ MemoryMap::ProgramMark, 'X', mark.value_or(-1) });
    m_sender.send(QStringLiteral(" EES"), 1);
    if (portGone()) {
        DownloadFailed = true;
        return false;
    }
    return true;
}

EepromProtocol::Run EepromProtocol::nameRun(int top, const QString& descriptionName)
{
    QByteArray name = descriptionName.left(MemoryMap::NameBytes).toLatin1();
    std::reverse(name.begin(), name.end());
    return { top + 1 - int(name.size()), name };
}

bool EepromProtocol::confirmMark(char mark)
{
    const auto read = readMark(false);
    if (!read)
        return false;
    if (*read != quint8(mark)) {
        m_prompter.message(
            differenceText({ MemoryMap::ProgramMark, quint8(mark), *read }), PromptIcon::Critical);
        return false;
    }
    return true;
}

QByteArray EepromProtocol::workFile() const
{
    // Preparation writes at most what a command file may hold (1 MiB).
    QString why;
    return readRegularFile(
        QDir(workingDir).filePath(QStringLiteral("macro.tmp")), 1024 * 1024, &why)
        .value_or(QByteArray());
}

bool EepromProtocol::storeText(const QByteArray& bytes, qsizetype fileSize)
{
    int counter = 6;
    for (char byte : bytes) {
        if (portGone()) {
            DownloadFailed = true;
            return false;
        }
        // " EED " and the character; a CR is the line's own end.
        m_sender.send(
            byte == '\r' ? QStringLiteral(" EED ") : QStringLiteral(" EED ") + QChar(quint8(byte)),
            1);
        addToSum(quint8(byte));
        ++counter;
        m_sender.send(QStringLiteral(" EEW"), 1);
        Q_EMIT progressChanged(int(std::min<double>(100, counter * 1.3 / double(fileSize) * 100)));
        if (CancelRequested)
            return false;
    }
    return true;
}

void EepromProtocol::DownloadMacro()
{
    const QByteArray macro = workFile();
    m_sender.waitTicks(25 * DownloadDelay);
    if (macro.isEmpty()) {
        m_prompter.message(QStringLiteral("Command file is empty."));
        return;
    }
    // The combination download refuses a macro whose first line does not begin with
    // the node address before it sends anything, so what is stored here is the whole
    // file and its size and jump addresses hold.
    const EepromText::StoredMacro stored = EepromText::storedMacro(macro);
    if (storeText(stored.bytes, macro.size()) && portGone())
        DownloadFailed = true;
}

void EepromProtocol::SetDefaultFat(int size)
{
    m_sender.send(QStringLiteral(" EES 516"), 6);
    for (const int v : { MemoryMap::TextStart, MemoryMap::TextStart + size }) {
        const int high = v / 256;
        const int low = v % 256;
        m_sender.sendByCharacter(QStringLiteral(" EEN") + withSign(high), 2);
        addToSum(high);
        m_sender.send(QStringLiteral(" EEW"), 2);
        m_sender.sendByCharacter(QStringLiteral(" EEN") + withSign(low), 2);
        addToSum(low);
        m_sender.sendTicks(QStringLiteral(" EEW"), DownloadDelay + 1);
    }
    if (portGone()) {
        DownloadFailed = true;
        return;
    }
    if (VerifyDownload)
        verify();
}

bool EepromProtocol::ResetChecksum()
{
    ChecksumRetries = 0;
    for (;;) {
        ++ChecksumRetries;
        m_sender.send(QStringLiteral(" EEC 0"), 6);
        if (portGone()) {
            DownloadFailed = true;
            return false;
        }
        if (ChecksumRetries > 5) {
            m_prompter.message(
                QStringLiteral("TYX did not return correct Checksum.\r\n"
                               "This TYX may not be capable of calculating checksums.\r\n"
                               "Please go to the Setup Menu to disable Checksum calculation."),
                PromptIcon::Critical);
            DownloadFailed = true;
            return false;
        }
        GetChecksum();
        if (DeviceChecksum == 0)
            return true;
    }
}

void EepromProtocol::verify()
{
    GetChecksum();
    CompareChecksum();
}

void EepromProtocol::CompareChecksum()
{
    if (portGone()) {
        DownloadFailed = true;
        return;
    }
    if (HiddenFrameVisible)
        Q_EMIT checksumsShown(DownloadSum, DeviceChecksum);
    if (DownloadSum != DeviceChecksum) {
        Q_EMIT progressHideRequested();
        MarkIncomplete();
        m_prompter.message(MismatchText, PromptIcon::Critical);
        DownloadFailed = true;
    }
}

void EepromProtocol::StoreFileDescription(int& address)
{
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    MacroFileName = EepromText::descriptionName(MacroFileName);
    for (int k = 0; k < MemoryMap::NameBytes; ++k) {
        const QString c = MacroFileName.mid(k, 1);
        m_sender.send(::address(address - k) + QLatin1Char(',') + c, 1, End::CrLf);
    }
}

void EepromProtocol::GetChecksum()
{
    DeviceChecksum = EepromText::NoChecksum;
    m_answers.startReading();
    m_sender.send(QStringLiteral(" EEC"), 5);
    DeviceChecksum = EepromText::checksumFromAnswer(readAnswers(1));
}

void EepromProtocol::MarkIncomplete()
{
    if (SkipIncompleteMark)
        return;
    writeMark('I');
}

void EepromProtocol::writeMark(char mark)
{
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    m_sender.send(QStringLiteral(" EEADDR 503,") + QChar::fromLatin1(mark), 10, End::CrLf);
    m_sender.send(QStringLiteral(" EES"), 1, End::CrLf);
    portGone(); // notes a lost port in PortLost
}

void EepromProtocol::Cancel_Macro_Execute()
{
    for (int i = 0; i < 20 && m_link.isOpen(); ++i) {
        m_sender.send(QStringLiteral(" ME 0"), 1);
        m_answers.endReading();
    }
    m_answers.startReading();
}

EepromProtocol::Directory EepromProtocol::ReadTYXDir()
{
    Directory d;
    const auto readByte = [this](int at) { return readAddressed(at, 2, true); };

    m_sender.bareReturn(2);
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    const auto mark = readByte(MemoryMap::ProgramMark);
    if (portGone()) {
        d.outcome = DirectoryOutcome::PortLost;
        return d;
    }
    if (!mark) {
        // Silence is not an empty directory: the controller is not there to say.
        m_prompter.message(noAnswerText(false), PromptIcon::Critical);
        d.outcome = DirectoryOutcome::NoAnswer;
        return d;
    }
    if (mark && (*mark == 'I' || *mark == 'i')) {
        m_prompter.message(QStringLiteral("TYX Programming is incomplete"), PromptIcon::Critical);
        d.outcome = DirectoryOutcome::Incomplete;
        return d;
    }
    const auto countRead = readByte(MemoryMap::CountByte);
    if (portGone()) {
        d.outcome = DirectoryOutcome::PortLost;
        return d;
    }
    if (!countRead) {
        m_prompter.message(noAnswerText(false), PromptIcon::Critical);
        d.outcome = DirectoryOutcome::NoAnswer;
        return d;
    }
    const int count = *countRead;
    if (count > MemoryMap::MaxMacros) {
        m_prompter.message(
            QStringLiteral("The Macro Directory could not be Read or\r\n"
                           "more than 40 macros are stored in the TYX EEprom memory"),
            PromptIcon::Critical);
        d.outcome = DirectoryOutcome::TooMany;
        return d;
    }
    if (count < 1) {
        d.outcome = DirectoryOutcome::Empty;
        return d;
    }

    const int reads = count * MemoryMap::NameBytes;
    for (int i = 0; i < count; ++i) {
        const int slot = MemoryMap::slotAddress(i);
        QString answers;
        // A name read with an answer missing would come out shortened: read it again.
        for (int t = 0; t < ReadTries; ++t) {
            m_answers.startReading();
            for (int k = 0; k < MemoryMap::NameBytes; ++k) {
                m_sender.bareReturn(2);
                m_sender.send(::address(slot - k), 4);
                Q_EMIT progressChanged(
                    std::min(100, (i * MemoryMap::NameBytes + k + 1) * 100 / reads));
                if (CancelRequested || portGone()) {
                    m_answers.endReading();
                    d.outcome = PortLost ? DirectoryOutcome::PortLost : DirectoryOutcome::Cancelled;
                    return d;
                }
            }
            answers = readAnswers(MemoryMap::NameBytes);
            if (ReadBackText::answerCount(answers) >= MemoryMap::NameBytes)
                break;
        }
        d.names << EepromText::nameFromAnswers(answers);
    }
    const bool tableRead = GetEndOfMacro(count);
    if (portGone()) {
        d.outcome = DirectoryOutcome::PortLost;
        return d;
    }
    if (!tableRead || CancelRequested) {
        // A Cancel during the table read ends the read as one during the names does.
        d.outcome = tableRead ? DirectoryOutcome::Cancelled : DirectoryOutcome::Misread;
        return d;
    }
    ReadByteCount = MacroEndAddress - MemoryMap::TextStart;
    d.outcome = DirectoryOutcome::Listed;
    return d;
}

bool EepromProtocol::GetEndOfMacro(int count)
{
    MacroEndAddress = 0;
    if (count <= 0)
        return true;
    m_answers.startReading();
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    m_answers.clearCollected();
    const int at = MemoryMap::tableAddress(count);
    EepromText::TableEntry entry;
    // An entry with an answer missing reads as misread: it is read again first.
    for (int t = 0; t < ReadTries; ++t) {
        if (t > 0)
            m_answers.startReading();
        m_sender.send(::address(at), 2);
        m_sender.send(::address(at + 1), 2);
        const QString answers = readAnswers(2);
        entry = EepromText::tableEntryFromAnswers(answers);
        if (ReadBackText::answerCount(answers) >= 2 || portGone())
            break;
    }
    if (portGone()) {
        ReadByteCount = 0;
        return false;
    }
    if (entry.misread) {
        m_prompter.message(QStringLiteral("EEprom Memory information misread\r\nPlease try again."),
            PromptIcon::Critical);
        ReadByteCount = 0;
        return false;
    }
    MacroEndAddress = entry.address;
    return true;
}

// ------------------------------------------------------------------ runs of memory

QByteArray EepromProtocol::readMemory(int start, int count)
{
    Unanswered.clear();
    if (count < 1)
        return {};
    m_sender.send(QStringLiteral(" EES ") + QString::number(start), 6);
    m_answers.startReading();
    for (int i = 1; i <= count; ++i) {
        if (CancelRequested) {
            m_answers.endReading();
            return {};
        }
        if (portGone())
            return ReadBackText::bytesFromAnswers(m_answers.endReading());
        Q_EMIT progressChanged(int(std::min<qint64>(100, qint64(i) * 100 / count)));
        // Each " EER" is answered with the byte at the current address, which then
        // advances by one.
        m_sender.send(QStringLiteral(" EER"), 2);
    }
    const QString answers = readAnswers(count);
    m_sender.send(QStringLiteral(" EES"), 2);
    const QByteArray bytes = ReadBackText::bytesFromAnswers(answers);
    if (bytes.size() == count || portGone())
        return bytes;
    // An answer went missing, and a run of " EER" cannot tell which: every byte is
    // read again at its own address.
    Q_EMIT labelChanged(QStringLiteral("Reading again.."));
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    QByteArray again;
    for (int i = 0; i < count; ++i) {
        if (CancelRequested) {
            m_sender.send(QStringLiteral(" EES"), 1);
            return {};
        }
        Q_EMIT progressChanged(int(std::min<qint64>(100, qint64(i + 1) * 100 / count)));
        if (const auto b = readAddressed(start + i))
            again.append(char(*b));
        else if (portGone())
            return again;
        else
            Unanswered << start + i;
    }
    m_sender.send(QStringLiteral(" EES"), 1);
    return again;
}

void EepromProtocol::UploadFile(QByteArray& text)
{
    text.clear();
    // A start that is no number reads from address 0.
    const int start = std::max(0, E2promRecord::leadingNumber(ReadStartAddress));
    text = ReadBackText::fileText(readMemory(start, ReadByteCount), ReadAsText);
}

bool EepromProtocol::CheckForIncomplete()
{
    m_sender.send(QStringLiteral(" EEU 4826"), 10);
    m_answers.startReading();
    m_sender.send(::address(MemoryMap::ProgramMark), 2);
    QString text = readAnswers(1);
    const auto mark = EepromText::takeRuleA(text);
    if (!mark || (*mark != 'I' && *mark != 'i'))
        return false;
    m_prompter.message(IncompleteText, PromptIcon::Information);
    return true;
}

void EepromProtocol::writeMemory(int start, const QByteArray& bytes)
{
    m_sender.send(QStringLiteral(" EES ") + QString::number(start), 6);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (CancelRequested || portGone())
            return;
        const int value = quint8(bytes[i]);
        m_sender.send(QStringLiteral(" EEN") + withSign(value), 1);
        addToSum(value);
        m_sender.send(QStringLiteral(" EEW"), 1);
        Q_EMIT progressChanged(int(std::min<qint64>(100, (i + 1) * 100 / bytes.size())));
    }
    m_sender.send(QStringLiteral(" EES"), 1);
}

std::optional<EepromProtocol::Difference> EepromProtocol::firstDifference(
    int start, const QByteArray& written)
{
    const QByteArray read = readMemory(start, int(written.size()));
    if (CancelRequested)
        return std::nullopt;
    // Bytes after an unanswered address are not where they were read from.
    const qsizetype known = Unanswered.isEmpty() ? written.size() : Unanswered.first() - start;
    for (qsizetype i = 0; i < known; ++i) {
        if (i >= read.size() || read[i] != written[i])
            return Difference { start + int(i), quint8(written[i]),
                i < read.size() ? quint8(read[i]) : -1 };
    }
    if (known < written.size())
        return Difference { start + int(known), quint8(written[known]), -1 };
    return std::nullopt;
}

QString EepromProtocol::differenceText(const Difference& d)
{
    return QStringLiteral("Read-back verification failed at address %1: %2 was written, %3.")
        .arg(d.address)
        .arg(d.written)
        .arg(d.read < 0 ? QStringLiteral("the TYX gave no answer")
                        : QStringLiteral("the TYX holds %1").arg(d.read));
}
