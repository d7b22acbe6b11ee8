#include "terminalcore.h"

#include "answerparser.h"
#include "core/eventwait.h"
#include "core/numbers.h"
#include "core/operationrunner.h"
#include "core/text.h"
#include "link/commandset.h"
#include "statusdecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <algorithm>

const QString TerminalCore::PortClosedText = QStringLiteral("Serial Port not configured properly!");

namespace {
const QChar CR = QLatin1Char('\r');
const QChar LF = QLatin1Char('\n');

bool startsWithLineEnd(const QString& s)
{
    return !s.isEmpty() && (s[0] == CR || s[0] == LF);
}
} // namespace

TerminalCore::TerminalCore(
    Settings& settings_, SettingsInForce& inForce, Prompter& prompter_, QObject* parent)
    : QObject(parent)
    , settings(settings_)
    , cfg(inForce)
    , prompter(prompter_)
{
    connect(&m_link, &SerialLink::received, this, &TerminalCore::onReceived);
    connect(&m_link, &SerialLink::stateChanged, this, &TerminalCore::viewChanged);
    connect(&m_link, &SerialLink::lost, this, [this] {
        // A network port has nothing to watch; a local one comes back as a file.
        if (m_reconnectWhenIdle && !m_link.device().contains(QLatin1String("://"))) {
            m_portWatcher.watch(m_link.device());
            changed();
        }
    });
    connect(&m_portWatcher, &PortWatcher::appeared, this, &TerminalCore::reconnectIfIdle);
    m_reconnectRetry.setSingleShot(true);
    m_reconnectRetry.setInterval(1000);
    connect(&m_reconnectRetry, &QTimer::timeout, this, &TerminalCore::reconnectIfIdle);
    m_timer1.setInterval(50);
    connect(&m_timer1, &QTimer::timeout, this, &TerminalCore::tick);
    m_timer1.start();
}

TerminalCore::~TerminalCore() = default;

void TerminalCore::load(bool readStore)
{
    m_savedCaption = m_caption;
    if (readStore) {
        settings.ReadSettings();
        settings.ReadWorkingDir();
    }
    settings.ReadConfigFile(cfg);
    m_panels.status = cfg.ChkStatus == 1;
    if (m_overrideConfiguredPortOnly)
        m_overridePort = cfg.comPort;
    if (m_beforeOpen)
        m_beforeOpen();
    openPort();
    const QString dir = cfg.chosenDir.isEmpty() ? settings.record.WorkingDir : cfg.chosenDir;
    m_fileList.pattern = QStringLiteral("*.cmd");
    m_fileList.path = dir;
    m_workingDir = dir;
    m_downloadDir = dir;
    refreshFilelist();
    if (!m_fileList.entries.isEmpty()) {
        m_fileList.index = 0;
        m_selectedCommandFile.clear();
        m_fileList.path = m_downloadDir;
        m_fileName = m_fileList.entries.first();
        m_selectedCommandFile = QDir(m_fileList.path).filePath(m_fileName);
    }
    changed();
}

// ---------------------------------------------------------------- serial port

void TerminalCore::setDeviceOverride(const QString& device, bool configuredPortOnly)
{
    m_overrideDevice = device;
    m_overridePort = 0; // load() narrows it to the configured port
    m_overrideConfiguredPortOnly = configuredPortOnly;
}

QString TerminalCore::deviceFor(int comPort) const
{
    if (!m_overrideDevice.isEmpty() && (m_overridePort == 0 || m_overridePort == comPort))
        return m_overrideDevice;
    if (!m_overrideDevice.isEmpty() && m_overrideConfiguredPortOnly)
        return {};
    if (comPort < 1 || comPort > 8)
        return {}; // not a port of this program: the open fails, silently
    if (!cfg.comDevice[size_t(comPort)].isEmpty())
        return cfg.comDevice[size_t(comPort)];
    return SerialLink::defaultDevice(comPort);
}

void TerminalCore::openPort()
{
    // Failures are not reported here: the port stays closed and the first attempt
    // to send says so; the status line tells why. The read length stays as the
    // operator left it.
    m_link.close();
    m_link.open(deviceFor(settings.record.ComPort), cfg.baudRate);
    m_portReady = m_link.isOpen();
    changed();
}

