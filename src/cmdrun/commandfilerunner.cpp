#include "cmdrun/commandfilerunner.h"

#include "core/eventwait.h"
#include "core/wholefile.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// No command file comes near this; a bigger file is not one, and is not read whole.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

using C = TerminalCore::Controls;
} // namespace

CommandFileRunner::CommandFileRunner(TerminalCore& core, Prompter& prompter, QObject* parent)
    : QObject(parent)
    , m_core(core)
    , m_prompter(prompter)
{
    connect(&m_core, &TerminalCore::statusAnswered, this, &CommandFileRunner::matchStatus,
        Qt::DirectConnection);
}

CommandFileRunner::~CommandFileRunner() = default;

bool CommandFileRunner::portGone() const
{
    return !m_core.link.isOpen();
}

QString CommandFileRunner::joinPath(const QString& dir, const QString& name) const
{
    return dir.isEmpty() ? name : QDir(dir).filePath(name);
}

// ------------------------------------------------------------------- execution

void CommandFileRunner::executeCommandFile()
{
    if (m_running)
        return; // the button is disabled during a run; a second run would share its state
    if (!m_core.link.isOpen()) {
        m_outcome = Outcome::Refused;
        m_prompter.message(
            QStringLiteral("Please check Port Configuration"), PromptIcon::Exclamation);
        return;
    }
    if (m_core.Filename.isEmpty()) {
        m_outcome = Outcome::Refused;
        m_prompter.message(QStringLiteral("Please select a command file!"), PromptIcon::Critical);
        return;
    }
    m_core.stopRequest = false;
    m_core.setEnabled(
        { &C::TransmitText, &C::CmdManual, &C::CmdTerminal, &C::CmdHome, &C::DownloadButton },
        false);
    m_core.filelistPath = m_core.currentWorkingDir;
    m_core.filelistPattern = QStringLiteral("*.Cmd");
    m_core.refreshFilelist();
    m_core.Openport();
    ExecuteCommands();
}

void CommandFileRunner::ExecuteCommands()
{
    if (m_running)
        return;
    m_passes = 0;
    m_core.selectedCommandFile = joinPath(m_core.currentWorkingDir, m_core.Filename);
    const QString path = m_core.selectedCommandFile;

    // A missing file is empty: it is reported, not created.
    const QFileInfo info(path);
    if (!info.exists() || (info.isFile() && info.size() == 0)) {
        m_outcome = Outcome::Refused;
        m_prompter.message(EmptyMessage);
        endRun();
        return;
    }
    QString refusal;
    QString why;
    ReadRefusal refused = ReadRefusal::None;
    const QByteArray bytes
        = readRegularFile(path, MaxFileBytes, &why, &refused).value_or(QByteArray());
    if (refused == ReadRefusal::TooLarge)
        refusal = QStringLiteral("The command file %1 is larger than 64 MB; it was not run.")
                      .arg(QDir::toNativeSeparators(path));
    else if (refused != ReadRefusal::None)
        refusal = QStringLiteral("The command file %1 cannot be read: %2")
                      .arg(QDir::toNativeSeparators(path), why);
    if (refusal.isEmpty() && bytes.isEmpty()) {
        m_outcome = Outcome::Refused;
        m_prompter.message(EmptyMessage);
        endRun();
        return;
    }
    CommandFileRead read;
    if (refusal.isEmpty()) {
        read = readCommandFile(bytes);
        refusal = read.error;
    }
    if (refusal.isEmpty()) {
        ParseCommandFile(read.tables);
        refusal = checkCommandFile(read.tables);
    }
    if (!refusal.isEmpty()) {
        m_outcome = Outcome::Refused;
        m_prompter.message(refusal, PromptIcon::Exclamation);
        endRun();
        return;
    }

    m_core.statusWaitMode = true;
    const PromptAnswer answer = m_prompter.ask(
        RepeatQuestion, PromptButtons::YesNoCancel, PromptIcon::None, PromptAnswer::Yes);
    if (answer == PromptAnswer::Cancel) {
        m_outcome = Outcome::Stopped;
        endRun();
        return;
    }
    m_core.continuousRun = answer == PromptAnswer::Yes;
    m_core.setEnabled(
        { &C::EditCmd, &C::ExecuteCmdFile, &C::DeleteCmd, &C::Filename, &C::Filelist }, false);
    m_core.setEnabled({ &C::PauseCmd }, true);
    m_core.requestFocus(QStringLiteral("PauseCmd"));
    m_core.setEnabled({ &C::CancelCmd }, true);
    m_core.skipNext = false;

    tables = std::move(read.tables);
    const CommandFileTables& t = tables;
    if (t.hasRepeat)
        m_core.repeatCounter = 1;
    m_running = true;
    quint64 wrapWaits = m_waits;
    m_core.link.traffic().marker(QStringLiteral("command file %1 started").arg(m_core.Filename));
    Q_EMIT runStarted();

    int i = 0;
    currentLine = 0;
    for (;;) {
        if (m_core.stopRequest || (!m_core.continuousRun && i >= t.lineCount))
            break;
        // Nothing to run: a continuous run of a file of comments would go round for ever.
        if (portGone() || t.lineCount == 0)
            break;
        currentLine = i + 1;
        if (currentLine > t.lineCount) {
            // Continuous run: one whole run of the file is done; start again at line 1.
            currentLine = 1;
            ++m_passes;
            if (passLimit > 0 && m_passes >= passLimit)
                break;
            // A file that waits nowhere (comments, PAUSE without a terminal) would
            // otherwise go round without ever letting Cancel or Ctrl-C in.
            if (m_waits == wrapWaits)
                waitTicks(1);
            wrapWaits = m_waits;
            if (m_core.stopRequest || portGone())
                break;
        }

        // The repeat block: all passes but the last run here; the last is the main loop's.
        int remaining = t.repeatCount - 1;
        while (
            currentLine == t.repeatStart && remaining != 0 && !m_core.stopRequest && !portGone()) {
            if (remaining > 0)
                --remaining; // a count of 0 (remaining -1) repeats until the run is stopped
            const quint64 passWaits = m_waits;
            // A status jump out of the block ends the pass at the end of the line table.
            while (currentLine != t.repeatEnd && currentLine >= 0 && currentLine <= t.lineCount
                && !portGone()) {
                if (currentLine >= 1)
                    RepeatMech();
                ++currentLine;
            }
            m_core.repeatCounter = qint16(m_core.repeatCounter + 1);
            currentLine = t.repeatStart;
            if (m_waits == passWaits)
                waitTicks(1); // an empty block must not keep Cancel out either
        }
        if (m_core.stopRequest || portGone())
            break;
        if (currentLine == t.repeatEnd)
            m_core.repeatCounter = 1;

        if (executeLine(false) == Step::Sent)
            waitTicks(1);
        i = currentLine;
    }
    m_outcome = portGone() ? Outcome::PortClosed
                           : (m_core.stopRequest ? Outcome::Stopped : Outcome::Finished);
    if (m_outcome == Outcome::Finished && !m_core.continuousRun)
        m_passes = 1;
    endRun();
    if (m_outcome == Outcome::PortClosed)
        m_prompter.message(PortClosedMessage.arg(m_core.link.statusText()), PromptIcon::Critical);
}

