#include "combinationcontroller.h"

#include "core/numbers.h"
#include "core/operation.h"
#include "core/prompter.h"
#include "core/text.h"
#include "core/wholefile.h"
#include "eeprom/eepromtext.h"
#include "eeprom/memorymap.h"
#include "link/answerchannel.h"
#include "link/commandset.h"
#include "link/seriallink.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

const QString CombinationController::SelectText
    = QStringLiteral("Be sure to select a file/macro by clicking on it and highlighting it");

namespace {

// Keeps what a preparation said instead of showing it, so that a trial run shows
// only the messages of a file that refuses the combination.
class RecordingPrompter : public Prompter
{
public:
    PromptAnswer show(const PromptMessage& message) override
    {
        shown << message;
        return message.defaultAnswer;
    }
    QList<PromptMessage> shown;
};

const QString NulNameText = QStringLiteral("A combination file name cannot hold a NUL character.");

} // namespace

CombinationController::CombinationController(DownloadController& controller, QObject* parent)
    : QObject(parent)
    , u(controller)
{
}

QString CombinationController::path(const QString& name) const
{
    return QDir(u.workingDir()).filePath(name);
}

void CombinationController::tell(const QString& text, PromptIcon icon)
{
    u.prompter.message(text, icon);
}

bool CombinationController::plainName(Prompter& prompter, const QString& name)
{
    // The system would cut the name at the NUL and write another file.
    if (name.contains(QChar())) {
        prompter.message(NulNameText, PromptIcon::Critical);
        return false;
    }
    // The chooser's start text "Use extension   *.CMB" passes the extension check;
    // neither it nor a path may become a file of its own.
    for (const QChar c : QStringLiteral("/\\*?\"<>|")) {
        if (name.contains(c)) {
            prompter.message(
                QStringLiteral("\"%1\" cannot be the name of a combination file: a name in the "
                               "working directory holds no / \\ * ? \" < > |.")
                    .arg(name),
                PromptIcon::Critical);
            return false;
        }
    }
    return true;
}

// ------------------------------------------------------------------ chooser

QStringList CombinationController::listCombinations() const
{
    return QDir(u.workingDir())
        .entryList({ QStringLiteral("*.cmb") }, QDir::Files | QDir::Readable,
            QDir::Name | QDir::IgnoreCase);
}

void CombinationController::fillChooser()
{
    m_combinationFiles = listCombinations();
    m_combinationIndex = -1;
    m_combinationList.clear();
    m_combinationListIndex = -1;
    if (!m_combinationFiles.isEmpty())
        chooseCombination(0);
    update();
}

bool CombinationController::select(const QString& name)
{
    m_combinationFiles = listCombinations();
    const qsizetype index = m_combinationFiles.indexOf(name);
    if (index < 0)
        return false;
    chooseCombination(int(index));
    return true;
}

std::optional<ComboFile::Contents> CombinationController::readCombination(
    Prompter& prompter, const QString& dir, const QString& name)
{
    // The system would cut the name at the NUL and open another file.
    if (name.contains(QChar())) {
        prompter.message(NulNameText, PromptIcon::Critical);
        return std::nullopt;
    }
    const QString path = QDir(dir).filePath(name);
    QString why;
    ReadRefusal refusal = ReadRefusal::None;
    const auto bytes = readRegularFile(path, ComboFile::MaxBytes, &why, &refusal);
    if (!bytes) {
        prompter.message(refusal == ReadRefusal::TooLarge
                ? ComboFile::tooLargeText(asciiUpper(name))
                : QStringLiteral("The combination %1 could not be read: %2")
                      .arg(QDir::toNativeSeparators(path), why),
            PromptIcon::Critical);
        return std::nullopt;
    }
    ComboFile::Contents c = ComboFile::read(*bytes, asciiUpper(name));
    if (!c.error.isEmpty()) {
        prompter.message(c.error, PromptIcon::Critical);
        return std::nullopt;
    }
    // A name another editor wrote in UTF-8 reads as two or more characters per
    // letter; the file is found under its UTF-8 reading.
    for (QString& file : c.files) {
        const QString utf8 = ComboFile::utf8Reading(file);
        if (!utf8.isEmpty() && !QFileInfo::exists(QDir(dir).filePath(file))
            && QFileInfo::exists(QDir(dir).filePath(utf8)))
            file = utf8;
    }
    return c;
}

