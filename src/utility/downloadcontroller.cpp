#include "downloadcontroller.h"

#include "combinationcontroller.h"

#include "core/numbers.h"
#include "core/operation.h"
#include "core/prompter.h"
#include "core/text.h"
#include "core/ticktimer.h"
#include "core/wholefile.h"
#include "eeprom/eepromtext.h"
#include "eeprom/memorymap.h"
#include "link/answerchannel.h"
#include "link/commandset.h"
#include "link/trafficrecorder.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

const QString DownloadController::CompletionText = QStringLiteral(
    "                   Download complete.\r\nYou must reset the TYX for changes to take "
    "effect.\r\nWould you like to Reset the unit Now?");
const QString DownloadController::CancelledText
    = QStringLiteral("Download cancelled. The TYX program is marked incomplete and will not run "
                     "until the next complete download.");
const QString DownloadController::CancelledUnwrittenText = QStringLiteral(
    "Download cancelled before anything was written: the TYX program is as it was.");
const QString DownloadController::UnverifiedLine
    = QStringLiteral("The macro text itself was not verified (no checksum, no read-back).");
const QString DownloadController::UploadPortText = QStringLiteral("Port Not configured for Upload");
const QString DownloadController::SelectText
    = QStringLiteral("Be sure to select a file/macro by clicking on it and highlighting it");
const QString DownloadController::ListFullText
    = QStringLiteral("The Read Back List holds at most 255 macros.");
const QString DownloadController::MemoryPortLostText
    = QStringLiteral("The serial port closed while the TYX memory was read.");
const QString DownloadController::ReadPortLostText
    = QStringLiteral("The serial port closed while the TYX directory was read.");

using DirectoryOutcome = EepromProtocol::DirectoryOutcome;

DownloadController::DownloadController(TerminalCore& core_, Prompter& prompter_, QObject* parent)
    : QObject(parent)
    , core(core_)
    , prompter(prompter_)
    , ticks(TickTimer::instance())
    , combo(*new CombinationController(*this, this))
    , m_sender(core_.link(), core_.answers(), TickTimer::instance())
    , m_protocol(m_sender, core_.answers(), core_.link(), prompter_)
    , m_prep(prompter_)
{
    m_sender.node = [this] { return m_node; };
    m_sender.downloadDelay = [this] { return m_protocol.downloadDelay(); };
    connect(&m_runner, &OperationRunner::progressChanged, this, &DownloadController::update);
    connect(&m_runner, &OperationRunner::busyChanged, this, &DownloadController::update);
    markOperations(m_runner, core_.link().traffic());
    core_.holdPortWhileBusy(m_runner);
    connect(
        &m_protocol, &EepromProtocol::checksumsShown, this, [this](int calculated, int received) {
            m_checksumFrame.calculated = QString::number(calculated);
            m_checksumFrame.received = QString::number(received);
            update();
        });
}

DownloadController::~DownloadController()
{
    if (m_shown)
        exitall();
}

QString DownloadController::workingDir() const
{
    return core.cfg.chosenDir.isEmpty() ? core.settings.record.WorkingDir : core.cfg.chosenDir;
}

QString DownloadController::e2promPath() const
{
    // The file belongs to the directory the program started in.
    const QString dir = core.downloadDir().isEmpty() ? workingDir() : core.downloadDir();
    return QDir(dir).filePath(E2promRecord::fileName());
}

void DownloadController::setDelay(int delay)
{
    m_delay = delay;
    m_protocol.setDownloadDelay(2 * m_delay);
}

