#include "downloadcontroller.h"

#include "combinationcontroller.h"

#include "core/numbers.h"
#include "core/prompter.h"
#include "core/text.h"
#include "core/ticktimer.h"
#include "core/wholefile.h"
#include "eeprom/eepromtext.h"
#include "eeprom/memorymap.h"
#include "link/answerchannel.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using DirectoryOutcome = EepromProtocol::DirectoryOutcome;

DownloadController::DownloadController(TerminalCore& core_, Prompter& prompter_, QObject* parent)
    : QObject(parent)
    , core(core_)
    , prompter(prompter_)
    , ticks(TickTimer::instance())
    , sender(core_.link(), core_.answers(), TickTimer::instance())
    , protocol(sender, core_.answers(), core_.link(), prompter_)
    , prep(prompter_)
    , combo(*new CombinationController(*this, this))
{
    sender.node = [this] { return TxTNode; };
    sender.downloadDelay = [this] { return protocol.DownloadDelay; };
    connect(&protocol, &EepromProtocol::progressChanged, this, [this](int percent) {
        progressPercent = percent;
        update();
    });
    connect(&protocol, &EepromProtocol::labelChanged, this, [this](const QString& text) {
        progressLabel = text;
        update();
    });
    connect(
        &protocol, &EepromProtocol::progressHideRequested, this, &DownloadController::hideProgress);
    connect(&protocol, &EepromProtocol::checksumsShown, this, [this](int calculated, int received) {
        calculatedChecksum = QString::number(calculated);
        receivedChecksum = QString::number(received);
        update();
    });
}

DownloadController::~DownloadController()
{
    if (shown)
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
    Delay = delay;
    protocol.DownloadDelay = 2 * Delay;
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
    e2prom = E2promRecord::parse(bytes);
    setDelay(e2prom.Delay);
    delayText = QString::number(Delay);
    TxTNode = e2prom.TxTNode;
    EnableCksumChk = e2prom.EnableCksumChk == 1;
    protocol.VerifyDownload = e2prom.VerifyDownload;
    return read;
}

void DownloadController::load()
{
    protocol.ReadAsText = true;
    protocol.workingDir = workingDir();
    prep.setWorkingDir(workingDir());
    refreshFilelist();
    e2promRefused = !loadE2prom(createE2prom);
    ticks.Delay = Delay;
    ticks.StartTimer();
    core.setPortReady(true);
    if (!Filelist.isEmpty()) {
        filelistIndex = 0;
        Filename = Filelist.first();
    }
    DownFrameVisible = true;
    UpFrameVisible = false;
    ComboFrameVisible = false;
    shown = true;
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
    if (files != Filelist) {
        Filelist = files;
        if (filelistIndex >= Filelist.size())
            filelistIndex = -1;
        update();
    }
}

void DownloadController::toggleChecksumFrame()
{
    protocol.HiddenFrameVisible = !protocol.HiddenFrameVisible;
    update();
}

void DownloadController::exitall()
{
    if (!shown)
        return;
    shown = false;
    core.setWindowEnabled(true);
    ticks.StopTimer();
    progressVisible = false;
    settingsVisible = false;
    specialVisible = false;
    core.answers().setDownloadBranch(false);
    core.answers().endReading();
    // A wait still running (Exit pressed while a download waits) ends with the timer.
    protocol.CancelRequested = true;
    Q_EMIT core.viewChanged();
    update();
    Q_EMIT closed();
}

void DownloadController::showUploadPanel()
{
    windowEnabled = true;
    UpFrameEnabled = true;
    UpFrameVisible = true;
    DownFrameVisible = false;
    ComboFrameVisible = false;
    readBackFile = QStringLiteral("Temporary.cmd");
    Q_EMIT focusRequested(QStringLiteral("Filename2"));
    update();
}

void DownloadController::showDownloadPanel()
{
    DownFrameVisible = true;
    Filename.clear();
    UpFrameVisible = false;
    ComboFrameVisible = false;
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
    ComboFrameVisible = true;
    DownFrameVisible = false;
    UpFrameVisible = false;
    combo.refreshFile2();
    combo.fillChooser();
    update();
}