void TerminalCore::addHistory(const QString& text)
{
    while (m_commandHistory.size() >= 6)
        m_commandHistory.removeFirst();
    m_commandHistory.append(text);
    changed();
}

void TerminalCore::sendLiteral()
{
    if (!m_link.isOpen()) {
        prompter.message(PortClosedText, PromptIcon::Critical);
        return;
    }
    processPendingEvents();
    addHistory(m_commandText);
    m_link.write(toWire(m_commandText));
    m_awaitingAnswer = true;
    m_link.waitForDrain();
}

// ---------------------------------------------------------- command transmission

bool TerminalCore::applyRepeatSubstitution(QString& text, QString& why) const
{
    static const QString markers[4] = { QStringLiteral("+REPEAT"), QStringLiteral("-REPEAT"),
        QStringLiteral("*REPEAT"), QStringLiteral("%REPEAT") };
    for (int m = 0; m < 4; ++m) {
        const qsizetype at = asciiUpper(text).indexOf(markers[m]);
        if (at < 0)
            continue;
        const QString rest = text.left(at).mid(2); // without the node address and its blank
        const qsizetype space = rest.indexOf(QLatin1Char(' '));
        if (space < 0) {
            why = QStringLiteral("there is no blank before the number to recompute");
            return false;
        }
        const double number = readDecimal(QStringView(rest).mid(space));
        const double c = m_repeatCounter;
        double result = 0;
        switch (m) {
        case 0:
            result = number + c;
            break;
        case 1:
            result = number - c;
            break;
        case 2:
            result = number * c;
            break;
        default:
            if (c == 0) {
                why = QStringLiteral("the repeat counter is 0");
                return false;
            }
            result = number / c;
            break;
        }
        text = text.left(2 + space + 1) + plainNumber(result);
    }
    return true;
}

void TerminalCore::sendCommand()
{
    m_statusMatch = false;
    if (!m_link.isOpen()) {
        prompter.message(PortClosedText, PromptIcon::Critical);
        return;
    }
    for (;;) {
        processPendingEvents();
        addHistory(m_commandText);
        if (asciiUpper(m_commandText).startsWith(QLatin1String("DELAY")) || m_skipNext) {
            m_skipNext = false;
            return;
        }
        QString why;
        QString text = m_commandText;
        if (!applyRepeatSubstitution(text, why)) {
            prompter.message(
                QStringLiteral("The command \"%1\" was not sent: %2.").arg(m_commandText, why),
                PromptIcon::Exclamation);
            return;
        }
        m_commandText = text;
        m_statusQueryPrefix.clear();
        const QString upper = asciiUpper(m_commandText);
        QString toSend = m_commandText;
        const qsizetype st = upper.indexOf(QLatin1String(" ST "));
        if (st >= 0) {
            toSend = m_commandText.left(st + 3);
            m_statusQueryPrefix = toSend;
        }
        m_link.write(frameCommand(toSend, cfg.CheckSumChk != 0));
        m_awaitingAnswer = true;
        m_link.waitForDrain();
        if (!m_statusWaitMode)
            return;
        if (upper.contains(QLatin1String("ST ")) && !m_statusMatch) {
            m_ticks = 0;
            waitUntil([this] { return m_ticks >= 1 || !m_link.isOpen(); });
            // A port that went away ends the status wait instead of writing into nothing;
            // a wait switched off meanwhile (Cancel, Abort, Disable) is not sent again, since
            // the handler that switched it may have put its own command into the text.
            if (m_statusMatch || !m_link.isOpen() || !m_statusWaitMode)
                return;
            continue;
        }
        return;
    }
}

// -------------------------------------------------------------------- reception

QString TerminalCore::readInput()
{
    return fromWire(m_link.read(m_readLength));
}

void TerminalCore::onReceived()
{
    handleReceived();
    // With a read length of 1 each event takes only part of what is waiting; come
    // back for the rest once the current handlers have returned.
    if (m_link.isOpen() && m_link.bytesAvailable() > 0 && !m_receivePosted) {
        m_receivePosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_receivePosted = false;
                onReceived();
            },
            Qt::QueuedConnection);
    }
}

void TerminalCore::handleReceived()
{
    if (m_answers.captureMode() && m_link.isOpen())
        receiveCapture();
    else if (m_answers.downloadBranch())
        receiveDownload();
    else if (m_panels.terminal && m_link.isOpen())
        receiveTerminal();
    else
        receiveCommand();
}

