#include "cmdrun/commandfilerunner.h"

#include "core/eventwait.h"
#include "core/wholefile.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

const QString CommandFileRunner::RepeatQuestion
    = QStringLiteral("Do you want execution of this command file to repeat continuously? ");
const QString CommandFileRunner::PortClosedMessage
    = QStringLiteral("The serial port closed during the run: %1");

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
    return !m_core.link().isOpen();
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
    if (!m_core.link().isOpen()) {
        m_outcome = Outcome::Refused;
        m_prompter.message(
            QStringLiteral("Please check Port Configuration"), PromptIcon::Exclamation);
        return;
    }
    if (m_core.fileName().isEmpty()) {
        m_outcome = Outcome::Refused;
        m_prompter.message(QStringLiteral("Please select a command file!"), PromptIcon::Critical);
        return;
    }
    m_core.setStopRequest(false);
    m_core.setEnabled(
        { &C::TransmitText, &C::CmdManual, &C::CmdTerminal, &C::CmdHome, &C::DownloadButton },
        false);
    m_core.showFiles(m_core.workingDir(), QStringLiteral("*.Cmd"));
    m_core.openPort();
    ExecuteCommands();
}

void CommandFileRunner::ExecuteCommands()
{
    if (m_running)
        return;
    m_passes = 0;
    m_core.setSelectedCommandFile(joinPath(m_core.workingDir(), m_core.fileName()));
    const QString path = m_core.selectedCommandFile();

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

    m_core.setStatusWaitMode(true);
    const PromptAnswer answer = m_prompter.ask(
        RepeatQuestion, PromptButtons::YesNoCancel, PromptIcon::None, PromptAnswer::Yes);
    if (answer == PromptAnswer::Cancel) {
        m_outcome = Outcome::Stopped;
        endRun();
        return;
    }
    m_core.setContinuousRun(answer == PromptAnswer::Yes);
    m_core.setEnabled(
        { &C::EditCmd, &C::ExecuteCmdFile, &C::DeleteCmd, &C::Filename, &C::Filelist }, false);
    m_core.setEnabled({ &C::PauseCmd }, true);
    m_core.requestFocus(QStringLiteral("PauseCmd"));
    m_core.setEnabled({ &C::CancelCmd }, true);
    m_core.setSkipNext(false);

    m_tables = std::move(read.tables);
    const CommandFileTables& t = m_tables;
    if (t.hasRepeat)
        m_core.setRepeatCounter(1);
    m_running = true;
    m_core.holdPort();
    quint64 wrapWaits = m_waits;
    m_core.link().traffic().marker(
        QStringLiteral("command file %1 started").arg(m_core.fileName()));
    Q_EMIT runStarted();

    int i = 0;
    m_currentLine = 0;
    for (;;) {
        if (m_core.stopRequest() || (!m_core.continuousRun() && i >= t.lineCount))
            break;
        // Nothing to run: a continuous run of a file of comments would go round for ever.
        if (portGone() || t.lineCount == 0)
            break;
        m_currentLine = i + 1;
        if (m_currentLine > t.lineCount) {
            // Continuous run: one whole run of the file is done; start again at line 1.
            m_currentLine = 1;
            ++m_passes;
            if (m_passLimit > 0 && m_passes >= m_passLimit)
                break;
            // A file that waits nowhere (comments, PAUSE without a terminal) would
            // otherwise go round without ever letting Cancel or Ctrl-C in.
            if (m_waits == wrapWaits)
                waitTicks(1);
            wrapWaits = m_waits;
            if (m_core.stopRequest() || portGone())
                break;
        }

        // The repeat block: all passes but the last run here; the last is the main loop's.
        int remaining = t.repeatCount - 1;
        while (m_currentLine == t.repeatStart && remaining != 0 && !m_core.stopRequest()
            && !portGone()) {
            if (remaining > 0)
                --remaining; // a count of 0 (remaining -1) repeats until the run is stopped
            const quint64 passWaits = m_waits;
            // A status jump out of the block ends the pass at the end of the line table.
            while (m_currentLine != t.repeatEnd && m_currentLine >= 0
                && m_currentLine <= t.lineCount && !portGone()) {
                if (m_currentLine >= 1)
                    RepeatMech();
                ++m_currentLine;
            }
            m_core.setRepeatCounter(qint16(m_core.repeatCounter() + 1));
            m_currentLine = t.repeatStart;
            if (m_waits == passWaits)
                waitTicks(1); // an empty block must not keep Cancel out either
        }
        if (m_core.stopRequest() || portGone())
            break;
        if (m_currentLine == t.repeatEnd)
            m_core.setRepeatCounter(1);

        if (executeLine(false) == Step::Sent)
            waitTicks(1);
        i = m_currentLine;
    }
    m_outcome = portGone() ? Outcome::PortClosed
                           : (m_core.stopRequest() ? Outcome::Stopped : Outcome::Finished);
    if (m_outcome == Outcome::Finished && !m_core.continuousRun())
        m_passes = 1;
    endRun();
    if (m_outcome == Outcome::PortClosed)
        m_prompter.message(PortClosedMessage.arg(m_core.link().statusText()), PromptIcon::Critical);
}

void CommandFileRunner::setPosition(CommandFileTables tables, int line)
{
    m_tables = std::move(tables);
    m_currentLine = line;
}