void DownloadController::selectDownloadFile(int index)
{
    if (index < 0 || index >= Filelist.size())
        return;
    filelistIndex = index;
    Filename = Filelist.at(index);
    update();
}

void DownloadController::editFile(const QString& name)
{
    if (name.isEmpty()) {
        prompter.message(QStringLiteral("Please select a file or Enter new file name!"));
        return;
    }
    QString why;
    if (!editor.open(QDir(workingDir()).filePath(name), &why))
        prompter.message(why, PromptIcon::Exclamation);
}

void DownloadController::editDownloadFile()
{
    editFile(Filename);
}

void DownloadController::editReadBackFile()
{
    editFile(readBackFile);
}

void DownloadController::deleteDownloadFile()
{
    const QString path = QDir(workingDir()).filePath(Filename);
    if (Filename.isEmpty() || !QFileInfo(path).isFile()) {
        prompter.message(QStringLiteral("There is no file \"%1\" to delete.").arg(Filename),
            PromptIcon::Exclamation);
    } else if (prompter.ask(QStringLiteral("Are you sure you want to delete ")
                       + asciiUpper(Filename) + QStringLiteral("?"),
                   PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No)
        == PromptAnswer::Yes) {
        if (!QFile::remove(path))
            prompter.message(
                QStringLiteral("%1 could not be deleted.").arg(path), PromptIcon::Critical);
    }
    Filename.clear();
    refreshFilelist();
    update();
}

// ------------------------------------------------------------------ download

void DownloadController::downloadFile()
{
    lastDownload = Outcome::NotStarted;
    protocol.SkipIncompleteMark = false;
    protocol.PortLost = false;
    if (!core.link().isOpen()) {
        prompter.message(
            QStringLiteral("Serial Port not configured properly!"), PromptIcon::Critical);
        return;
    }
    if (!EnableCksumChk)
        prompter.message(QStringLiteral("Please note this Download will not use Checksums!"),
            PromptIcon::Information);
    UpFrameEnabled = false;
    DownFrameEnabled = false;
    showProgress();
    windowEnabled = false;
    progressLabel = QStringLiteral("Downloading..");
    update();

    prep.setWorkingDir(workingDir());
    protocol.workingDir = workingDir();
    prep.MacroBaseAddress = 0;
    prep.MacroFileName = Filename;
    protocol.SingleFileDownload = true;
    QString name = Filename;
    const PrepResult prepared = prep.PrepFile(name);
    protocol.MacroFileName = Filename;
    // Anything but a prepared macro has said why, and nothing was sent.
    lastDownload = Outcome::Refused;
    if (asciiUpper(name) == MacroPrep::notFound()) {
        hideProgress();
        prompter.message(QStringLiteral(" Please select a file"), PromptIcon::Critical);
    } else if (prepared == PrepResult::Prepared) {
        // Anything else (empty, refused, unwritable) has said so, and "macro.tmp" may
        // still hold an earlier macro that must not be sent in its place.
        protocol.BootFlag = BootExecute ? -1 : 0;
        protocol.DownloadFile();
        protocol.SingleFileDownload = false;
        if (protocol.PortLost) {
            lastDownload = Outcome::PortLost;
            hideProgress();
            prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
        } else if (!protocol.Started) {
            hideProgress(); // refused before anything was written, and said why
        } else if (protocol.CancelRequested) {
            lastDownload = Outcome::Cancelled; // the download has marked the memory
        } else if (protocol.DownloadFailed) {
            lastDownload = Outcome::Failed;
        } else {
            sender.sendTicks(QStringLiteral(" EES"), 0);
            // "macro.tmp" read once for both: the final check leaves the text out.
            QList<EepromProtocol::Run> runs = writtenRuns(VerifyReadback);
            const bool checked = !VerifyReadback || readBackDownload(runs);
            if (VerifyReadback)
                runs.removeLast();
            if (checked && protocol.finishProgram(runs))
                lastDownload = Outcome::Completed;
            else if (protocol.PortLost)
                lastDownload = Outcome::PortLost;
            else
                lastDownload = protocol.CancelRequested ? Outcome::Cancelled : Outcome::Failed;
            hideProgress();
            if (lastDownload == Outcome::PortLost)
                prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
            if (lastDownload == Outcome::Completed)
                askForReset(protocol.VerifyDownload || VerifyReadback);
        }
    }
    protocol.SingleFileDownload = false;
    hideProgress();
    windowEnabled = true;
    UpFrameEnabled = true;
    DownFrameEnabled = true;
    update();
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
        sender.sendTicks(QStringLiteral(" RN"), 0);
}