void TerminalCore::receiveCapture()
{
    // Auto-configuration and the diagnostic log look for their marker in the text
    // itself.
    m_receiveChunk = readInput();
    m_answers.appendCaptured(m_receiveChunk, MaxPending);
    Q_EMIT m_answers.updated();
}

void TerminalCore::receiveTerminal()
{
    if (m_terminalLineFlag) {
        m_receiveChunk = readInput();
        m_receiveAccumulator += m_receiveChunk;
        if (m_receiveAccumulator.size() > MaxPending && !m_receiveAccumulator.contains(CR))
            m_receiveAccumulator.clear();
        if (m_receiveAccumulator.contains(CR) && m_receiveAccumulator.size() >= 2) {
            flushTerminalLines();
            Q_EMIT terminalCursorToEnd();
        }
    } else {
        m_link.read(0);
    }
    // Nothing shown changes here but the terminal text, which says so itself.
    m_responseBuffer.clear();
    m_responseLine.clear();
    m_awaitingAnswer = false;
}

void TerminalCore::receiveCommand()
{
    m_receiveChunk = readInput();
    m_receiveAccumulator = m_receiveChunk;
    m_responseBuffer += m_receiveChunk;
    m_receiveChunk = readInput();
    m_responseBuffer += m_receiveChunk;
    const ParsedAnswer answer = parseAnswer(m_responseBuffer,
        { .command = m_commandText,
            .statusQueryPrefix = m_statusQueryPrefix,
            .statusWait = m_statusWaitMode,
            .checksum = cfg.CheckSumChk == 1,
            .maxPending = MaxPending });
    m_responseBuffer = answer.buffer;
    if (answer.complete)
        showAnswer(answer);
}

void TerminalCore::showAnswer(const ParsedAnswer& answer)
{
    m_statusLines.low.clear();
    m_statusLines.high.clear();
    m_responseLine = answer.line;
    m_answerRejected = answer.rejected;
    m_lastResponse = m_responseLine;
    convertNumber();
    if (m_recentAnswers.size() > 5)
        m_recentAnswers.removeFirst();
    if (cfg.ChkStatus == 1) {
        m_receivedText = m_responseLine;
        // An answer that failed its check says nothing about the status: decoding
        // its empty text would show status 0 ("Drive Enabled", no alert).
        if (answer.statusQuery && !m_answerRejected)
            showStatusDescription(m_lastResponse);
        else if (m_answerRejected)
            m_statusLines.alert = false;
    }
    if (m_recentAnswers.size() >= 5)
        m_recentAnswers.removeFirst();
    if (answer.statusQuery && m_awaitingAnswer)
        checkStatusAnswer();
    m_recentAnswers.append(m_responseLine);
    const QString shown = m_responseLine;
    m_responseBuffer.clear();
    m_responseLine.clear();
    m_awaitingAnswer = false;
    changed();
    Q_EMIT answerShown(shown);
}

void TerminalCore::receiveDownload()
{
    if (m_link.bytesAvailable() > 0) {
        m_receiveChunk = readInput();
        m_receiveAccumulator += m_receiveChunk;
        if (m_receiveAccumulator.size() > MaxPending)
            m_receiveAccumulator.clear();
        if (!m_receiveAccumulator.contains(CR))
            return;
        QString marked = m_receiveAccumulator;
        if (!m_answers.answerMarker().isEmpty()) {
            const qsizetype p = m_receiveAccumulator.indexOf(m_answers.answerMarker());
            if (p >= 0)
                marked = m_receiveAccumulator.mid(p);
        }
        m_answers.setMarkedAnswer(marked);
        const auto notify = qScopeGuard([this] { Q_EMIT m_answers.updated(); });
        if (m_commandText.isEmpty() || m_receiveAccumulator.contains(m_commandText)) {
            const qsizetype zeros = m_receiveAccumulator.indexOf(QLatin1String("00"));
            if (zeros < 0)
                return;
            m_receiveAccumulator = m_receiveAccumulator.mid(zeros);
            m_commandText.clear();
            if (!m_receiveAccumulator.contains(CR))
                return;
        }
        if (m_answers.collecting())
            m_answers.collect(marked);
        m_commandText.clear();
        m_receiveAccumulator.clear();
    }
    m_responseBuffer.clear();
    m_responseLine.clear();
    m_awaitingAnswer = false;
}

