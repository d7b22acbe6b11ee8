#include "eepromprotocol.h"

#include "core/prompter.h"
#include "core/text.h"
#include "core/wholefile.h"
#include "eeprom/e2promrecord.h"
#include "eeprom/eepromtext.h"
#include "eeprom/memorymap.h"
#include "eeprom/readbacktext.h"
#include "link/answerchannel.h"
#include "link/commandset.h"
#include "link/pacedsender.h"
#include "link/seriallink.h"
#include "core/operation.h"

#include <QDir>
#include <QFile>

const QString EepromProtocol::MismatchText = QStringLiteral("Download Failed Please try again.");
const QString EepromProtocol::IncompleteText
    = QStringLiteral("The TYX Programming is incomplete and will not Execute.\r\n"
                     "                      Press Ok to Continue.");
const QString EepromProtocol::PortLostText = QStringLiteral(
    "The serial port closed during the exchange with the TYX. Its memory may be incomplete: "
    "check the cable and the port, then download again.");

using End = PacedSender::End;

EepromProtocol::EepromProtocol(PacedSender& sender, AnswerChannel& answers, SerialLink& link,
    Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_sender(sender)
    , m_answers(answers)
    , m_link(link)
    , m_prompter(prompter)
{
    // Connected first, so that the running operation's progress is current for anyone
    // else listening to these signals.
    connect(this, &EepromProtocol::progressChanged, this, [this](int percent) {
        if (m_operation)
            Q_EMIT m_operation->progressChanged(percent);
    });
    connect(this, &EepromProtocol::labelChanged, this, [this](const QString& text) {
        if (m_operation)
            Q_EMIT m_operation->labelChanged(text);
    });
    connect(this, &EepromProtocol::progressHideRequested, this, [this] {
        if (m_operation)
            Q_EMIT m_operation->progressShown(false);
    });
}

EepromProtocol::Session::Session(EepromProtocol& protocol, Operation& operation, bool marksOnCancel)
    : m_protocol(protocol)
{
    protocol.m_operation = &operation;
    protocol.m_marksOnCancel = marksOnCancel;
    protocol.m_portLost = false;
    protocol.m_markedIncomplete = false;
}

EepromProtocol::Session::~Session()
{
    m_protocol.m_operation = nullptr;
    m_protocol.m_marksOnCancel = true;
}

bool EepromProtocol::cancelRequested() const
{
    return m_operation && m_operation->cancelRequested();
}

bool EepromProtocol::portGone()
{
    if (m_link.isOpen())
        return false;
    m_portLost = true;
    return true;
}

QString EepromProtocol::readAnswers(int expected)
{
    m_sender.awaitAnswers([expected](const QString& collected) {
        return ReadBackText::answerCount(collected) >= expected;
    });
    return ReadBackText::withLastAnswerEnded(m_answers.endReading());
}

Outcome EepromProtocol::downloadFile(const QString& fileName, int boot)
{
    m_downloadSum = 0;
    // Whatever stopped the download: a lost port first, then Cancel, then a failure.
    const auto ended = [this](bool failed) {
        if (m_portLost)
            return Outcome(Outcome::PortLost, PortLostText);
        if (cancelRequested())
            return Outcome(Outcome::Cancelled);
        return Outcome(failed ? Outcome::Failed : Outcome::Completed);
    };
    const auto refused = [this] {
        return m_portLost ? Outcome(Outcome::PortLost, PortLostText) : Outcome(Outcome::Refused);
    };

    // "macro.tmp" is read and checked before anything is sent, so that a macro that
    // cannot be stored as prepared leaves the controller's memory as it was.
    const QByteArray macro = workFile();
    if (macro.isEmpty()) {
        m_prompter.message(QStringLiteral("Command file is empty."));
        return refused();
    }
    const EepromText::StoredMacro stored = EepromText::storedMacro(macro);
    if (!stored.refusedLine.isNull()) {
        m_prompter.message(QString::fromLatin1(EepromText::FirstLineText)
                + QStringLiteral("\r\n\r\n") + stored.refusedLine,
            PromptIcon::Critical);
        return refused();
    }
    if (!fitsMemory(stored.bytes.size()) || !probe())
        return refused();

    if (m_verifyDownload && !resetChecksum())
        return ended(true);
    if (cancelRequested())
        return ended(false); // nothing of the program was written yet

    writeHeader(boot, 1, 25);
    if (cancelRequested()) {
        endCancelled();
        return ended(false);
    }
    if (!storeText(stored.bytes, macro.size())) {
        endCancelled();
        return ended(true);
    }
    m_sender.send(Tyx::EndSequence, 1);
    if (portGone())
        return ended(true);

    // The table describes what was stored, which leaves out skipped leading blanks.
    const bool tableWritten = writeDefaultTable(int(stored.bytes.size()));
    if (tableWritten && !cancelRequested()) {
        Q_EMIT labelChanged(QStringLiteral("Saving Directory Info.."));
        storeFileDescription(MemoryMap::DirectoryTop, fileName);
        if (portGone())
            return ended(true);
    }
    if (cancelRequested())
        endCancelled();
    return ended(!tableWritten);
}

void EepromProtocol::endCancelled()
{
    if (cancelRequested() && !portGone())
        markIncomplete();
}

void EepromProtocol::writeHeader(int boot, int count, int textWait)
{
    // Incomplete until finishProgram has checked what was written, and marked so
    // before the boot value and the count change: a download cut off anywhere leaves
    // a program the controller will not run, never the old one under a new count.
    m_sender.send(Tyx::setAddress(MemoryMap::ProgramMark), 6);
    m_sender.send(Tyx::loadData(u'I'), 1);
    m_markedIncomplete = true;
    addToSum('I');
    m_sender.send(Tyx::Write, 1);
    m_sender.send(Tyx::setAddress(MemoryMap::BootByte), 6);
    for (const int value : { boot, count }) {
        m_sender.send(Tyx::loadNumber(value), 1);
        addToSum(value);
        m_sender.send(Tyx::Write, 1);
    }
    m_sender.send(Tyx::setAddress(MemoryMap::TextStart), textWait);
}

bool EepromProtocol::fitsMemory(qsizetype bytes)
{
    const qint64 end = MemoryMap::TextStart + qint64(bytes);
    if (end <= m_memorySize)
        return true;
    m_prompter.message(QStringLiteral("The macros take %1 bytes and would end at address %2, "
                                      "past the end of the TYX memory (%3 bytes). Nothing was "
                                      "written.")
                           .arg(bytes)
                           .arg(end)
                           .arg(m_memorySize),
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
        m_sender.send(Tyx::readAt(at), multiple);
        QString text = readAnswers(1);
        if (const auto b = EepromText::takeRuleA(text))
            return b;
    }
    return std::nullopt;
}

std::optional<int> EepromProtocol::readMark(bool nothingWritten)
{
    m_sender.send(Tyx::Unlock, 10);
    const auto mark = readAddressed(MemoryMap::ProgramMark);
    m_sender.send(Tyx::EndSequence, 1);
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
            markIncomplete();
        if (!m_portLost)
            m_prompter.message(differenceText(d), PromptIcon::Critical);
        return false;
    };
    Q_EMIT labelChanged(QStringLiteral("Checking.."));
    m_sender.send(Tyx::Unlock, 10);
    for (const Run& run : runs) {
        for (qsizetype i = 0; i < run.bytes.size(); ++i) {
            const int at = run.start + int(i);
            const auto read = readAddressed(at);
            if (cancelRequested()) {
                m_sender.send(Tyx::EndSequence, 1);
                endCancelled();
                return false;
            }
            if (read != quint8(run.bytes[i]))
                return fail({ at, quint8(run.bytes[i]), read.value_or(-1) });
        }
    }
    m_sender.send(Tyx::storeAt(MemoryMap::ProgramMark, u'X'), 10, End::CrLf);
    const auto mark = readAddressed(MemoryMap::ProgramMark);
    if (mark != 'X')
        return fail({ MemoryMap::ProgramMark, 'X', mark.value_or(-1) });
    m_sender.send(Tyx::EndSequence, 1);
    return !portGone();
}