void DownloadController::Cancel_Macro_Execute()
{
    protocol.Cancel_Macro_Execute();
    prep.MacroText.clear();
}

// ------------------------------------------------------------------ directory

void DownloadController::readDirectory()
{
    lastDirectory = DirectoryOutcome::Empty;
    if (!core.link().isOpen()) {
        prompter.message(UploadPortText, PromptIcon::Critical);
        return;
    }
    showProgress();
    windowEnabled = false;
    progressLabel = QStringLiteral("Uploading Info..");
    progressLabel = QStringLiteral("Uploading Directory..");
    storedMacros.clear();
    protocol.SkipIncompleteMark = true;
    protocol.CancelRequested = false;
    protocol.PortLost = false;
    update();

    const EepromProtocol::Directory d = protocol.ReadTYXDir();
    lastDirectory = d.outcome;
    switch (d.outcome) {
    case DirectoryOutcome::Listed:
        storedMacros += d.names;
        LabelTotBytes = withSign(protocol.ReadByteCount);
        readBackList.clear();
        break;
    case DirectoryOutcome::Incomplete:
    case DirectoryOutcome::Misread:
        storedMacros.clear();
        readBackList.clear();
        LabelTotBytes.clear();
        break;
    case DirectoryOutcome::Cancelled:
        storedMacros += d.names;
        readBackList.clear();
        break;
    case DirectoryOutcome::PortLost:
        storedMacros += d.names;
        hideProgress();
        prompter.message(ReadPortLostText, PromptIcon::Critical);
        break;
    case DirectoryOutcome::NoAnswer:
        storedMacros.clear();
        readBackList.clear();
        LabelTotBytes.clear();
        break;
    case DirectoryOutcome::TooMany:
    case DirectoryOutcome::Empty:
        break;
    }
    hideProgress();
    windowEnabled = true;
    UpFrameEnabled = true;
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
    if (storedIndex < 0 || storedIndex >= storedMacros.size()) {
        prompter.message(SelectText, PromptIcon::Exclamation);
        return;
    }
    SelectedName = storedMacros.at(storedIndex);
    // Rows of ReadRanges beyond the last would be read from nowhere.
    if (readBackList.size() >= MaxReadBackEntries) {
        prompter.message(ListFullText, PromptIcon::Exclamation);
        return;
    }
    readBackList.append(SelectedName);
    update();
}

void DownloadController::removeFromReadBackList()
{
    if (readBackIndex < 0 || readBackIndex >= readBackList.size()) {
        prompter.message(SelectText, PromptIcon::Exclamation);
        return;
    }
    SelectedName = readBackList.takeAt(readBackIndex);
    if (readBackIndex >= readBackList.size())
        readBackIndex = int(readBackList.size()) - 1;
    update();
}

void DownloadController::selectAllForReadBack()
{
    readBackList = storedMacros.mid(0, MaxReadBackEntries);
    update();
    if (storedMacros.isEmpty() || !uploadPortReady())
        return;
    protocol.PortLost = false;
    if (!protocol.GetEndOfMacro(int(storedMacros.size()))) {
        if (!protocol.PortLost) {
            storedMacros.clear();
            readBackList.clear();
            LabelTotBytes.clear();
        }
        update();
        return;
    }
    sender.waitTicks(50);
}