bool DownloadController::loadE2prom(bool createMissing)
{
    // A record is 500 bytes; a file far larger is no record.
    constexpr qint64 MaxE2promBytes = 1024 * 1024;
    QString why;
    ReadRefusal refusal = ReadRefusal::None;
    QByteArray bytes
        = readRegularFile(e2promPath(), MaxE2promBytes, &why, &refusal).value_or(QByteArray());
    if (refusal == ReadRefusal::Missing && createMissing)
        writeFileAtomically(e2promPath(), {}, &why);
    const bool read = refusal == ReadRefusal::None || refusal == ReadRefusal::Missing;
    if (!read)
        prompter.message(QStringLiteral("The download settings could not be read from %1: %2")
                             .arg(QDir::toNativeSeparators(e2promPath()), why),
            PromptIcon::Critical);
    bytes.truncate(E2promRecord::Size);
    m_e2prom = E2promRecord::parse(bytes);
    setDelay(m_e2prom.Delay);
    m_delayText = QString::number(m_delay);
    m_node = m_e2prom.TxTNode;
    m_checksumsEnabled = m_e2prom.EnableCksumChk == 1;
    m_protocol.setVerifiesDownload(m_e2prom.VerifyDownload);
    return read;
}

void DownloadController::load()
{
    m_readBackAsText = true;
    m_protocol.setWorkingDir(workingDir());
    m_prep.setWorkingDir(workingDir());
    refreshFilelist();
    m_e2promRefused = !loadE2prom(m_createE2prom);
    ticks.setPeriodMs(m_delay);
    ticks.start();
    core.setPortReady(true);
    // "Download File" of the main window carries its choice; "Download" takes the first.
    m_downloadFileName.clear();
    const QString& chosen = core.downloadChoice();
    for (const QString& file : std::as_const(m_downloadFiles)) {
        if (file.compare(chosen, Qt::CaseInsensitive) == 0
            && (m_downloadFileName.isEmpty() || file == chosen))
            m_downloadFileName = file;
    }
    if (m_downloadFileName.isEmpty() && !m_downloadFiles.isEmpty())
        m_downloadFileName = m_downloadFiles.first();
    m_statusText.clear();
    m_panels.download = true;
    m_panels.upload = false;
    m_panels.combination = false;
    m_shown = true;
    // The receive handler hands the download window its answers while it is shown,
    // and the main window waits disabled.
    core.answers().setDownloadBranch(true);
    core.setWindowEnabled(false);
    Q_EMIT core.viewChanged();
    update();
}

void DownloadController::relistFiles()
{
    refreshFilelist();
}