EepromProtocol::Run EepromProtocol::nameRun(int top, const QString& descriptionName)
{
    QByteArray name = descriptionName.left(MemoryMap::NameBytes).toLatin1();
    std::reverse(name.begin(), name.end());
    return { top + 1 - int(name.size()), name };
}

QList<EepromProtocol::Run> EepromProtocol::writtenRuns(
    const QByteArray& macro, const QString& fileName, int boot, bool withText)
{
    const QByteArray text = EepromText::storedMacro(macro).bytes;
    const int end = MemoryMap::TextStart + int(text.size());
    const auto bytes = [](std::initializer_list<int> values) {
        QByteArray out;
        for (const int v : values)
            out.append(char(v & 0xFF));
        return out;
    };
    QList<Run> runs {
        nameRun(MemoryMap::DirectoryTop, EepromText::descriptionName(fileName)),
        { MemoryMap::BootByte, bytes({ boot, 1, 'I' }) },
        { MemoryMap::TableStart,
            bytes(
                { MemoryMap::TextStart / 256, MemoryMap::TextStart % 256, end / 256, end % 256 }) },
    };
    if (withText)
        runs.append({ MemoryMap::TextStart, text });
    return runs;
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
        QDir(m_workingDir).filePath(QStringLiteral("macro.tmp")), 1024 * 1024, &why)
        .value_or(QByteArray());
}