void CommandFileRunner::matchStatus(qint32 status)
{
    const int line = currentLine;
    if (line < 0 || line > CommandFileTables::MaxLines)
        return;
    const int count = tables.waitCount[size_t(line)];
    if (count < 0 || count > CommandFileTables::MaxWaits)
        return;
    for (int k = 1; k <= count; ++k) {
        const WaitEntry& entry = tables.waits[size_t(line)][size_t(k)];
        if (entry.value == 0)
            continue;
        if (entry.value != status) {
            m_core.statusMatch = false;
            continue;
        }
        m_core.statusMatch = true;
        if (!entry.label.isEmpty()) {
            const int labels = qBound(0, tables.labelCount, CommandFileTables::MaxLines);
            for (int j = 1; j <= labels; ++j) {
                const int at = tables.labelLine[size_t(j)];
                if (at >= 1 && at <= CommandFileTables::MaxLines
                    && tables.labelName[size_t(at)] == entry.label) {
                    currentLine = at - 1;
                    break;
                }
            }
        }
        break;
    }
}

void CommandFileRunner::RepeatMech()
{
    if (executeLine(true) == Step::Sent)
        waitTicks(1);
}

CommandFileRunner::Step CommandFileRunner::executeLine(bool inPass)
{
    const int line = currentLine;
    if (line < 1 || line > tables.lineCount)
        return Step::Nothing;
    m_core.commandText = tables.commandParts[size_t(line)];
    const LineAction a = classifyLine(m_core.commandText);
    if (a.delay) {
        waitDelay(delayTicks(a.delayValue));
    }
    if (a.message) {
        m_core.commandText = a.messageText;
        m_core.skipNext = true;
        m_core.showMessageCaption(a.messageText);
        Q_EMIT messageShown(a.messageText);
    }
    Step step = Step::Nothing;
    // A port lost during the delay or an earlier wait ends the run, which says so
    // once; sending would first add "Serial Port not configured properly!".
    switch (portGone() ? LineAction::Nothing : a.kind) {
    case LineAction::Pause:
        m_prompter.message(PauseMessage);
        step = Step::Paused;
        break;
    case LineAction::Literal: {
        QString literal;
        if (buildLiteral(m_core.commandText, literal)) {
            m_core.commandText = literal;
            m_core.SendLiteral();
            step = Step::Sent;
        }
        break;
    }
    case LineAction::Command:
        m_core.SendCommand();
        step = Step::Sent;
        break;
    case LineAction::Nothing:
        if (inPass && !portGone()) {
            m_core.SendCommand();
            step = Step::Sent;
        }
        break;
    }
    // The message text is the only thing the skip-next flag is meant to drop; a MESSAGE
    // line that sent nothing must not swallow the next line's command.
    if (a.message)
        m_core.skipNext = false;
    return step;
}