void TerminalCore::convertNumber()
{
    const QString& b = m_responseBuffer;
    const qsizetype space = b.indexOf(QLatin1Char(' '));
    if (space < 1)
        return;
    const QString node = b.left(space);
    QString value = b.mid(space + 1);
    const bool decimal = cfg.ChkDecimal == 1;
    if (!decimal && value.endsWith(CR))
        value.chop(1);
    const qint32 nodeNumber = node.size() > 4 ? 0 : readHex(node);
    if (decimal) {
        const qint32 v = value.size() > 5 ? calc32bit(value) : readHex(value);
        m_responseLine = QString::number(nodeNumber) + QLatin1Char(' ') + withSign(v);
    } else {
        m_responseLine = QString::number(nodeNumber) + QLatin1String("  ") + value;
    }
}

// ------------------------------------------------------- status decoding and check

void TerminalCore::showStatusDescription(const QString& answer)
{
    const qsizetype space = answer.indexOf(QLatin1Char(' '));
    const QString statusText = answer.mid(space + 1);
    const auto status = static_cast<quint16>(readHex(statusText));
    m_receivedText = answer;
    const StatusDescription d = describeStatus(status);
    m_statusLines = { d.list1, d.list2, d.alert };
    changed();
}

void TerminalCore::checkStatusAnswer()
{
    if (!m_commandText.contains(QLatin1Char(' ')))
        return;
    if (m_lastResponse.size() < 3)
        return;
    const qsizetype space = m_lastResponse.indexOf(QLatin1Char(' '));
    const QString statusText = m_lastResponse.mid(space + 1);
    if (statusText.size() > 4)
        return;
    m_receivedText = m_responseLine;
    Q_EMIT statusAnswered(static_cast<qint16>(readHex(statusText)));
}

void TerminalCore::clearReception()
{
    m_receiveAccumulator.clear();
    m_responseBuffer.clear();
    changed();
}

// ----------------------------------------------------------------- window state

void TerminalCore::refreshFilelist()
{
    m_fileList.entries.clear();
    if (!m_fileList.path.isEmpty()) {
        // Patterns match without regard to case ("*.cmd" and "*.Cmd" alike).
        QDir dir(m_fileList.path, QString(), QDir::Name | QDir::IgnoreCase,
            QDir::Files | QDir::Readable);
        dir.setNameFilters(m_fileList.pattern.split(QLatin1Char(';')));
        m_fileList.entries = dir.entryList();
    }
    if (m_fileList.index >= m_fileList.entries.size())
        m_fileList.index = -1;
    changed();
}

void TerminalCore::showFiles(const QString& path, const QString& pattern)
{
    m_fileList.path = path;
    m_fileList.pattern = pattern;
    refreshFilelist();
}

void TerminalCore::setFilelistIndex(int index)
{
    m_fileList.index = index;
    changed();
}

void TerminalCore::setFileName(const QString& name)
{
    m_fileName = name;
    changed();
}

void TerminalCore::selectFile(int index, const QString& name)
{
    m_fileList.index = index;
    m_fileName = name;
    changed();
}

void TerminalCore::setWindowEnabled(bool enabled)
{
    m_windowEnabled = enabled;
    changed();
}

void TerminalCore::holdPortWhileBusy(const OperationRunner& runner)
{
    connect(&runner, &OperationRunner::busyChanged, this,
        [this](bool busy) { busy ? holdPort() : releasePort(); });
}

void TerminalCore::releasePort()
{
    Q_ASSERT(m_portHolds > 0);
    if (m_portHolds == 0)
        return;
    // A device that came back during the run is opened once the run has ended.
    if (--m_portHolds == 0 && m_portWatcher.watching())
        QTimer::singleShot(0, this, &TerminalCore::reconnectIfIdle);
}

void TerminalCore::reconnectIfIdle()
{
    // Only between operations: one that was running when the port went has ended as
    // lost, and nothing resumes it.
    if (!m_portWatcher.watching() || m_portHolds > 0 || m_link.isOpen()
        || !PortWatcher::present(m_portWatcher.device()))
        return;
    const QString device = m_portWatcher.device();
    openPort();
    if (m_link.isOpen()) {
        m_portWatcher.stop();
        m_link.traffic().marker(QStringLiteral("port %1 reconnected").arg(device));
        changed();
        return;
    }
    // The node is there before udev has set who may open it: try again shortly.
    m_reconnectRetry.start();
}