void DownloadController::refreshFilelist()
{
    QDir dir(workingDir());
    const QStringList files = dir.entryList({ QStringLiteral("*.cmd"), QStringLiteral("*.txt") },
        QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    assign(m_downloadFiles, files);
}

void DownloadController::toggleChecksumFrame()
{
    m_checksumFrame.visible = !m_checksumFrame.visible;
    update();
}

void DownloadController::exitall()
{
    if (!m_shown)
        return;
    m_shown = false;
    core.setWindowEnabled(true);
    ticks.stop();
    m_settingsVisible = false;
    m_specialVisible = false;
    core.answers().setDownloadBranch(false);
    core.answers().endReading();
    // A wait still running (Exit pressed while a download waits) ends with the timer,
    // and the operation stops there.
    m_runner.cancel();
    Q_EMIT core.viewChanged();
    update();
    Q_EMIT closed();
}

void DownloadController::showUploadPanel()
{
    m_panels.upload = true;
    m_panels.download = false;
    m_panels.combination = false;
    m_readBackFile = QStringLiteral("Temporary.cmd");
    Q_EMIT focusRequested(QStringLiteral("Filename2"));
    update();
}

void DownloadController::showDownloadPanel()
{
    m_panels.download = true;
    m_downloadFileName.clear();
    m_panels.upload = false;
    m_panels.combination = false;
    Q_EMIT focusRequested(QStringLiteral("Filename"));
    refreshFilelist();
    update();
}

void DownloadController::showHelp()
{
    Q_EMIT helpRequested();
}

void DownloadController::showCombinationPanel()
{
    m_panels.combination = true;
    m_panels.download = false;
    m_panels.upload = false;
    combo.relistCommandFiles();
    combo.fillChooser();
    update();
}

void DownloadController::selectDownloadFile(int index)
{
    if (index < 0 || index >= m_downloadFiles.size())
        return;
    m_downloadFileName = m_downloadFiles.at(index);
    update();
}

void DownloadController::editFile(const QString& name)
{
    if (name.isEmpty()) {
        prompter.message(QStringLiteral("Please select a file or Enter new file name!"));
        return;
    }
    QString why;
    if (!m_editor.open(QDir(workingDir()).filePath(name), &why))
        prompter.message(why, PromptIcon::Exclamation);
}

void DownloadController::editDownloadFile()
{
    editFile(m_downloadFileName);
}

void DownloadController::editReadBackFile()
{
    editFile(m_readBackFile);
}

void DownloadController::deleteDownloadFile()
{
    const QString path = QDir(workingDir()).filePath(m_downloadFileName);
    if (m_downloadFileName.isEmpty() || !QFileInfo(path).isFile()) {
        prompter.message(
            QStringLiteral("There is no file \"%1\" to delete.").arg(m_downloadFileName),
            PromptIcon::Exclamation);
    } else if (prompter.ask(QStringLiteral("Are you sure you want to delete ") + m_downloadFileName
                       + QStringLiteral("?"),
                   PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No)
        == PromptAnswer::Yes) {
        if (!QFile::remove(path))
            prompter.message(
                QStringLiteral("%1 could not be deleted.").arg(path), PromptIcon::Critical);
    }
    m_downloadFileName.clear();
    refreshFilelist();
    update();
}

// ------------------------------------------------------------------ download

// "Download File" of one command file: "macro.tmp" prepared from it, written, checked
// (with a read-back of every byte when asked) and marked complete.
class DownloadController::FileDownload final : public Operation
{
public:
    FileDownload(
        DownloadController& c, const QString& fileName, bool executeOnBoot, bool verifyReadback)
        : m_c(c)
        , m_fileName(fileName)
        , m_boot(executeOnBoot ? -1 : 0)
        , m_verifyReadback(verifyReadback)
    {
    }
    QString label() const override { return QStringLiteral("Downloading.."); }
    Outcome run() override;

private:
    // Reads back every byte of `runs`; false (the memory marked incomplete, after the
    // message for a difference) when one differs, is unanswered or Cancel came.
    bool readBack(const QList<EepromProtocol::Run>& runs);

    DownloadController& m_c;
    QString m_fileName;
    int m_boot;
    bool m_verifyReadback;
};

Outcome DownloadController::FileDownload::run()
{
    EepromProtocol& p = m_c.m_protocol;
    const EepromProtocol::Session session(p, *this, true);
    m_c.m_prep.setWorkingDir(m_c.workingDir());
    p.setWorkingDir(m_c.workingDir());
    m_c.m_prep.MacroBaseAddress = 0;
    m_c.m_prep.MacroFileName = m_fileName;
    QString name = m_fileName;
    const PrepResult prepared = m_c.m_prep.PrepFile(name);
    // Anything but a prepared macro has said why, and nothing was sent.
    if (asciiUpper(name) == MacroPrep::notFound()) {
        Q_EMIT progressShown(false);
        m_c.prompter.message(QStringLiteral(" Please select a file"), PromptIcon::Critical);
        return Outcome::Refused;
    }
    // Anything else (empty, refused, unwritable) has said so, and "macro.tmp" may
    // still hold an earlier macro that must not be sent in its place.
    if (prepared != PrepResult::Prepared)
        return Outcome::Refused;
    Outcome outcome = p.downloadFile(m_fileName, m_boot);
    if (outcome == Outcome::Completed) {
        m_c.m_sender.sendTicks(Tyx::EndSequence, 0);
        // "macro.tmp" read once for both: the final check leaves the text out.
        QList<EepromProtocol::Run> runs
            = EepromProtocol::writtenRuns(p.workFile(), m_fileName, m_boot, m_verifyReadback);
        const bool checked = !m_verifyReadback || readBack(runs);
        if (m_verifyReadback)
            runs.removeLast();
        if (checked && p.finishProgram(runs))
            outcome = Outcome::Completed;
        else if (p.portLost())
            outcome = { Outcome::PortLost, EepromProtocol::PortLostText };
        else
            outcome = p.cancelRequested() ? Outcome::Cancelled : Outcome::Failed;
    }
    Q_EMIT progressShown(false);
    if (outcome == Outcome::PortLost)
        m_c.prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
    if (outcome == Outcome::Completed)
        m_c.askForReset(p.verifiesDownload() || m_verifyReadback);
    return outcome;
}

bool DownloadController::FileDownload::readBack(const QList<EepromProtocol::Run>& runs)
{
    EepromProtocol& p = m_c.m_protocol;
    Q_EMIT labelChanged(QStringLiteral("Reading back.."));
    for (const auto& [start, run] : runs) {
        const auto d = p.firstDifference(start, run);
        if (p.cancelRequested()) {
            p.markIncomplete();
            return false;
        }
        if (p.portLost())
            return false;
        if (d) {
            Q_EMIT progressShown(false);
            p.markIncomplete();
            m_c.prompter.message(EepromProtocol::differenceText(*d), PromptIcon::Critical);
            return false;
        }
    }
    return true;
}

void DownloadController::downloadFile()
{
    m_lastDownload = Outcome::Refused;
    if (!core.link().isOpen()) {
        prompter.message(TerminalCore::PortClosedText, PromptIcon::Critical);
        return;
    }
    if (!m_checksumsEnabled)
        prompter.message(QStringLiteral("Please note this Download will not use Checksums!"),
            PromptIcon::Information);
    FileDownload download(*this, m_downloadFileName, m_executeOnBoot, m_verifyReadback);
    m_lastDownload = m_runner.run(download);
    tellEnded(m_lastDownload);
}

void DownloadController::tellEnded(const Outcome& outcome)
{
    if (!m_tellsOperator || outcome != Outcome::Cancelled)
        return;
    prompter.message(m_protocol.markedIncomplete() ? CancelledText : CancelledUnwrittenText,
        PromptIcon::Information);
}

int DownloadController::downloadFileIndex() const
{
    if (m_downloadFileName.isEmpty())
        return -1;
    const qsizetype exact = m_downloadFiles.indexOf(m_downloadFileName);
    if (exact >= 0)
        return int(exact);
    return int(m_downloadFiles.indexOf(QRegularExpression(
        QStringLiteral("^%1$").arg(QRegularExpression::escape(m_downloadFileName)),
        QRegularExpression::CaseInsensitiveOption)));
}

void DownloadController::setStatusText(const QString& text)
{
    assign(m_statusText, text);
}

QString DownloadController::completionText(bool textVerified)
{
    if (textVerified)
        return CompletionText;
    QString text = CompletionText;
    return text.replace(QStringLiteral("Download complete.\r\n"),
        QStringLiteral("Download complete.\r\n") + UnverifiedLine + QStringLiteral("\r\n"));
}

void DownloadController::askForReset(bool textVerified)
{
    if (prompter.ask(completionText(textVerified), PromptButtons::YesNoCancel, PromptIcon::Question,
            PromptAnswer::Yes)
        == PromptAnswer::Yes)
        m_sender.sendTicks(Tyx::Reset, 0);
}

void DownloadController::stopMacros()
{
    m_protocol.stopMacros();
    m_prep.MacroText.clear();
}

// ------------------------------------------------------------------ directory

// "   Read TYX         Directory": the stored names and where the last macro ends.
class DownloadController::DirectoryRead final : public Operation
{
public:
    explicit DirectoryRead(DownloadController& c)
        : m_c(c)
    {
    }
    QString label() const override { return QStringLiteral("Uploading Directory.."); }
    Outcome run() override
    {
        const EepromProtocol::Session session(m_c.m_protocol, *this, false);
        directory = m_c.m_protocol.readDirectory();
        switch (directory.outcome) {
        case DirectoryOutcome::Listed:
        case DirectoryOutcome::Empty:
            return Outcome::Completed;
        case DirectoryOutcome::Cancelled:
            return Outcome::Cancelled;
        case DirectoryOutcome::PortLost:
            Q_EMIT progressShown(false);
            m_c.prompter.message(ReadPortLostText, PromptIcon::Critical);
            return { Outcome::PortLost, ReadPortLostText };
        default:
            return Outcome::Failed;
        }
    }

    EepromProtocol::Directory directory;

private:
    DownloadController& m_c;
};

void DownloadController::readDirectory()
{
    m_lastDirectory = DirectoryOutcome::Empty;
    if (!core.link().isOpen()) {
        prompter.message(UploadPortText, PromptIcon::Critical);
        return;
    }
    m_storedMacros.clear();
    update();

    DirectoryRead read(*this);
    m_runner.run(read);
    const EepromProtocol::Directory& d = read.directory;
    m_lastDirectory = d.outcome;
    switch (d.outcome) {
    case DirectoryOutcome::Listed:
        m_storedMacros += d.names;
        m_bytesStoredText = withSign(d.bytesStored);
        m_macrosEnd = d.endAddress;
        m_readBackList.clear();
        break;
    case DirectoryOutcome::Incomplete:
    case DirectoryOutcome::Misread:
    case DirectoryOutcome::NoAnswer:
        m_storedMacros.clear();
        m_readBackList.clear();
        m_bytesStoredText.clear();
        break;
    case DirectoryOutcome::Cancelled:
        m_storedMacros += d.names;
        m_readBackList.clear();
        break;
    case DirectoryOutcome::PortLost:
        m_storedMacros += d.names;
        break;
    case DirectoryOutcome::TooMany:
    case DirectoryOutcome::Empty:
        break;
    }
    update();
}

// ------------------------------------------------------------------ read back

bool DownloadController::uploadPortReady()
{
    if (core.link().isOpen())
        return true;
    // A port that was open and went away is a cut line, not a setup to correct.
    prompter.message(
        core.link().wasLost() ? MemoryPortLostText : UploadPortText, PromptIcon::Critical);
    return false;
}

void DownloadController::addToReadBackList()
{
    if (m_storedIndex < 0 || m_storedIndex >= m_storedMacros.size()) {
        prompter.message(SelectText, PromptIcon::Exclamation);
        return;
    }
    // A read-back reads at most this many ranges.
    if (m_readBackList.size() >= MaxReadBackEntries) {
        prompter.message(ListFullText, PromptIcon::Exclamation);
        return;
    }
    m_readBackList.append(m_storedMacros.at(m_storedIndex));
    update();
}

void DownloadController::removeFromReadBackList()
{
    if (m_readBackIndex < 0 || m_readBackIndex >= m_readBackList.size()) {
        prompter.message(SelectText, PromptIcon::Exclamation);
        return;
    }
    m_readBackList.removeAt(m_readBackIndex);
    if (m_readBackIndex >= m_readBackList.size())
        m_readBackIndex = int(m_readBackList.size()) - 1;
    update();
}

void DownloadController::selectAllForReadBack()
{
    m_readBackList = m_storedMacros.mid(0, MaxReadBackEntries);
    update();
    if (m_storedMacros.isEmpty() || !uploadPortReady())
        return;
    if (!m_protocol.macroEnd(int(m_storedMacros.size()))) {
        if (core.link().isOpen()) {
            m_storedMacros.clear();
            m_readBackList.clear();
            m_bytesStoredText.clear();
        }
        update();
        return;
    }
    m_sender.waitTicks(50);
}

// "Read Back": the table read for the listed macros, then their text into one file.
class DownloadController::ReadBack final : public Operation
{
public:
    explicit ReadBack(DownloadController& c)
        : m_c(c)
    {
    }
    QString label() const override { return QStringLiteral("Preparing TYX for Upload.."); }
    Outcome run() override
    {
        const EepromProtocol::Session session(m_c.m_protocol, *this, false);
        const Outcome outcome = read();
        Q_EMIT progressShown(false);
        if (outcome == Outcome::PortLost)
            m_c.prompter.message(MemoryPortLostText, PromptIcon::Critical);
        return outcome;
    }

private:
    Outcome read();

    DownloadController& m_c;
};

Outcome DownloadController::ReadBack::read()
{
    EepromProtocol& p = m_c.m_protocol;
    QStringList& storedMacros = m_c.m_storedMacros;
    const QStringList& readBackList = m_c.m_readBackList;
    // 0: the text start; n: the end of macro n.
    std::array<int, 256> macroEnds {};
    macroEnds[0] = MemoryMap::TextStart;
    const int stored = int(std::min<qsizetype>(storedMacros.size(), macroEnds.size() - 2));
    for (int n = 1; n <= stored && !p.cancelRequested(); ++n) {
        const auto end = p.macroEnd(n);
        if (!end) {
            if (p.portLost())
                return { Outcome::PortLost, MemoryPortLostText };
            // The table cannot be trusted: nothing is read, and the file stays as it was.
            storedMacros.clear();
            m_c.m_readBackList.clear();
            m_c.m_bytesStoredText.clear();
            return Outcome::Failed;
        }
        macroEnds[size_t(n)] = *end;
    }

    struct Range
    {
        int start = 0;
        int end = 0;
    };
    const int entries = int(std::min<qsizetype>(readBackList.size(), MaxReadBackEntries));
    QList<Range> ranges;
    for (int r = 0; r < entries; ++r) {
        const QString& b = readBackList.at(r);
        // An entry without an equal name reads nothing, not an earlier entry's range.
        Range range;
        for (int j = 0; j < stored; ++j) {
            const QString& a = storedMacros.at(j);
            if (a.size() > 1 && b.size() > 1 && a == b)
                range = { macroEnds[size_t(j)], macroEnds[size_t(j) + 1] };
        }
        ranges << range;
    }

    Q_EMIT labelChanged(QStringLiteral("Uploading.."));
    QByteArray result;
    for (const Range& range : std::as_const(ranges)) {
        if (p.cancelRequested() || p.portLost())
            break;
        const QByteArray text
            = p.readText(range.start, range.end - range.start, m_c.m_readBackAsText);
        if (!p.unanswered().isEmpty()) {
            // A file with bytes left out would be a wrong macro: the old one stays.
            Q_EMIT progressShown(false);
            m_c.prompter.message(EepromProtocol::unansweredText(p.unanswered())
                    + QStringLiteral(" %1 was not written.").arg(m_c.m_readBackFile),
                PromptIcon::Critical);
            return Outcome::Failed;
        }
        result += text;
    }
    // Only a whole read replaces the file.
    if (p.portLost())
        return { Outcome::PortLost, MemoryPortLostText };
    if (p.cancelRequested())
        return Outcome::Cancelled;
    return m_c.writeWholeFile(m_c.m_readBackFile, result) ? Outcome::Completed : Outcome::Failed;
}

bool DownloadController::writeWholeFile(const QString& name, const QByteArray& text)
{
    const QString path = QDir(workingDir()).filePath(name);
    QString why = QStringLiteral("no file name");
    if (name.trimmed().isEmpty() || !writeFileAtomically(path, text, &why)) {
        prompter.message(
            QStringLiteral("%1 could not be written: %2").arg(QDir::toNativeSeparators(path), why),
            PromptIcon::Critical);
        return false;
    }
    return true;
}

void DownloadController::readBack()
{
    m_lastReadBack = Outcome::Refused;
    if (!uploadPortReady())
        return;
    if (m_readBackList.isEmpty() || m_readBackList.first().isEmpty()) {
        prompter.message(QStringLiteral("Read Back List Empty!"), PromptIcon::Critical);
        return;
    }
    // Without a target the whole read would be lost after it.
    if (m_readBackFile.trimmed().isEmpty()) {
        writeWholeFile(m_readBackFile, {});
        return;
    }
    // Only a file that is there can be overwritten; the scratch file never asks.
    if (!asciiUpper(m_readBackFile).contains(QLatin1String("TEMPORARY.CMD"))
        && QFileInfo::exists(QDir(workingDir()).filePath(m_readBackFile))
        && prompter.ask(QStringLiteral("Are you sure you want to Overwrite ") + m_readBackFile
                   + QStringLiteral("?"),
               PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No)
            != PromptAnswer::Yes)
        return;
    ReadBack read(*this);
    m_lastReadBack = m_runner.run(read);
    refreshFilelist();
    update();
}

void DownloadController::setDownloadFileName(const QString& name)
{
    assign(m_downloadFileName, name);
}

void DownloadController::setExecuteOnBoot(bool on)
{
    assign(m_executeOnBoot, on);
}

void DownloadController::setReadBackFile(const QString& name)
{
    assign(m_readBackFile, name);
}

void DownloadController::setReadBackList(const QStringList& names)
{
    assign(m_readBackList, names.mid(0, MaxReadBackEntries));
}

void DownloadController::setReadBackAsText(bool on)
{
    assign(m_readBackAsText, on);
}

void DownloadController::setStoredIndex(int index)
{
    assign(m_storedIndex, index);
}

void DownloadController::setReadBackIndex(int index)
{
    assign(m_readBackIndex, index);
}

void DownloadController::setNode(const QString& node)
{
    assign(m_node, node);
}

void DownloadController::setChecksumsEnabled(bool on)
{
    assign(m_checksumsEnabled, on);
}

void DownloadController::closeSpecialFunctions()
{
    m_specialVisible = false;
    update();
}

void DownloadController::openSpecialFunctions()
{
    m_specialVisible = true;
    update();
}

bool DownloadController::windowEnabled() const
{
    return !busy() && !m_specialVisible && !m_settingsVisible;
}

void DownloadController::cancelOperation()
{
    // Only the request: the running operation ends its own way, after the byte in
    // flight (a download then marks the memory incomplete itself).
    m_runner.cancel();
}

// ------------------------------------------------------------------ DownloadSettingsDialog

void DownloadController::openDownloadSettings()
{
    loadDownloadSettings();
    m_settingsShown = { m_delay, m_node, m_checksumsEnabled, m_protocol.verifiesDownload() };
    m_settingsVisible = true;
    update();
}

void DownloadController::loadDownloadSettings()
{
    // A record never read from a file (all "X") holds no settings: the defaults that
    // loading an empty file gave stay, instead of a delay read from "XX".
    if (m_e2prom.record != E2promRecord().record) {
        const E2promRecord r = E2promRecord::parse(m_e2prom.record);
        setDelay(r.Delay);
        m_node = r.TxTNode;
        m_checksumsEnabled = r.EnableCksumChk == 1;
        m_protocol.setVerifiesDownload(r.VerifyDownload);
    }
    m_delayText = QString::number(m_delay);
    m_portLabel = QStringLiteral("COM%1").arg(core.cfg.comPort);
    m_baudLabel = QStringLiteral("%1,n,8,1").arg(core.cfg.baudRate);
}

void DownloadController::setDelayText(const QString& text)
{
    if (text == m_delayText)
        return;
    m_delayText = text;
    // A delay being typed counts from its first usable value; "" or "0" waits for the rule.
    if (E2promRecord::leadingNumber(text) >= 1)
        setDelay(E2promRecord::leadingNumber(text));
    update();
}

void DownloadController::applyDelayText()
{
    if (E2promRecord::leadingNumber(m_delayText) < 1)
        m_delayText = QStringLiteral("1");
    setDelay(E2promRecord::leadingNumber(m_delayText));
    update();
}

void DownloadController::closeDownloadSettings()
{
    applyDelayText();
    saveE2prom();
    m_settingsVisible = false;
    update();
}

void DownloadController::discardDownloadSettings()
{
    setDelay(m_settingsShown.delay);
    m_delayText = QString::number(m_delay);
    m_node = m_settingsShown.node;
    m_checksumsEnabled = m_settingsShown.checksums;
    m_protocol.setVerifiesDownload(m_settingsShown.verifies);
    m_settingsVisible = false;
    update();
}

bool DownloadController::saveE2prom()
{
    const QByteArray record = E2promRecord::build(m_delayText, m_node, m_checksumsEnabled);
    m_e2prom = E2promRecord::parse(record);
    m_protocol.setVerifiesDownload(m_checksumsEnabled);
    QString why;
    if (!writeFileAtomically(e2promPath(), record, &why)) {
        prompter.message(QStringLiteral("The download settings could not be written to %1: %2")
                             .arg(QDir::toNativeSeparators(e2promPath()), why),
            PromptIcon::Critical);
        return false;
    }
    return true;
}
