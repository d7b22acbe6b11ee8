#include "terminalcore.h"

#include "answerparser.h"
#include "core/eventwait.h"
#include "core/numbers.h"
#include "core/text.h"
#include "link/commandset.h"
#include "statusdecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <algorithm>

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
    connect(&link, &SerialLink::received, this, &TerminalCore::onReceived);
    connect(&link, &SerialLink::stateChanged, this, &TerminalCore::viewChanged);
    m_timer1.setInterval(50);
    connect(&m_timer1, &QTimer::timeout, this, &TerminalCore::tick);
    m_timer1.start();
}

TerminalCore::~TerminalCore() = default;

void TerminalCore::load(bool readStore)
{
    savedCaption = caption;
    if (readStore) {
        settings.ReadSettings();
        settings.ReadWorkingDir();
    }
    settings.ReadConfigFile(cfg);
    statusFrameVisible = cfg.ChkStatus == 1;
    if (overrideConfiguredPortOnly)
        overridePort = cfg.comPort;
    if (beforeOpen)
        beforeOpen();
    Openport();
    const QString dir = cfg.chosenDir.isEmpty() ? settings.record.WorkingDir : cfg.chosenDir;
    filelistPattern = QStringLiteral("*.cmd");
    filelistPath = dir;
    currentWorkingDir = dir;
    downloadDir = dir;
    refreshFilelist();
    if (!Filelist.isEmpty()) {
        filelistIndex = 0;
        selectedCommandFile.clear();
        filelistPath = downloadDir;
        Filename = Filelist.first();
        selectedCommandFile = QDir(filelistPath).filePath(Filename);
    }
    changed();
}

// ---------------------------------------------------------------- serial port

QString TerminalCore::deviceFor(int comPort) const
{
    if (!overrideDevice.isEmpty() && (overridePort == 0 || overridePort == comPort))
        return overrideDevice;
    if (!overrideDevice.isEmpty() && overrideConfiguredPortOnly)
        return {};
    if (comPort < 1 || comPort > 8)
        return {}; // not a port of this program: the open fails, silently
    if (!cfg.comDevice[size_t(comPort)].isEmpty())
        return cfg.comDevice[size_t(comPort)];
    return SerialLink::defaultDevice(comPort);
}

void TerminalCore::Openport()
{
    // Failures are not reported here: the port stays closed and the first attempt
    // to send says so; the status line tells why. The read length stays as the
    // operator left it.
    link.close();
    link.open(deviceFor(settings.record.ComPort), cfg.baudRate);
    portReady = link.isOpen();
    changed();
}

void TerminalCore::addHistory(const QString& text)
{
    while (CommandHistory.size() >= 6)
        CommandHistory.removeFirst();
    CommandHistory.append(text);
    changed();
}