DownloadController::Outcome DownloadController::UploadMacros()
{
    MacroEnds[0] = MemoryMap::TextStart;
    const int stored = int(std::min<qsizetype>(storedMacros.size(), MacroEnds.size() - 2));
    for (int n = 1; n <= stored && !protocol.CancelRequested; ++n) {
        if (!protocol.GetEndOfMacro(n)) {
            if (protocol.PortLost)
                return Outcome::PortLost;
            // The table cannot be trusted: nothing is read, and the file stays as it was.
            storedMacros.clear();
            readBackList.clear();
            LabelTotBytes.clear();
            return Outcome::Failed;
        }
        MacroEnds[size_t(n)] = protocol.MacroEndAddress;
    }

    const int entries = int(std::min<qsizetype>(readBackList.size(), MaxReadBackEntries));
    for (int r = 1; r <= entries; ++r) {
        const QString& b = readBackList.at(r - 1);
        // An entry without an equal name reads nothing, not an earlier entry's range.
        ReadRanges[size_t(r)] = {};
        for (int j = 0; j < stored; ++j) {
            const QString& a = storedMacros.at(j);
            if (a.size() > 1 && b.size() > 1 && a == b)
                ReadRanges[size_t(r)] = { MacroEnds[size_t(j)], MacroEnds[size_t(j) + 1] };
        }
    }

    progressLabel = QStringLiteral("Uploading..");
    update();
    QByteArray result;
    for (int r = 1; r <= entries && !protocol.CancelRequested && !protocol.PortLost; ++r) {
        const Range range = ReadRanges[size_t(r)];
        protocol.ReadStartAddress = QString::number(range.start);
        protocol.ReadByteCount = range.end - range.start;
        QByteArray text;
        protocol.UploadFile(text);
        if (!protocol.Unanswered.isEmpty()) {
            // A file with bytes left out would be a wrong macro: the old one stays.
            hideProgress();
            prompter.message(EepromProtocol::unansweredText(protocol.Unanswered)
                    + QStringLiteral(" %1 was not written.").arg(readBackFile),
                PromptIcon::Critical);
            return Outcome::Failed;
        }
        result += text;
    }
    // Only a whole read replaces the file.
    if (protocol.PortLost)
        return Outcome::PortLost;
    if (protocol.CancelRequested)
        return Outcome::Cancelled;
    return writeWholeFile(readBackFile, result) ? Outcome::Completed : Outcome::Failed;
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
    lastReadBack = Outcome::NotStarted;
    protocol.SkipIncompleteMark = true;
    protocol.PortLost = false;
    if (!uploadPortReady())
        return;
    if (readBackList.isEmpty() || readBackList.first().isEmpty()) {
        prompter.message(QStringLiteral("Read Back List Empty!"), PromptIcon::Critical);
        return;
    }
    // Without a target the whole read would be lost after it.
    if (readBackFile.trimmed().isEmpty()) {
        writeWholeFile(readBackFile, {});
        return;
    }
    if (!asciiUpper(readBackFile).contains(QLatin1String("TEMPORARY.CMD"))
        && prompter.ask(QStringLiteral("Are you sure you want to Overwrite ")
                   + asciiUpper(readBackFile) + QStringLiteral("?"),
               PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No)
            != PromptAnswer::Yes)
        return;
    UpFrameEnabled = false;
    DownFrameEnabled = false;
    showProgress();
    windowEnabled = false;
    progressLabel = QStringLiteral("Preparing TYX for Upload..");
    update();

    lastReadBack = UploadMacros();
    hideProgress();
    if (lastReadBack == Outcome::PortLost)
        prompter.message(MemoryPortLostText, PromptIcon::Critical);
    windowEnabled = true;
    UpFrameEnabled = true;
    DownFrameEnabled = true;
    refreshFilelist();
    update();
}

void DownloadController::openSpecialFunctions()
{
    windowEnabled = false;
    specialVisible = true;
    update();
}