void TerminalCore::setWorkingDir(const QString& dir)
{
    m_workingDir = dir;
    changed();
}

void TerminalCore::setStatusFrame(bool visible)
{
    m_statusLines.low.clear();
    m_statusLines.high.clear();
    m_receivedText.clear();
    m_panels.status = visible;
    changed();
}

void TerminalCore::showMessageCaption(const QString& text)
{
    m_caption = text;
    m_messageCaption = true;
    changed();
}

void TerminalCore::setEnabled(std::initializer_list<Control> controls, bool on)
{
    for (const Control c : controls)
        m_enabled.*c = on;
    changed();
}

TerminalCore::Control TerminalCore::controlNamed(QStringView objectName)
{
    using C = Controls;
    static const std::pair<QStringView, Control> names[]
        = { { u"TransmitText", &C::TransmitText }, { u"CmdManual", &C::CmdManual },
              { u"CmdTerminal", &C::CmdTerminal }, { u"CmdHome", &C::CmdHome },
              { u"DownloadButton", &C::DownloadButton }, { u"EditCmd", &C::EditCmd },
              { u"ExecuteCmdFile", &C::ExecuteCmdFile }, { u"DeleteCmd", &C::DeleteCmd },
              { u"Filename", &C::Filename }, { u"Filelist", &C::Filelist },
              { u"PauseCmd", &C::PauseCmd }, { u"CancelCmd", &C::CancelCmd } };
    for (const auto& [name, member] : names) {
        if (name == objectName)
            return member;
    }
    return nullptr;
}

void TerminalCore::terminalMode()
{
    m_responseBuffer.clear();
    m_responseLine.clear();
    m_commandText.clear();
    m_receiveAccumulator.clear();
    m_awaitingAnswer = false;
    m_panels.terminal = true;
    m_panels.commandFile = false; // the terminal frame takes the command file frame's place
    m_panels.status = false;
    m_panels.receive = false;
    m_panels.send = false;
    Q_EMIT focusRequested(QStringLiteral("TextTerminal"));
    m_terminalLineFlag = true;
    changed();
}

void TerminalCore::commandMode()
{
    m_panels.terminal = false;
    m_panels.commandFile = true;
    m_panels.send = true;
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
    m_fileList.path = m_workingDir;
    m_fileList.pattern = QStringLiteral("*.Cmd");
    refreshFilelist();
    tick();
}

void TerminalCore::openConfiguration()
{
    m_panels.terminal = false;
    m_panels.commandFile = true;
    m_windowEnabled = false;
    settings.ReadConfigFile(cfg);
    Q_EMIT configWindowRequested();
    m_panels.send = true;
    changed();
}

void TerminalCore::openDownloadWindow()
{
    m_downloadChoice.clear();
    Q_EMIT downloadWindowRequested();
}

void TerminalCore::openDownloadWindowFor(const QString& fileName)
{
    m_downloadChoice = fileName;
    Q_EMIT downloadWindowRequested();
}

void TerminalCore::toggleDirectoryCaption()
{
    m_directoryCaption = !m_directoryCaption;
}

void TerminalCore::tick()
{
    m_ticks = m_ticks < 10000 ? m_ticks + 1 : 0;
    bool frame7 = m_panels.status;
    bool frame2 = m_panels.receive;
    bool send = m_panels.send;
    if (m_panels.terminal) {
        frame7 = false;
        send = false;
        frame2 = false;
    } else {
        frame7 = cfg.ChkStatus == 1;
        // Without the status frame nothing else would show the answers.
        frame2 = !frame7;
    }
    QString newCaption = m_caption;
    if (!m_messageCaption) {
        if (m_directoryCaption)
            newCaption = m_workingDir;
        else
            newCaption = m_savedCaption
                + (cfg.CheckSumChk == 1 ? QStringLiteral("                 Checksum Active")
                                        : QString());
    }
    if (frame7 != m_panels.status || frame2 != m_panels.receive || send != m_panels.send
        || newCaption != m_caption) {
        m_panels.status = frame7;
        m_panels.receive = frame2;
        m_panels.send = send;
        m_caption = newCaption;
        changed();
    }
}

