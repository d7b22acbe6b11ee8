#include "portprobe.h"

#include "core/eventwait.h"
#include "core/prompter.h"
#include "core/ticktimer.h"
#include "core/wholefile.h"
#include "link/commandset.h"
#include "link/framing.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

const QString PortProbe::ProbeSuccessText = QStringLiteral("Serial Port Configured Successfully!");
const QString PortProbe::DebugSuccessText = QStringLiteral("'TYXLOG'  Created Successfully!");
const QString PortProbe::DebugPortClosedText
    = QStringLiteral("The serial port is not open: 'TYXLOG' was not created. Check the port in the "
                     "configuration.");
const QString PortProbe::DebugPortLostText = QStringLiteral(
    "The serial port closed during the diagnostic log (%1): 'TYXLOG' was not created.");

namespace {
const QString CR = QStringLiteral("\r");

// Bytes an answer may take on the line: a status answer with its node address,
// check characters and line end fits in 16; the identity answer is longer.
constexpr qint64 AnswerAllowanceBytes = 32;

void dropLeading(QString& text, QChar c)
{
    if (text.startsWith(c))
        text.remove(0, 1);
}

void dropLeadingLineEnd(QString& text)
{
    if (text.startsWith(QLatin1Char('\r')) || text.startsWith(QLatin1Char('\n')))
        text.remove(0, 1);
}
} // namespace

PortProbe::PortProbe(TerminalCore& core_, Prompter& prompter_, QObject* parent)
    : QObject(parent)
    , core(core_)
    , prompter(prompter_)
{
}

void PortProbe::sendAndDrain(const QString& text)
{
    core.link().write(toWire(text));
    core.link().waitForDrain();
}

void PortProbe::waitForAnswer(qint64 bytesSent)
{
    TickTimer& timer = TickTimer::instance();
    // The callers start the tick timer; without it the count would never move.
    const bool started = !timer.isRunning();
    if (started)
        timer.start();
    // Seven ticks of a 1 or 2 ms timer are shorter than the line needs at 9600 baud
    // to carry the query still in the UART and the answer (10 bits a character), so
    // the wait lasts at least that long as well.
    const int baud = core.link().baud() > 0 ? core.link().baud() : 9600;
    const qint64 lineMs = ((bytesSent + AnswerAllowanceBytes) * 10 * 1000 + baud - 1) / baud;
    QElapsedTimer clock;
    clock.start();
    const TickTimer::Demand demand(timer);
    const qint64 start = timer.count();
    waitUntil([&] {
        return !core.link().isOpen() || !timer.isRunning()
            || (timer.since(start) >= AnswerTicks && clock.elapsed() >= lineMs);
    });
    if (started)
        timer.stop();
}

void PortProbe::probeOnce()
{
    AnswerChannel& answers = core.answers();
    answers.setAnswerMarker(CR);
    sendAndDrain(answers.answerMarker());

    answers.clearTexts();
    answers.startReading();

    answers.setAnswerMarker(CR + Tyx::Status + CR);
    sendAndDrain(answers.answerMarker());
    waitForAnswer(answers.answerMarker().size());

    QString answer = answers.captureText();
    dropLeadingLineEnd(answer);
    const qsizetype at = answer.indexOf(answers.answerMarker());
    if (at >= 0)
        answer = answer.mid(at + answers.answerMarker().size());
    dropLeading(answer, QLatin1Char('\r'));
    dropLeading(answer, QLatin1Char('\n'));
    // The probe collects nothing for the download window; leaving the flag on would
    // make its next exchanges pile up in the collected answers.
    answers.endReading();

    m_probeSuccess = false;
    // A port lost during the probe is not configured, whatever came back before.
    if (core.link().isOpen() && !answer.isEmpty() && answer.contains(QLatin1String("00"))) {
        m_probeSuccess = true;
        prompter.message(ProbeSuccessText, PromptIcon::Information);
    }
}

QByteArray PortProbe::debugRecord(const QString& logText)
{
    QByteArray record = toWire(logText.left(DebugRecordBytes));
    record.append(DebugRecordBytes - record.size(), ' ');
    return record;
}

bool PortProbe::writeDiagnosticLog()
{
    m_debugLogText.clear();
    if (!core.link().isOpen()) {
        // Nothing could be asked: a log of empty answers would read as a controller
        // that is connected and silent, so no file is written.
        prompter.message(DebugPortClosedText, PromptIcon::Exclamation);
        return false;
    }

    AnswerChannel& answers = core.answers();
    answers.setCaptureMode(true);
    QString log;
    answers.setAnswerMarker(CR);
    sendAndDrain(answers.answerMarker());
    for (const QString& query : Tyx::DebugQueries) {
        if (!core.link().isOpen())
            break;
        answers.clearTexts();
        answers.startReading();
        answers.setAnswerMarker(query + CR);
        sendAndDrain(answers.answerMarker());
        waitForAnswer(answers.answerMarker().size());
        QString answer = answers.captureText();
        dropLeadingLineEnd(answer);
        log += query + QStringLiteral(" = ") + answer;
        answers.setAnswerMarker(CR);
        sendAndDrain(answers.answerMarker());
    }
    answers.endReading();
    m_debugLogText = log;
    if (!core.link().isOpen()) {
        // The answers from the loss on would be blank: a log that reads as a silent
        // controller. None is written.
        answers.setCaptureMode(false);
        answers.clearTexts();
        core.clearReception();
        prompter.message(DebugPortLostText.arg(core.link().statusText()), PromptIcon::Critical);
        return false;
    }

    const QString dir = core.workingDir().isEmpty() ? QDir::currentPath() : core.workingDir();
    const QString path = QDir(dir).filePath(DebugFileName);
    // The whole file is replaced: bytes of an older, longer log past the record would
    // otherwise read as part of this one.
    QString why;
    const bool written = writeFileAtomically(path, debugRecord(log), &why);

    // What arrived during the log is no answer of the main window's: leaving it
    // would show it in front of the next command's answer.
    answers.setCaptureMode(false);
    answers.clearTexts();
    core.clearReception();

    if (!written) {
        prompter.message(QStringLiteral("'TYXLOG' could not be written to \"%1\": %2")
                             .arg(QDir::toNativeSeparators(path), why),
            PromptIcon::Exclamation);
        return false;
    }
    core.setSelectedCommandFile(path);
    // The operator is to send the file on: say where it is.
    prompter.message(
        DebugSuccessText + QStringLiteral("\r\nIt is %1").arg(QDir::toNativeSeparators(path)),
        PromptIcon::Information);
    return true;
}