void TerminalCore::SendLiteral()
{
    if (!link.isOpen()) {
        prompter.message(
            QStringLiteral("Serial Port not configured properly!"), PromptIcon::Critical);
        return;
    }
    processPendingEvents();
    addHistory(commandText);
    link.write(toWire(commandText));
    awaitingAnswer = 1;
    link.waitForDrain();
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
        const double c = repeatCounter;
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

void TerminalCore::SendCommand()
{
    statusMatch = false;
    if (!link.isOpen()) {
        prompter.message(
            QStringLiteral("Serial Port not configured properly!"), PromptIcon::Critical);
        return;
    }
    for (;;) {
        processPendingEvents();
        addHistory(commandText);
        if (asciiUpper(commandText).startsWith(QLatin1String("DELAY")) || skipNext) {
            skipNext = false;
            return;
        }
        QString why;
        QString text = commandText;
        if (!applyRepeatSubstitution(text, why)) {
            prompter.message(
                QStringLiteral("The command \"%1\" was not sent: %2.").arg(commandText, why),
                PromptIcon::Exclamation);
            return;
        }
        commandText = text;
        statusQueryPrefix.clear();
        const QString upper = asciiUpper(commandText);
        QString toSend = commandText;
        const qsizetype st = upper.indexOf(QLatin1String(" ST "));
        if (st >= 0) {
            toSend = commandText.left(st + 3);
            statusQueryPrefix = toSend;
        }
        link.write(frameCommand(toSend, cfg.CheckSumChk != 0));
        awaitingAnswer = 1;
        link.waitForDrain();
        if (!statusWaitMode)
            return;
        if (upper.contains(QLatin1String("ST ")) && !statusMatch) {
            mainTicks = 0;
            waitUntil([this] { return mainTicks >= 1 || !link.isOpen(); });
            // A port that went away ends the status wait instead of writing into nothing;
            // a wait switched off meanwhile (Cancel, Abort, Disable) is not sent again, since
            // the handler that switched it may have put its own command into the text.
            if (statusMatch || !link.isOpen() || !statusWaitMode)
                return;
            continue;
        }
        return;
    }
}

// -------------------------------------------------------------------- reception

QString TerminalCore::readInput()
{
    return fromWire(link.read(readLength));
}

void TerminalCore::onReceived()
{
    handleReceived();
    // With a read length of 1 each event takes only part of what is waiting; come
    // back for the rest once the current handlers have returned.
    if (link.isOpen() && link.bytesAvailable() > 0 && !m_receivePosted) {
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
    if (answers.captureMode && link.isOpen())
        receiveCapture();
    else if (answers.downloadBranch)
        receiveDownload();
    else if (terminalVisible && link.isOpen())
        receiveTerminal();
    else
        receiveCommand();
}

void TerminalCore::receiveCapture()
{
    // Auto-configuration and the diagnostic log look for their marker in the text
    // itself.
    receiveChunk = readInput();
    QString& text = answers.captureText;
    text += receiveChunk;
    if (text.size() > MaxPending)
        text = text.right(MaxPending);
    Q_EMIT answers.updated();
}

void TerminalCore::receiveTerminal()
{
    if (terminalLineFlag) {
        receiveChunk = readInput();
        receiveAccumulator += receiveChunk;
        if (receiveAccumulator.size() > MaxPending && !receiveAccumulator.contains(CR))
            receiveAccumulator.clear();
        if (receiveAccumulator.contains(CR) && receiveAccumulator.size() >= 2) {
            FlushTerminalLines();
            Q_EMIT terminalCursorToEnd();
        }
        processPendingEvents();
    } else {
        link.read(0);
    }
    // Nothing shown changes here but the terminal text, which says so itself.
    responseBuffer.clear();
    responseLine.clear();
    awaitingAnswer = 0;
}

void TerminalCore::receiveCommand()
{
    receiveChunk = readInput();
    receiveAccumulator = receiveChunk;
    responseBuffer += receiveChunk;
    receiveChunk = readInput();
    responseBuffer += receiveChunk;
    const ParsedAnswer answer = parseAnswer(responseBuffer,
        { .command = commandText,
            .statusQueryPrefix = statusQueryPrefix,
            .statusWait = statusWaitMode,
            .checksum = cfg.CheckSumChk == 1,
            .maxPending = MaxPending });
    responseBuffer = answer.buffer;
    if (answer.complete)
        showAnswer(answer);
}

void TerminalCore::showAnswer(const ParsedAnswer& answer)
{
    statusLow.clear();
    statusHigh.clear();
    responseLine = answer.line;
    answerRejected = answer.rejected;
    lastResponse = responseLine;
    convertNumber();
    if (ListRecv.size() > 5)
        ListRecv.removeFirst();
    if (cfg.ChkStatus == 1) {
        TextRecv = responseLine;
        // An answer that failed its check says nothing about the status: decoding
        // its empty text would show status 0 ("Drive Enabled", no alert).
        if (answer.statusQuery && !answerRejected)
            showdiag();
        else if (answerRejected)
            listsAlert = false;
    }
    if (ListRecv.size() >= 5)
        ListRecv.removeFirst();
    if (answer.statusQuery && awaitingAnswer == 1)
        CheckForST();
    ListRecv.append(responseLine);
    const QString shown = responseLine;
    responseBuffer.clear();
    responseLine.clear();
    awaitingAnswer = 0;
    changed();
    Q_EMIT answerShown(shown);
}

void TerminalCore::receiveDownload()
{
    if (link.bytesAvailable() > 0) {
        receiveChunk = readInput();
        receiveAccumulator += receiveChunk;
        if (receiveAccumulator.size() > MaxPending)
            receiveAccumulator.clear();
        if (!receiveAccumulator.contains(CR))
            return;
        QString& marked = answers.markedAnswer;
        marked = receiveAccumulator;
        if (!answers.answerMarker.isEmpty()) {
            const qsizetype p = receiveAccumulator.indexOf(answers.answerMarker);
            if (p >= 0)
                marked = receiveAccumulator.mid(p);
        }
        const auto notify = qScopeGuard([this] { Q_EMIT answers.updated(); });
        if (commandText.isEmpty() || receiveAccumulator.contains(commandText)) {
            const qsizetype zeros = receiveAccumulator.indexOf(QLatin1String("00"));
            if (zeros < 0)
                return;
            receiveAccumulator = receiveAccumulator.mid(zeros);
            commandText.clear();
            if (!receiveAccumulator.contains(CR))
                return;
        }
        if (answers.collecting) {
            answers.collectedAnswers += marked;
            if (answers.collectedAnswers.size() > 16 * 1024 * 1024)
                answers.collectedAnswers.clear(); // no read of this program collects that much
        }
        commandText.clear();
        receiveAccumulator.clear();
    }
    responseBuffer.clear();
    responseLine.clear();
    awaitingAnswer = 0;
}

void TerminalCore::convertNumber()
{
    const QString& b = responseBuffer;
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
        responseLine = QString::number(nodeNumber) + QLatin1Char(' ') + withSign(v);
    } else {
        responseLine = QString::number(nodeNumber) + QLatin1String("  ") + value;
    }
}

// ------------------------------------------------------- status decoding and check

void TerminalCore::showdiag()
{
    statusLow.clear();
    statusHigh.clear();
    const qsizetype space = lastResponse.indexOf(QLatin1Char(' '));
    const QString statusText = lastResponse.mid(space + 1);
    const auto status = static_cast<quint16>(readHex(statusText));
    TextRecv = lastResponse;
    const StatusDescription d = describeStatus(status);
    statusLow = d.list1;
    statusHigh = d.list2;
    listsAlert = d.alert;
    changed();
}

void TerminalCore::CheckForST()
{
    if (!commandText.contains(QLatin1Char(' ')))
        return;
    if (lastResponse.size() < 3)
        return;
    const qsizetype space = lastResponse.indexOf(QLatin1Char(' '));
    const QString statusText = lastResponse.mid(space + 1);
    if (statusText.size() > 4)
        return;
    TextRecv = responseLine;
    Q_EMIT statusAnswered(static_cast<qint16>(readHex(statusText)));
}

void TerminalCore::clearReception()
{
    receiveAccumulator.clear();
    responseBuffer.clear();
    changed();
}

// ----------------------------------------------------------------- window state

void TerminalCore::refreshFilelist()
{
    Filelist.clear();
    if (!filelistPath.isEmpty()) {
        // Patterns match without regard to case ("*.cmd" and "*.Cmd" alike).
        QDir dir(
            filelistPath, QString(), QDir::Name | QDir::IgnoreCase, QDir::Files | QDir::Readable);
        dir.setNameFilters(filelistPattern.split(QLatin1Char(';')));
        Filelist = dir.entryList();
    }
    if (filelistIndex >= Filelist.size())
        filelistIndex = -1;
    changed();
}

void TerminalCore::selectFile(int index, const QString& name)
{
    filelistIndex = index;
    Filename = name;
    changed();
}

void TerminalCore::setWindowEnabled(bool enabled)
{
    windowEnabled = enabled;
    changed();
}

void TerminalCore::setWorkingDir(const QString& dir)
{
    currentWorkingDir = dir;
    changed();
}

void TerminalCore::setStatusFrame(bool visible)
{
    statusLow.clear();
    statusHigh.clear();
    TextRecv.clear();
    statusFrameVisible = visible;
    changed();
}

void TerminalCore::showMessageCaption(const QString& text)
{
    caption = text;
    messageCaptionFlag = true;
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
    responseBuffer.clear();
    responseLine.clear();
    commandText.clear();
    receiveAccumulator.clear();
    awaitingAnswer = 0;
    terminalVisible = true;
    commandFileFrameVisible = false; // the terminal frame takes the command file frame's place
    statusFrameVisible = false;
    receiveFrameVisible = false;
    SendFrameVisible = false;
    Q_EMIT focusRequested(QStringLiteral("TextTerminal"));
    terminalLineFlag = true;
    changed();
}

void TerminalCore::commandMode()
{
    terminalVisible = false;
    commandFileFrameVisible = true;
    SendFrameVisible = true;
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
    filelistPath = currentWorkingDir;
    filelistPattern = QStringLiteral("*.Cmd");
    refreshFilelist();
    tick();
}

void TerminalCore::openConfiguration()
{
    terminalVisible = false;
    commandFileFrameVisible = true;
    windowEnabled = false;
    settings.ReadConfigFile(cfg);
    Q_EMIT configWindowRequested();
    SendFrameVisible = true;
    changed();
}

void TerminalCore::openDownloadWindow()
{
    Q_EMIT downloadWindowRequested();
}

void TerminalCore::toggleDirectoryCaption()
{
    directoryCaptionFlag = !directoryCaptionFlag;
}

void TerminalCore::tick()
{
    mainTicks = mainTicks < 10000 ? mainTicks + 1 : 0;
    bool frame7 = statusFrameVisible;
    bool frame2 = receiveFrameVisible;
    bool send = SendFrameVisible;
    if (terminalVisible) {
        frame7 = false;
        send = false;
        frame2 = false;
    } else {
        frame7 = cfg.ChkStatus == 1;
        // Without the status frame nothing else would show the answers.
        frame2 = !frame7;
    }
    QString newCaption = caption;
    if (!messageCaptionFlag) {
        if (directoryCaptionFlag)
            newCaption = currentWorkingDir;
        else
            newCaption = savedCaption
                + (cfg.CheckSumChk == 1 ? QStringLiteral("                 Checksum Active")
                                        : QString());
    }
    if (frame7 != statusFrameVisible || frame2 != receiveFrameVisible || send != SendFrameVisible
        || newCaption != caption) {
        statusFrameVisible = frame7;
        receiveFrameVisible = frame2;
        SendFrameVisible = send;
        caption = newCaption;
        changed();
    }
}

void TerminalCore::ExitProgram()
{
    if (link.isOpen())
        link.close();
    Q_EMIT exitRequested();
}

// --------------------------------------------------------- command entry, terminal

bool TerminalCore::TransmitText_Enter(const QString& boxText)
{
    if (!link.isOpen()) {
        prompter.message(
            QStringLiteral("Please check Port Configuration"), PromptIcon::Exclamation);
        return false;
    }
    if (portReady) {
        readLength = 0;
        link.read(0);
        readLength = 1;
    }
    stopRequest = true;
    continuousRun = false;
    processPendingEvents();
    stopRequest = false;
    continuousRun = true;
    commandText = trimTrailing(boxText);
    SendCommand();
    return true;
}

void TerminalCore::terminalKey(QChar key)
{
    terminalLineFlag = key == CR;
    if (link.isOpen()) {
        link.write(QByteArray(1, char(key.unicode() & 0xFF)));
        processPendingEvents();
    }
    // Local echo, as the box itself would show the key.
    if (key == CR)
        TextTerminal += QLatin1String("\r\n");
    else if (key == QLatin1Char('\b'))
        TextTerminal.chop(TextTerminal.endsWith(QLatin1String("\r\n")) ? 2 : 1);
    else if (key.unicode() >= 0x20)
        TextTerminal += key;
    changed();
}

void TerminalCore::home()
{
    mainTicks = 0;
    // Twice TxDelay ticks of 50 ms. The tick count wraps after 10000, so a longer
    // pause could never end: it is held to the longest the count can reach.
    const qint64 d = std::clamp<qint64>(roundHalfEven(2 * readDecimal(cfg.TXdelay)), 0, 10000);
    commandText = Tyx::Home;
    SendCommand();
    waitUntil([this, d] { return mainTicks >= d; });
    commandText = Tyx::Enable;
    SendCommand();
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
}

void TerminalCore::cancelCommandFile()
{
    using C = Controls;
    setEnabled(
        { &C::EditCmd, &C::ExecuteCmdFile, &C::DeleteCmd, &C::Filename, &C::Filelist }, true);
    setEnabled({ &C::PauseCmd, &C::CancelCmd }, false);
    stopRequest = true;
    statusWaitMode = false;
    messageCaptionFlag = false;
    setEnabled({ &C::TransmitText, &C::CmdManual, &C::CmdTerminal, &C::CmdHome }, true);
}

void TerminalCore::disable()
{
    commandText = Tyx::Disable;
    SendCommand();
    if (statusWaitMode)
        cancelCommandFile();
    setEnabled({ &Controls::TransmitText }, true);
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
}

void TerminalCore::abort()
{
    commandText = Tyx::Abort;
    SendCommand();
    if (statusWaitMode)
        cancelCommandFile();
    setEnabled({ &Controls::TransmitText }, true);
    Q_EMIT focusRequested(QStringLiteral("TransmitText"));
}

void TerminalCore::clearReceived()
{
    ListRecv.clear();
    changed();
}

void TerminalCore::clearTerminal()
{
    TextTerminal.clear();
    changed();
    Q_EMIT focusRequested(QStringLiteral("TextTerminal"));
}

void TerminalCore::FlushTerminalLines()
{
    QString& a = receiveAccumulator;
    if (!a.contains(CR))
        return;
    mainTicks = 0;
    for (;;) {
        // Line ends left in front (the echo of Enter, the LF of the previous line's
        // CR LF) end no line of their own: drop them and look for the next CR.
        while (startsWithLineEnd(a))
            a.remove(0, 1);
        if (a.size() < 2)
            return;
        const qsizetype p = a.indexOf(CR);
        if (p < 0)
            return;
        QString line = a.left(p);
        a.remove(0, p + 1);
        if (startsWithLineEnd(line))
            line.remove(0, 1);
        if (TextTerminal.size() > 1000)
            TextTerminal.clear();
        TextTerminal += line + QLatin1String("\r\n");
        Q_EMIT terminalTextChanged();
        processPendingEvents();
    }
}