void TerminalCore::exitProgram()
{
    if (m_link.isOpen())
        m_link.close();
    Q_EMIT exitRequested();
}

// --------------------------------------------------------- command entry, terminal

bool TerminalCore::enterCommand(const QString& boxText)
{
    if (!m_link.isOpen()) {
        prompter.message(
            QStringLiteral("Please check Port Configuration"), PromptIcon::Exclamation);
        return false;
    }
    if (m_portReady) {
        m_readLength = 0;
        m_link.read(0);
        m_readLength = 1;
    }
    m_stopRequest = true;
    m_continuousRun = false;
    processPendingEvents();
    m_stopRequest = false;
    m_continuousRun = true;
    m_commandText = trimTrailing(boxText);
    sendCommand();
    return true;
}

void TerminalCore::terminalKey(QChar key)
{
    m_terminalLineFlag = key == CR;
    if (m_link.isOpen()) {
        m_link.write(QByteArray(1, char(key.unicode() & 0xFF)));
        processPendingEvents();
    }
    // Local echo, as the box itself would show the key.
    if (key == CR)
        m_terminalText += QLatin1String("\r\n");
    else if (key == QLatin1Char('\b'))
        m_terminalText.chop(m_terminalText.endsWith(QLatin1String("\r\n")) ? 2 : 1);
    else if (key.unicode() >= 0x20)
        m_terminalText += key;
    changed();
}

void TerminalCore::home()
{
    m_ticks = 0;
    // Twice TxDelay ticks of 50 ms. The tick count wraps after 10000, so a longer
    // pause could never end: it is held to the longest the count can reach.
    const qint64 d = std::clamp<qint64>(roundHalfEven(2 * readDecimal(cfg.TXdelay)), 0, 10000);
    m_commandText = Tyx::Home;
    sendCommand();
    waitUntil([this, d] { return m_ticks >= d; });
    m_commandText = Tyx::Enable;
    sendCommand();
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
}

void TerminalCore::cancelCommandFile()
{
    using C = Controls;
    setEnabled(
        { &C::EditCmd, &C::ExecuteCmdFile, &C::DeleteCmd, &C::Filename, &C::Filelist }, true);
    setEnabled({ &C::PauseCmd, &C::CancelCmd }, false);
    m_stopRequest = true;
    m_statusWaitMode = false;
    m_messageCaption = false;
    setEnabled({ &C::TransmitText, &C::CmdManual, &C::CmdTerminal, &C::CmdHome }, true);
}

void TerminalCore::disable()
{
    m_commandText = Tyx::Disable;
    sendCommand();
    if (m_statusWaitMode)
        cancelCommandFile();
    setEnabled({ &Controls::TransmitText }, true);
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
}

void TerminalCore::abort()
{
    m_commandText = Tyx::Abort;
    sendCommand();
    if (m_statusWaitMode)
        cancelCommandFile();
    setEnabled({ &Controls::TransmitText }, true);
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
}

void TerminalCore::clearReceived()
{
    m_recentAnswers.clear();
    changed();
}

void TerminalCore::clearTerminal()
{
    m_terminalText.clear();
    changed();
    Q_EMIT focusRequested(QStringLiteral("TextTerminal"));
}

void TerminalCore::flushTerminalLines()
{
    QString& a = m_receiveAccumulator;
    if (!a.contains(CR))
        return;
    m_ticks = 0;
    // The view redraws at most once a frame: one signal for all the lines of a read.
    bool added = false;
    for (;;) {
        // Line ends left in front (the echo of Enter, the LF of the previous line's
        // CR LF) end no line of their own: drop them and look for the next CR.
        while (startsWithLineEnd(a))
            a.remove(0, 1);
        if (a.size() < 2)
            break;
        const qsizetype p = a.indexOf(CR);
        if (p < 0)
            break;
        QString line = a.left(p);
        a.remove(0, p + 1);
        if (startsWithLineEnd(line))
            line.remove(0, 1);
        if (m_terminalText.size() > 1000)
            m_terminalText.clear();
        m_terminalText += line + QLatin1String("\r\n");
        added = true;
    }
    if (added)
        Q_EMIT terminalTextChanged();
}