bool EepromProtocol::storeText(const QByteArray& bytes, qsizetype fileSize)
{
    int counter = 6;
    for (char byte : bytes) {
        if (portGone())
            return false;
        m_sender.send(Tyx::loadCharacter(QChar(quint8(byte))), 1);
        addToSum(quint8(byte));
        ++counter;
        m_sender.send(Tyx::Write, 1);
        Q_EMIT progressChanged(int(std::min<double>(100, counter * 1.3 / double(fileSize) * 100)));
        if (cancelRequested())
            return false;
    }
    return true;
}

void EepromProtocol::downloadMacro()
{
    const QByteArray macro = workFile();
    m_sender.waitTicks(25 * m_downloadDelay);
    if (macro.isEmpty()) {
        m_prompter.message(QStringLiteral("Command file is empty."));
        return;
    }
    // The combination download refuses a macro whose first line does not begin with
    // the node address before it sends anything, so what is stored here is the whole
    // file and its size and jump addresses hold.
    const EepromText::StoredMacro stored = EepromText::storedMacro(macro);
    if (storeText(stored.bytes, macro.size()))
        portGone(); // notes a lost port
}

bool EepromProtocol::writeDefaultTable(int size)
{
    m_sender.send(Tyx::setAddress(MemoryMap::TableStart), 6);
    for (const int v : { MemoryMap::TextStart, MemoryMap::TextStart + size }) {
        const int high = v / 256;
        const int low = v % 256;
        m_sender.sendByCharacter(Tyx::loadNumber(high), 2);
        addToSum(high);
        m_sender.send(Tyx::Write, 2);
        m_sender.sendByCharacter(Tyx::loadNumber(low), 2);
        addToSum(low);
        m_sender.sendTicks(Tyx::Write, m_downloadDelay + 1);
    }
    if (portGone())
        return false;
    return !m_verifyDownload || compareChecksum(readChecksum());
}

bool EepromProtocol::resetChecksum()
{
    for (int tries = 1;; ++tries) {
        m_sender.send(Tyx::ChecksumReset, 6);
        if (portGone())
            return false;
        if (tries > 5) {
            m_prompter.message(
                QStringLiteral("TYX did not return correct Checksum.\r\n"
                               "This TYX may not be capable of calculating checksums.\r\n"
                               "Please go to the Setup Menu to disable Checksum calculation."),
                PromptIcon::Critical);
            return false;
        }
        if (readChecksum() == 0)
            return true;
    }
}

