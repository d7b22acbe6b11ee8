#include "specialfunctions.h"

#include "core/operation.h"
#include "core/prompter.h"
#include "terminal/terminalcore.h"

#include <QDir>

const QString SpecialFunctions::CountText
    = QStringLiteral("The Number of Characters to Read must not be more than 32767.");
const QString SpecialFunctions::StartText
    = QStringLiteral("The Start Location must be from 0 to 32767.");

const QString SpecialFunctions::ClearQuestion
    = QStringLiteral("Mark every stored macro incomplete? None will run until the next download.");
const QString SpecialFunctions::ClearedText = QStringLiteral(
    "Every stored macro is marked incomplete. None will run until the next download.");
const QString SpecialFunctions::ClearUnconfirmedText
    = QStringLiteral("The TYX did not confirm the incomplete mark: its macros may still run.");

namespace {

// The leading whole number of a dialog's text (blanks skipped, a sign allowed), held
// well past the 16-bit range so that a too large value can be told apart; 0 when
// the text does not begin with one.
qint64 leadingValue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    const bool negative = i < text.size() && text[i] == u'-';
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<qint64>(value * 10 + (text[i].unicode() - u'0'), 1000000000);
    return negative ? -value : value;
}

} // namespace

SpecialFunctions::SpecialFunctions(DownloadController& controller_, QObject* parent)
    : QObject(parent)
    , controller(controller_)
{
}

void SpecialFunctions::load()
{
    m_startText.clear();
    m_countText.clear();
    m_uploadFile = QStringLiteral("Temporary.cmd");
    m_readModeShown = false;
    m_readAscii = true;
    m_lastUpload = Outcome::Refused;
    m_lastClear = Outcome::Refused;
    m_statusText.clear();
    update();
}

bool SpecialFunctions::portReady()
{
    if (controller.core.link().isOpen())
        return true;
    controller.prompter.message(TerminalCore::PortClosedText, PromptIcon::Critical);
    return false;
}

// "Manual Upload": `count` bytes from `start` into the upload file, as text or numbers.
class SpecialFunctions::Upload final : public Operation
{
public:
    Upload(SpecialFunctions& s, int start, int count)
        : m_s(s)
        , m_start(start)
        , m_count(count)
    {
    }
    QString label() const override { return QStringLiteral("Uploading..."); }
    Outcome run() override
    {
        DownloadController& c = m_s.controller;
        EepromProtocol& p = c.protocol();
        // Only a read marks nothing, and Cancel must not mark the memory either.
        const EepromProtocol::Session session(p, *this, false);
        p.checkForIncomplete();
        QByteArray text;
        if (!p.portLost())
            text = p.readText(m_start, m_count, m_s.m_readAscii);
        Q_EMIT progressShown(false);
        // Only a whole read replaces the file.
        if (p.cancelRequested())
            return Outcome::Cancelled;
        if (p.portLost()) {
            c.prompter.message(DownloadController::MemoryPortLostText, PromptIcon::Critical);
            return { Outcome::PortLost, DownloadController::MemoryPortLostText };
        }
        if (!p.unanswered().isEmpty()) {
            c.prompter.message(EepromProtocol::unansweredText(p.unanswered())
                    + QStringLiteral(" %1 was not written.").arg(m_s.m_uploadFile),
                PromptIcon::Critical);
            return Outcome::Failed;
        }
        return c.writeWholeFile(m_s.m_uploadFile, text) ? Outcome::Completed : Outcome::Failed;
    }

private:
    SpecialFunctions& m_s;
    int m_start;
    int m_count;
};