void CombinationController::chooseCombination(int index)
{
    m_combinationList.clear();
    m_combinationListIndex = -1;
    if (index >= 0 && index < m_combinationFiles.size()) {
        m_combinationIndex = index;
        m_combinationName = m_combinationFiles.at(index);
        if (!m_combinationName.isEmpty()) {
            if (const auto c = readCombination(u.prompter, u.workingDir(), m_combinationName)) {
                m_combinationList = c->files;
                if (c->bootMacro)
                    setBootMacroText(*c->bootMacro);
            }
        }
    }
    update();
}

void CombinationController::newCombination()
{
    m_combinationIndex = -1;
    m_combinationName = QStringLiteral(" ");
    m_combinationList.clear();
    m_combinationListIndex = -1;
    update();
}

void CombinationController::clearCombinationList()
{
    m_combinationList.clear();
    m_combinationListIndex = -1;
    update();
}

void CombinationController::editSelectedFile()
{
    if (m_selectedFile.isEmpty()) {
        tell(QStringLiteral("Please select a file or Enter new file name!"), PromptIcon::None);
        return;
    }
    QString why;
    if (!u.editor().open(path(m_selectedFile), &why))
        tell(why, PromptIcon::Exclamation);
}

bool CombinationController::save(Prompter& prompter, const QString& dir, const QString& name,
    const QStringList& files, const QString& bootBox)
{
    const auto refuse = [&prompter](const QString& text) {
        prompter.message(text, PromptIcon::Critical);
        return false;
    };
    if (name.isEmpty())
        return refuse(QStringLiteral("Please enter a filename."));
    if (!asciiUpper(name).contains(QLatin1String(".CMB")))
        return refuse(QStringLiteral("Please use the *.CMB extension for this type of file."));
    if (files.isEmpty())
        return refuse(QStringLiteral("Please select a file for this Combination"));
    if (!plainName(prompter, name))
        return false;
    const QString refused = ComboFile::refusal(files);
    if (!refused.isEmpty())
        return refuse(refused);
    const QByteArray text = ComboFile::write(bootBox, files);
    const QString path = QDir(dir).filePath(name);
    QString why;
    if (!writeFileAtomically(path, text, &why))
        return refuse(QStringLiteral("The combination could not be saved as %1: %2")
                          .arg(QDir::toNativeSeparators(path), why));
    prompter.message(QStringLiteral("File Saved!"), PromptIcon::Information);
    return true;
}

void CombinationController::saveCombination()
{
    if (!save(u.prompter, u.workingDir(), m_combinationName, m_combinationList, m_bootMacroText))
        return;
    // The saved combination stays chosen, ready for "Download Combination".
    const QString saved = m_combinationName;
    fillChooser();
    if (!select(saved)) {
        m_combinationIndex = -1;
        m_combinationName.clear();
    }
    update();
}

void CombinationController::deleteCombination()
{
    const QString name = m_combinationName;
    if (name.size() < 4) {
        tell(QStringLiteral("Please select a combination"), PromptIcon::Critical);
        return;
    }
    if (plainName(u.prompter, name)) {
        const QString file = path(name);
        if (!QFileInfo(file).isFile()) {
            tell(QStringLiteral("There is no combination file \"%1\" to delete.").arg(name),
                PromptIcon::Exclamation);
        } else if (u.prompter.ask(
                       QStringLiteral("Are you sure you want to delete the following Combination: ")
                           + name + QStringLiteral("?"),
                       PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No)
                == PromptAnswer::Yes
            && !QFile::remove(file)) {
            tell(QStringLiteral("%1 could not be deleted.").arg(QDir::toNativeSeparators(file)),
                PromptIcon::Critical);
        }
    }
    m_combinationName.clear();
    fillChooser();
}

// ------------------------------------------------------------------ lists