bool EepromProtocol::compareChecksum(int deviceChecksum)
{
    if (portGone())
        return false;
    Q_EMIT checksumsShown(m_downloadSum, deviceChecksum);
    if (m_downloadSum == deviceChecksum)
        return true;
    Q_EMIT progressHideRequested();
    markIncomplete();
    m_prompter.message(MismatchText, PromptIcon::Critical);
    return false;
}

QString EepromProtocol::storeFileDescription(int top, const QString& fileName)
{
    m_sender.send(Tyx::Unlock, 10);
    const QString name = EepromText::descriptionName(fileName);
    for (int k = 0; k < MemoryMap::NameBytes; ++k) {
        const QString c = name.mid(k, 1);
        m_sender.send(Tyx::writeAt(top - k, c), 1, End::CrLf);
    }
    return name;
}

int EepromProtocol::readChecksum()
{
    m_answers.startReading();
    m_sender.send(Tyx::ChecksumQuery, 5);
    return EepromText::checksumFromAnswer(readAnswers(1));
}

void EepromProtocol::markIncomplete()
{
    if (m_marksOnCancel)
        writeMark('I');
}

void EepromProtocol::writeMark(char mark)
{
    m_markedIncomplete = mark == 'I';
    m_sender.send(Tyx::Unlock, 10);
    m_sender.send(Tyx::storeAt(MemoryMap::ProgramMark, QChar::fromLatin1(mark)), 10, End::CrLf);
    m_sender.send(Tyx::EndSequence, 1, End::CrLf);
    portGone(); // notes a lost port
}

void EepromProtocol::stopMacros()
{
    for (int i = 0; i < 20 && m_link.isOpen(); ++i) {
        m_sender.send(Tyx::runMacro(0), 1);
        m_answers.endReading();
    }
    m_answers.startReading();
}

EepromProtocol::Directory EepromProtocol::readDirectory()
{
    Directory d;
    const auto readByte = [this](int at) { return readAddressed(at, 2, true); };

    m_sender.bareReturn(2);
    m_sender.send(Tyx::Unlock, 10);
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
                m_sender.send(Tyx::readAt(slot - k), 4);
                Q_EMIT progressChanged(
                    std::min(100, (i * MemoryMap::NameBytes + k + 1) * 100 / reads));
                if (cancelRequested() || portGone()) {
                    m_answers.endReading();
                    d.outcome
                        = m_portLost ? DirectoryOutcome::PortLost : DirectoryOutcome::Cancelled;
                    return d;
                }
            }
            answers = readAnswers(MemoryMap::NameBytes);
            if (ReadBackText::answerCount(answers) >= MemoryMap::NameBytes)
                break;
        }
        d.names << EepromText::nameFromAnswers(answers);
    }
    const auto end = macroEnd(count);
    if (portGone()) {
        d.outcome = DirectoryOutcome::PortLost;
        return d;
    }
    if (!end || cancelRequested()) {
        // A Cancel during the table read ends the read as one during the names does.
        d.outcome = end ? DirectoryOutcome::Cancelled : DirectoryOutcome::Misread;
        return d;
    }
    d.endAddress = *end;
    d.bytesStored = *end - MemoryMap::TextStart;
    d.outcome = DirectoryOutcome::Listed;
    return d;
}