void CommandFileRunner::matchStatus(qint32 status)
{
    const int line = m_currentLine;
    if (line < 0 || line > CommandFileTables::MaxLines)
        return;
    const int count = m_tables.waitCount[size_t(line)];
    if (count < 0 || count > CommandFileTables::MaxWaits)
        return;
    for (int k = 1; k <= count; ++k) {
        const WaitEntry& entry = m_tables.waits[size_t(line)][size_t(k)];
        if (entry.value == 0)
            continue;
        if (entry.value != status) {
            m_core.setStatusMatch(false);
            continue;
        }
        m_core.setStatusMatch(true);
        if (!entry.label.isEmpty()) {
            const int labels = qBound(0, m_tables.labelCount, CommandFileTables::MaxLines);
            for (int j = 1; j <= labels; ++j) {
                const int at = m_tables.labelLine[size_t(j)];
                if (at >= 1 && at <= CommandFileTables::MaxLines
                    && m_tables.labelName[size_t(at)] == entry.label) {
                    m_currentLine = at - 1;
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
    const int line = m_currentLine;
    if (line < 1 || line > m_tables.lineCount)
        return Step::Nothing;
    m_core.setCommandText(m_tables.commandParts[size_t(line)]);
    const LineAction a = classifyLine(m_core.commandText());
    if (a.delay) {
        waitDelay(delayTicks(a.delayValue));
    }
    if (a.message) {
        m_core.setCommandText(a.messageText);
        m_core.setSkipNext(true);
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
        if (buildLiteral(m_core.commandText(), literal)) {
            m_core.setCommandText(literal);
            m_core.sendLiteral();
            step = Step::Sent;
        }
        break;
    }
    case LineAction::Command:
        m_core.sendCommand();
        step = Step::Sent;
        break;
    case LineAction::Nothing:
        if (inPass && !portGone()) {
            m_core.sendCommand();
            step = Step::Sent;
        }
        break;
    }
    // The message text is the only thing the skip-next flag is meant to drop; a MESSAGE
    // line that sent nothing must not swallow the next line's command.
    if (a.message)
        m_core.setSkipNext(false);
    return step;
}

void CommandFileRunner::waitTicks(int ticks)
{
    ++m_waits;
    m_core.resetTicks();
    waitUntil([this, ticks] { return m_core.ticks() >= ticks || portGone(); });
}

void CommandFileRunner::waitDelay(double ticks)
{
    // The tick count is taken in steps of two or more ticks, so that the timer's wrap
    // and a handler resetting the count during the wait only lengthen it a little. A
    // cancelled run (status wait mode off) and a closed port end the wait.
    m_core.resetTicks();
    while (ticks > 0 && !portGone() && m_core.statusWaitMode()) {
        ++m_waits;
        waitUntil([this] { return m_core.ticks() >= 2 || portGone() || !m_core.statusWaitMode(); });
        if (m_core.ticks() >= 2) {
            ticks -= m_core.ticks();
            m_core.resetTicks();
        }
    }
}

void CommandFileRunner::endRun()
{
    m_core.setEnabled({ &C::EditCmd, &C::ExecuteCmdFile, &C::DeleteCmd }, true);
    m_core.setEnabled({ &C::PauseCmd, &C::CancelCmd }, false);
    m_core.setEnabled({ &C::Filename, &C::Filelist }, true);
    m_core.setStopRequest(true);
    m_core.setStatusWaitMode(false);
    m_core.endMessageCaption();
    m_core.setEnabled(
        { &C::TransmitText, &C::CmdManual, &C::CmdTerminal, &C::CmdHome, &C::DownloadButton },
        true);
    const bool wasRunning = m_running;
    m_running = false;
    if (wasRunning) {
        m_core.releasePort();
        m_core.link().traffic().marker(QStringLiteral("command file ended"));
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
    if (index < 0 || index >= m_core.fileList().entries.size())
        return;
    const QString name = m_core.fileList().entries.at(index);
    if (m_core.fileList().path != m_core.workingDir()) {
        m_core.showFiles(m_core.workingDir(), m_core.fileList().pattern);
        index = int(m_core.fileList().entries.indexOf(name));
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
    if (m_core.fileName().isEmpty()) {
        m_prompter.message(QStringLiteral("Please select a file or Enter new file name!"));
        return;
    }
    if (m_core.fileList().path != m_core.workingDir()) {
        m_core.showFiles(m_core.workingDir(), m_core.fileList().pattern);
    }
    m_core.setSelectedCommandFile(joinPath(m_core.fileList().path, m_core.fileName()));
    QString why;
    if (!m_editor.open(m_core.selectedCommandFile(), &why))
        m_prompter.message(why, PromptIcon::Exclamation);
}

void CommandFileRunner::deleteCommandFile()
{
    m_core.setSelectedCommandFile(joinPath(m_core.workingDir(), m_core.fileName()));
    const QString path = m_core.selectedCommandFile();
    const QFileInfo info(path);
    if (m_core.fileName().isEmpty()) {
        m_prompter.message(
            QStringLiteral("Please select a command file!"), PromptIcon::Exclamation);
    } else if (!info.exists() || info.isDir()) {
        m_prompter.message(
            QStringLiteral("There is no file %1 to delete.").arg(m_core.fileName().toUpper()),
            PromptIcon::Exclamation);
    } else {
        const PromptAnswer answer
            = m_prompter.ask(QStringLiteral("Are you sure you want to delete ")
                    + m_core.fileName().toUpper() + QStringLiteral("?"),
                PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No);
        if (answer == PromptAnswer::Yes) {
            QFile file(path);
            if (!file.remove())
                m_prompter.message(QStringLiteral("The file %1 could not be deleted: %2")
                                       .arg(QDir::toNativeSeparators(path), file.errorString()),
                    PromptIcon::Critical);
        }
    }
    m_core.setFileName({});
    m_core.showFiles(m_core.fileList().path, QStringLiteral("*.Cmd"));
}

void CommandFileRunner::downloadSelectedFile()
{
    m_core.openDownloadWindowFor(m_core.fileName().trimmed());
}