void CommandFileRunner::waitTicks(int ticks)
{
    ++m_waits;
    m_core.mainTicks = 0;
    waitUntil([this, ticks] { return m_core.mainTicks >= ticks || portGone(); });
}

void CommandFileRunner::waitDelay(double ticks)
{
    // The tick count is taken in steps of two or more ticks, so that the timer's wrap
    // and a handler resetting the count during the wait only lengthen it a little. A
    // cancelled run (status wait mode off) and a closed port end the wait.
    m_core.mainTicks = 0;
    while (ticks > 0 && !portGone() && m_core.statusWaitMode) {
        ++m_waits;
        waitUntil([this] { return m_core.mainTicks >= 2 || portGone() || !m_core.statusWaitMode; });
        if (m_core.mainTicks >= 2) {
            ticks -= m_core.mainTicks;
            m_core.mainTicks = 0;
        }
    }
}

void CommandFileRunner::endRun()
{
    m_core.setEnabled({ &C::EditCmd, &C::ExecuteCmdFile, &C::DeleteCmd }, true);
    m_core.setEnabled({ &C::PauseCmd, &C::CancelCmd }, false);
    m_core.setEnabled({ &C::Filename, &C::Filelist }, true);
    m_core.stopRequest = true;
    m_core.statusWaitMode = false;
    m_core.messageCaptionFlag = false;
    m_core.setEnabled(
        { &C::TransmitText, &C::CmdManual, &C::CmdTerminal, &C::CmdHome, &C::DownloadButton },
        true);
    const bool wasRunning = m_running;
    m_running = false;
    if (wasRunning) {
        m_core.link.traffic().marker(QStringLiteral("command file ended"));
        Q_EMIT runFinished();
    }
}

void CommandFileRunner::pauseCommandFile()
{
    m_prompter.message(PauseMessage, PromptIcon::Exclamation);
}

// ------------------------------------------------------------- file management

void CommandFileRunner::selectCommandFile(int index)
{
    if (index < 0 || index >= m_core.Filelist.size())
        return;
    const QString name = m_core.Filelist.at(index);
    if (m_core.filelistPath != m_core.currentWorkingDir) {
        m_core.filelistPath = m_core.currentWorkingDir;
        m_core.refreshFilelist();
        index = int(m_core.Filelist.indexOf(name));
    }
    m_core.selectFile(index, name);
}

void CommandFileRunner::newCommandFile()
{
    m_prompter.message(
        QStringLiteral(
            "Please use the '*.CMD' extension\rwhen saving the file and choose type 'All Files'"),
        PromptIcon::Information);
    QString why;
    if (!m_editor.open(QString(), &why))
        m_prompter.message(why, PromptIcon::Exclamation);
}

void CommandFileRunner::editCommandFile()
{
    if (m_core.Filename.isEmpty()) {
        m_prompter.message(QStringLiteral("Please select a file or Enter new file name!"));
        return;
    }
    if (m_core.filelistPath != m_core.currentWorkingDir) {
        m_core.filelistPath = m_core.currentWorkingDir;
        m_core.refreshFilelist();
    }
    m_core.selectedCommandFile = joinPath(m_core.filelistPath, m_core.Filename);
    QString why;
    if (!m_editor.open(m_core.selectedCommandFile, &why))
        m_prompter.message(why, PromptIcon::Exclamation);
}

void CommandFileRunner::deleteCommandFile()
{
    m_core.selectedCommandFile = joinPath(m_core.currentWorkingDir, m_core.Filename);
    const QString path = m_core.selectedCommandFile;
    const QFileInfo info(path);
    if (m_core.Filename.isEmpty()) {
        m_prompter.message(
            QStringLiteral("Please select a command file!"), PromptIcon::Exclamation);
    } else if (!info.exists() || info.isDir()) {
        m_prompter.message(
            QStringLiteral("There is no file %1 to delete.").arg(m_core.Filename.toUpper()),
            PromptIcon::Exclamation);
    } else {
        const PromptAnswer answer
            = m_prompter.ask(QStringLiteral("Are you sure you want to delete ")
                    + m_core.Filename.toUpper() + QStringLiteral("?"),
                PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No);
        if (answer == PromptAnswer::Yes) {
            QFile file(path);
            if (!file.remove())
                m_prompter.message(QStringLiteral("The file %1 could not be deleted: %2")
                                       .arg(QDir::toNativeSeparators(path), file.errorString()),
                    PromptIcon::Critical);
        }
    }
    m_core.Filename.clear();
    m_core.filelistPattern = QStringLiteral("*.Cmd");
    m_core.refreshFilelist();
}

void CommandFileRunner::downloadSelectedFile()
{
    m_core.openDownloadWindow();
}