void CombinationController::relistCommandFiles()
{
    const QStringList files = QDir(u.workingDir())
                                  .entryList({ QStringLiteral("*.cmd"), QStringLiteral("*.txt") },
                                      QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    if (files != m_commandFiles) {
        m_commandFiles = files;
        update();
    }
}

void CombinationController::pickFile(int index)
{
    if (index < 0 || index >= m_commandFiles.size())
        return;
    m_selectedFile = m_commandFiles.at(index);
    update();
}

void CombinationController::addFile(int index)
{
    if (index < 0 || index >= m_commandFiles.size()) {
        tell(SelectText, PromptIcon::Exclamation);
        return;
    }
    m_selectedFile = m_commandFiles.at(index);
    m_combinationList << m_selectedFile;
    update();
}

void CombinationController::addSelectedFile()
{
    if (m_selectedFile.isEmpty()) {
        tell(SelectText, PromptIcon::Exclamation);
        return;
    }
    m_combinationList << m_selectedFile;
    update();
}

void CombinationController::removeSelectedFile()
{
    if (m_combinationListIndex < 0 || m_combinationListIndex >= m_combinationList.size()) {
        tell(SelectText, PromptIcon::Exclamation);
        return;
    }
    m_combinationList.removeAt(m_combinationListIndex);
    m_combinationListIndex = -1;
    update();
}

void CombinationController::selectListedFile(int index)
{
    m_combinationListIndex = index >= 0 && index < m_combinationList.size() ? index : -1;
    update();
}

void CombinationController::typeCombinationName(const QString& name)
{
    // No redraw: the chooser shows what was typed, and setting it again while typing
    // would move the cursor.
    m_combinationName = name;
    m_combinationIndex = -1;
}

void CombinationController::setCombinationList(const QStringList& files)
{
    m_combinationList = files;
    m_combinationListIndex = -1;
    update();
}

void CombinationController::setBootMacroText(const QString& text)
{
    m_bootMacroText = text;
    const int n = ComboFile::bootValue(text);
    if (n >= 1 && n <= m_combinationList.size())
        m_combinationListIndex = n - 1;
    update();
}

// ------------------------------------------------------------------ the controller

void CombinationController::executeSelectedMacro()
{
    if (m_combinationListIndex < 0 || m_combinationListIndex >= m_combinationList.size()) {
        tell(QStringLiteral("Please Select a Macro/File"), PromptIcon::Critical);
        return;
    }
    const int n = m_combinationListIndex + 1;
    if (executeMacro(n))
        u.setStatusText(
            QStringLiteral("Macro %1 (%2) started.").arg(n).arg(m_combinationList.at(n - 1)));
}

bool CombinationController::executeMacro(int n)
{
    if (!u.core.link().isOpen()) {
        tell(TerminalCore::PortClosedText, PromptIcon::Critical);
        return false;
    }
    // Node 0 whatever the download settings say: every controller on the line runs it.
    u.sender().sendOwnLine(Tyx::runMacroEverywhere(n));
    return u.core.link().isOpen();
}

QList<CombinationController::Plan> CombinationController::plan(
    const QStringList& files, qsizetype& bytes)
{
    RecordingPrompter quiet;
    MacroPrep trial(quiet, u.workingDir());
    QList<Plan> plans;
    for (const QString& file : files) {
        quiet.shown.clear();
        trial.MacroFileName = file;
        QString name = file;
        const PrepResult r = trial.PrepFile(name);
        if (asciiUpper(name) == MacroPrep::notFound()) {
            plans << Plan::Missing;
            continue;
        }
        if (r == PrepResult::Empty) {
            plans << Plan::Empty;
            continue;
        }
        if (r != PrepResult::Prepared) {
            // A check that fails part way would leave the controller's memory with the
            // header and some macros but no address table: say it now, send nothing.
            for (const PromptMessage& m : std::as_const(quiet.shown))
                u.prompter.show(m);
            return {};
        }
        // The controller keeps nothing of a first line that does not begin with the
        // node address, which would shift this macro's jumps and every later macro.
        const QString first = splitLines(trial.MacroText).value(0).text;
        if (first.isEmpty() || !EepromText::startsStoredText(first.front())) {
            tell(asciiUpper(file) + QStringLiteral(": ")
                    + QString::fromLatin1(EepromText::FirstLineText) + QStringLiteral("\r\n\r\n")
                    + first,
                PromptIcon::Critical);
            return {};
        }
        trial.MacroBaseAddress += int(trial.MacroText.size());
        plans << Plan::Store;
    }
    bytes = trial.MacroBaseAddress;
    return plans;
}

// "Download Combination" once it may send: header, macros, table, names, then the
// check that marks the program complete.
class CombinationController::Download final : public Operation
{
public:
    Download(CombinationController& c, const QStringList& files, const QList<Plan>& plans)
        : m_c(c)
        , m_files(files)
        , m_plans(plans)
    {
    }
    QString label() const override { return QStringLiteral("Downloading.."); }
    Outcome run() override
    {
        EepromProtocol& p = m_c.u.protocol();
        const EepromProtocol::Session session(p, *this, true);
        const Outcome outcome = download();
        Q_EMIT progressShown(false);
        if (outcome == Outcome::Completed)
            m_c.u.askForReset(p.verifiesDownload());
        else if (outcome == Outcome::PortLost)
            m_c.tell(EepromProtocol::PortLostText, PromptIcon::Critical);
        return outcome;
    }

private:
    Outcome download();

    CombinationController& m_c;
    QStringList m_files;
    QList<Plan> m_plans;
};

void CombinationController::downloadCombination()
{
    m_lastDownload = Outcome::Refused;
    m_leftOut.clear();
    EepromProtocol& p = u.protocol();
    if (!u.core.link().isOpen()) {
        tell(TerminalCore::PortClosedText, PromptIcon::Critical);
        return;
    }
    if (!u.checksumsEnabled())
        tell(QStringLiteral("Please note this Download will not use Checksums!"),
            PromptIcon::Information);
    u.prep().MacroBaseAddress = 0;
    const QString name = m_combinationIndex >= 0 && m_combinationIndex < m_combinationFiles.size()
        ? m_combinationFiles.at(m_combinationIndex)
        : QString();
    if (name.isEmpty()) {
        tell(QStringLiteral("Please Select a Combination file"), PromptIcon::Critical);
        return;
    }

    // Everything that would end the download part way is found before the first line;
    // a refusal has said why and sent nothing.
    u.prep().setWorkingDir(u.workingDir());
    p.setWorkingDir(u.workingDir());
    const auto combination = readCombination(u.prompter, u.workingDir(), name);
    if (!combination)
        return;
    if (combination->files.isEmpty()) {
        tell(QStringLiteral("%1 lists no command files: there is nothing to download.")
                 .arg(asciiUpper(name)),
            PromptIcon::Critical);
        return;
    }
    qsizetype bytes = 0;
    const QList<Plan> plans = plan(combination->files, bytes);
    if (plans.isEmpty())
        return;
    // Not one macro to store would still replace the stored program with nothing.
    if (!plans.contains(Plan::Store)) {
        tell(QStringLiteral("%1 lists no command file that can be stored (%2): there is "
                            "nothing to download.")
                 .arg(asciiUpper(name), combination->files.join(QStringLiteral(", "))),
            PromptIcon::Critical);
        return;
    }
    if (!p.fitsMemory(bytes))
        return;

    Download download(*this, combination->files, plans);
    m_lastDownload = u.run(download);
    u.tellEnded(m_lastDownload);
    update();
}

Outcome CombinationController::Download::download()
{
    DownloadController& u = m_c.u;
    EepromProtocol& p = u.protocol();
    PacedSender& s = u.sender();
    const QStringList& files = m_files;
    bool failed = false;
    const auto label = [this](const QString& text) { Q_EMIT labelChanged(text); };
    const auto ended = [&p, &failed] {
        if (p.portLost())
            return Outcome(Outcome::PortLost, EepromProtocol::PortLostText);
        if (p.cancelRequested())
            return Outcome(Outcome::Cancelled);
        return Outcome(failed ? Outcome::Failed : Outcome::Completed);
    };
    const auto stopped = [&p] { return p.portGone() || p.cancelRequested(); };
    // A Cancel ends with the incomplete mark, written after the byte in flight.
    const auto cancelled = [&p, &ended] {
        p.endCancelled();
        return ended();
    };
    // Entry n for macro n (entry 0 unused).
    int macroIndex = 1;
    int macroEndTotal = 0;
    QList<int> macroSizes(ComboFile::MaxLines + 1, 0);
    QStringList macroNames(ComboFile::MaxLines + 1);
    label(QStringLiteral("Downloading Macro") + withSign(macroIndex));
    p.resetSum();
    if (!p.probe())
        return p.portLost() ? ended() : Outcome::Refused;
    if (p.verifiesDownload() && !p.resetChecksum()) {
        failed = true;
        return ended();
    }
    if (p.cancelRequested())
        return Outcome::Cancelled; // nothing of the program was written yet

    // Header: the boot macro, the count, the programming mark (incomplete until the end).
    const int boot = ComboFile::bootValue(m_c.m_bootMacroText);
    const int count = int(files.size());
    p.writeHeader(boot, count, 20);
    if (stopped())
        return cancelled();

    const QString workFile = QDir(u.workingDir()).filePath(MacroPrep::workFileName());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString& line = files.at(i);
        label(QStringLiteral("Downloading Macro") + withSign(macroIndex));
        u.prep().MacroFileName = line;
        if (m_plans.at(i) == Plan::Empty) {
            // PrepFile would leave the macro before it in "macro.tmp": leave this one out.
            Q_EMIT progressShown(false);
            m_c.tell(asciiUpper(line)
                    + QStringLiteral(" File is empty !\r\nIt is left out of the "
                                     "Combination."),
                PromptIcon::Critical);
            Q_EMIT progressShown(true); // Cancel stays at hand for the rest
            m_c.m_leftOut << asciiUpper(line);
            ++macroIndex;
            continue;
        }
        QString prepared = line;
        const PrepResult r = u.prep().PrepFile(prepared);
        if (asciiUpper(prepared) == MacroPrep::notFound()) {
            Q_EMIT progressShown(false);
            m_c.tell(asciiUpper(line)
                    + QStringLiteral(" File Not Found !\r\nPlease Remove it from Combination."),
                PromptIcon::Critical);
            Q_EMIT progressShown(true);
            m_c.m_leftOut << asciiUpper(line);
            ++macroIndex;
            continue;
        }
        if (r != PrepResult::Prepared) {
            failed = true; // changed since the check; the checker has said why
            return ended();
        }
        const int macroSize = int(QFileInfo(workFile).size());
        macroSizes[macroIndex] = macroSize;
        macroNames[macroIndex] = line;
        p.downloadMacro();
        u.prep().MacroBaseAddress += macroSize;
        if (stopped())
            return cancelled();
        ++macroIndex;
    }

    // The macro address table, entry j at 516 + 2j, high byte first.
    label(QStringLiteral("Saving Directory Info.."));
    s.waitTicks(p.downloadDelay() + 1);
    s.send(Tyx::setAddress(MemoryMap::TableStart), 6);
    QByteArray table;
    for (int j = 0; j <= macroIndex; ++j) {
        int value = MemoryMap::TextStart;
        if (j > 0) {
            macroEndTotal += macroSizes.value(j);
            value = macroEndTotal + MemoryMap::TextStart;
        }
        for (const int byte : { value / 256, value % 256 }) {
            table.append(char(byte & 0xFF));
            s.sendByCharacter(Tyx::loadNumber(byte), 1);
            p.addToSum(byte);
            s.sendTicks(Tyx::Write, p.downloadDelay() + 1);
        }
        if (stopped())
            return cancelled();
    }
    if (p.verifiesDownload()) {
        const int deviceChecksum = p.readChecksum();
        s.waitTicks(p.downloadDelay());
        failed = !p.compareChecksum(deviceChecksum);
    }
    if (failed)
        return ended();
    QByteArray header;
    header.append(char(boot & 0xFF)).append(char(count)).append('I');
    QList<EepromProtocol::Run> runs;
    runs.append({ MemoryMap::BootByte, header });
    runs.append({ MemoryMap::TableStart, table });
    for (int j = 0; j <= macroIndex - 2; ++j) {
        const QString stored
            = p.storeFileDescription(MemoryMap::slotAddress(j), macroNames.value(j + 1));
        if (stopped())
            return cancelled();
        runs.append(EepromProtocol::nameRun(MemoryMap::slotAddress(j), stored));
    }
    s.sendTicks(Tyx::EndSequence, 0);
    if (stopped())
        return cancelled();
    failed = !p.finishProgram(runs);
    stopped();
    return ended();
}