QList<EepromProtocol::Run> DownloadController::writtenRuns(bool withText) const
{
    const QByteArray text = EepromText::storedMacro(protocol.workFile()).bytes;
    const int end = MemoryMap::TextStart + int(text.size());
    const auto bytes = [](std::initializer_list<int> values) {
        QByteArray out;
        for (const int v : values)
            out.append(char(v & 0xFF));
        return out;
    };
    QList<EepromProtocol::Run> runs {
        EepromProtocol::nameRun(
            MemoryMap::DirectoryTop, EepromText::descriptionName(protocol.MacroFileName)),
        { MemoryMap::BootByte, bytes({ protocol.BootFlag, 1, 'I' }) },
        { MemoryMap::TableStart,
            bytes(
                { MemoryMap::TextStart / 256, MemoryMap::TextStart % 256, end / 256, end % 256 }) },
    };
    if (withText)
        runs.append({ MemoryMap::TextStart, text });
    return runs;
}

bool DownloadController::readBackDownload(const QList<EepromProtocol::Run>& runs)
{
    progressLabel = QStringLiteral("Reading back..");
    update();
    for (const auto& [start, run] : runs) {
        const auto d = protocol.firstDifference(start, run);
        if (protocol.CancelRequested) {
            protocol.MarkIncomplete();
            return false;
        }
        if (protocol.PortLost)
            return false;
        if (d) {
            hideProgress();
            protocol.MarkIncomplete();
            prompter.message(EepromProtocol::differenceText(*d), PromptIcon::Critical);
            return false;
        }
    }
    return true;
}

// ------------------------------------------------------------------ ProgressDialog

void DownloadController::showProgress()
{
    protocol.CancelRequested = false;
    progressLabel = QStringLiteral("Downloading..");
    progressPercent = 0;
    progressVisible = true;
    update();
}

void DownloadController::hideProgress()
{
    if (!progressVisible)
        return;
    progressVisible = false;
    update();
}

void DownloadController::cancelOperation()
{
    // Only the request: the running operation ends its own way, after the byte in
    // flight (a download then marks the memory incomplete itself).
    protocol.CancelRequested = true;
    progressLabel = QStringLiteral("cancelling..");
    progressPercent = 100;
    update();
}

// ------------------------------------------------------------------ DownloadSettingsDialog

void DownloadController::openDownloadSettings()
{
    windowEnabled = false;
    loadDownloadSettings();
    settingsVisible = true;
    update();
}

void DownloadController::loadDownloadSettings()
{
    // A record never read from a file (all "X") holds no settings: the defaults that
    // loading an empty file gave stay, instead of a delay read from "XX".
    if (e2prom.record != E2promRecord().record) {
        const E2promRecord r = E2promRecord::parse(e2prom.record);
        setDelay(r.Delay);
        TxTNode = r.TxTNode;
        EnableCksumChk = r.EnableCksumChk == 1;
        protocol.VerifyDownload = r.VerifyDownload;
    }
    delayText = QString::number(Delay);
    PortLabel = QStringLiteral("COM%1").arg(core.cfg.comPort);
    BaudLabel = QStringLiteral("%1,n,8,1").arg(core.cfg.baudRate);
}

void DownloadController::setDelayText(const QString& text)
{
    delayText = E2promRecord::leadingNumber(text) < 1 ? QStringLiteral("1") : text;
    setDelay(E2promRecord::leadingNumber(delayText));
    update();
}

void DownloadController::closeDownloadSettings()
{
    SaveE2prom();
    windowEnabled = true;
    settingsVisible = false;
    update();
}

bool DownloadController::SaveE2prom()
{
    const QByteArray record = E2promRecord::build(delayText, TxTNode, EnableCksumChk);
    e2prom = E2promRecord::parse(record);
    protocol.VerifyDownload = EnableCksumChk;
    QString why;
    if (!writeFileAtomically(e2promPath(), record, &why)) {
        prompter.message(QStringLiteral("The download settings could not be written to %1: %2")
                             .arg(QDir::toNativeSeparators(e2promPath()), why),
            PromptIcon::Critical);
        return false;
    }
    return true;
}