void SpecialFunctions::manualUpload()
{
    m_lastUpload = Outcome::Refused;
    const qint64 start = leadingValue(m_startText);
    const qint64 count = leadingValue(m_countText);
    if (!controller.uploadPortReady())
        return;
    if (start < 0 || start > MaxCount) {
        controller.prompter.message(StartText, PromptIcon::Exclamation);
        return;
    }
    if (count > MaxCount) {
        controller.prompter.message(CountText, PromptIcon::Exclamation);
        return;
    }
    // The choice stays in force for the upload panel's Read Back, which shows it.
    controller.setReadBackAsText(m_readAscii);
    const int bytes = int(std::max<qint64>(0, count));
    Upload upload(*this, int(start), bytes);
    m_lastUpload = controller.run(upload);
    if (m_lastUpload == Outcome::Completed)
        m_statusText
            = QStringLiteral("Read %1 bytes from location %2 %3 into %4.")
                  .arg(bytes)
                  .arg(start)
                  .arg(m_readAscii ? QStringLiteral("as text") : QStringLiteral("as numbers"),
                      m_uploadFile);
    else if (m_lastUpload == Outcome::Cancelled)
        m_statusText = QStringLiteral("Upload cancelled: %1 was not written.").arg(m_uploadFile);
    else
        m_statusText = QStringLiteral("Upload failed: %1 was not written.").arg(m_uploadFile);
    update();
}

void SpecialFunctions::setStartText(const QString& text)
{
    m_startText = text;
    update();
}

void SpecialFunctions::setCountText(const QString& text)
{
    m_countText = text;
    update();
}

void SpecialFunctions::setUploadFile(const QString& name)
{
    m_uploadFile = name;
    update();
}

void SpecialFunctions::setReadAscii(bool on)
{
    m_readAscii = on;
    update();
}

void SpecialFunctions::editUploadFile()
{
    if (m_uploadFile.isEmpty()) {
        controller.prompter.message(QStringLiteral("Please select a file or Enter new file name!"));
        return;
    }
    QString why;
    if (!controller.editor().open(QDir(controller.workingDir()).filePath(m_uploadFile), &why))
        controller.prompter.message(why, PromptIcon::Exclamation);
}

// "Clear Macros": running macros stopped, then the memory marked incomplete and the
// mark read back.
class SpecialFunctions::Clear final : public Operation
{
public:
    explicit Clear(DownloadController& c)
        : m_c(c)
    {
    }
    QString label() const override { return QStringLiteral("Clearing TYX Program Memory.."); }
    Outcome run() override
    {
        EepromProtocol& p = m_c.protocol();
        const EepromProtocol::Session session(p, *this, true);
        m_c.stopMacros();
        // Cancelled or not, the memory is marked: that is what Cancel would leave too.
        p.markIncomplete();
        // Only the controller's answer shows that the mark is there.
        const bool confirmed = m_c.core.link().isOpen() && p.confirmMark('I');
        Q_EMIT progressShown(false);
        if (!m_c.core.link().isOpen()) {
            m_c.prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
            return { Outcome::PortLost, EepromProtocol::PortLostText };
        }
        if (!confirmed)
            return Outcome::Failed;
        return p.cancelRequested() ? Outcome::Cancelled : Outcome::Completed;
    }

private:
    DownloadController& m_c;
};

void SpecialFunctions::clearMacros()
{
    m_lastClear = Outcome::Refused;
    if (!portReady())
        return;
    Clear clear(controller);
    m_lastClear = controller.run(clear);
    update();
}

void SpecialFunctions::confirmClearMacros()
{
    if (controller.prompter.ask(
            ClearQuestion, PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No)
        != PromptAnswer::Yes) {
        m_statusText = QStringLiteral("Clear Macros: nothing was changed.");
        update();
        return;
    }
    clearMacros();
    if (m_lastClear == Outcome::Refused || m_lastClear == Outcome::PortLost)
        return; // said already
    // Cancelled or not, the mark is written (see Clear); an unconfirmed mark has had
    // its message.
    const bool cleared = m_lastClear != Outcome::Failed;
    m_statusText = cleared ? ClearedText : ClearUnconfirmedText;
    update();
    if (cleared)
        controller.prompter.message(m_statusText, PromptIcon::Information);
}

void SpecialFunctions::stopMacros()
{
    if (!portReady())
        return;
    controller.stopMacros();
    m_statusText = QStringLiteral("Macro execution stopped on every node.");
    update();
}

void SpecialFunctions::toggleReadMode()
{
    m_readModeShown = !m_readModeShown;
    update();
}

void SpecialFunctions::unload()
{
    controller.closeSpecialFunctions();
    update();
}