std::optional<int> EepromProtocol::macroEnd(int count)
{
    if (count <= 0)
        return 0;
    m_answers.startReading();
    m_sender.send(Tyx::Unlock, 10);
    m_answers.clearCollected();
    const int at = MemoryMap::tableAddress(count);
    EepromText::TableEntry entry;
    // An entry with an answer missing reads as misread: it is read again first.
    for (int t = 0; t < ReadTries; ++t) {
        if (t > 0)
            m_answers.startReading();
        m_sender.send(Tyx::readAt(at), 2);
        m_sender.send(Tyx::readAt(at + 1), 2);
        const QString answers = readAnswers(2);
        entry = EepromText::tableEntryFromAnswers(answers);
        if (ReadBackText::answerCount(answers) >= 2 || portGone())
            break;
    }
    if (portGone())
        return std::nullopt;
    if (entry.misread) {
        m_prompter.message(QStringLiteral("EEprom Memory information misread\r\nPlease try again."),
            PromptIcon::Critical);
        return std::nullopt;
    }
    return entry.address;
}

// ------------------------------------------------------------------ runs of memory

QByteArray EepromProtocol::readMemory(int start, int count)
{
    m_unanswered.clear();
    if (count < 1)
        return {};
    m_sender.send(Tyx::setAddress(start), 6);
    m_answers.startReading();
    for (int i = 1; i <= count; ++i) {
        if (cancelRequested()) {
            m_answers.endReading();
            return {};
        }
        if (portGone())
            return ReadBackText::bytesFromAnswers(m_answers.endReading());
        Q_EMIT progressChanged(int(std::min<qint64>(100, qint64(i) * 100 / count)));
        // Each " EER" is answered with the byte at the current address, which then
        // advances by one.
        m_sender.send(Tyx::Read, 2);
    }
    const QString answers = readAnswers(count);
    m_sender.send(Tyx::EndSequence, 2);
    const QByteArray bytes = ReadBackText::bytesFromAnswers(answers);
    if (bytes.size() == count || portGone())
        return bytes;
    // An answer went missing, and a run of " EER" cannot tell which: every byte is
    // read again at its own address.
    Q_EMIT labelChanged(QStringLiteral("Reading again.."));
    m_sender.send(Tyx::Unlock, 10);
    QByteArray again;
    for (int i = 0; i < count; ++i) {
        if (cancelRequested()) {
            m_sender.send(Tyx::EndSequence, 1);
            return {};
        }
        Q_EMIT progressChanged(int(std::min<qint64>(100, qint64(i + 1) * 100 / count)));
        if (const auto b = readAddressed(start + i))
            again.append(char(*b));
        else if (portGone())
            return again;
        else
            m_unanswered << start + i;
    }
    m_sender.send(Tyx::EndSequence, 1);
    return again;
}

QByteArray EepromProtocol::readText(int start, int count, bool asText)
{
    return ReadBackText::fileText(readMemory(std::max(0, start), count), asText);
}

bool EepromProtocol::checkForIncomplete()
{
    m_sender.send(Tyx::Unlock, 10);
    m_answers.startReading();
    m_sender.send(Tyx::readAt(MemoryMap::ProgramMark), 2);
    QString text = readAnswers(1);
    const auto mark = EepromText::takeRuleA(text);
    if (!mark || (*mark != 'I' && *mark != 'i'))
        return false;
    m_prompter.message(IncompleteText, PromptIcon::Information);
    return true;
}

void EepromProtocol::writeMemory(int start, const QByteArray& bytes)
{
    m_sender.send(Tyx::setAddress(start), 6);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (cancelRequested() || portGone())
            return;
        const int value = quint8(bytes[i]);
        m_sender.send(Tyx::loadNumber(value), 1);
        addToSum(value);
        m_sender.send(Tyx::Write, 1);
        Q_EMIT progressChanged(int(std::min<qint64>(100, (i + 1) * 100 / bytes.size())));
    }
    m_sender.send(Tyx::EndSequence, 1);
}

std::optional<EepromProtocol::Difference> EepromProtocol::firstDifference(
    int start, const QByteArray& written)
{
    const QByteArray read = readMemory(start, int(written.size()));
    if (cancelRequested())
        return std::nullopt;
    // Bytes after an unanswered address are not where they were read from.
    const qsizetype known = m_unanswered.isEmpty() ? written.size() : m_unanswered.first() - start;
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
