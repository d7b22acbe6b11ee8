#include "specialfunctions.h"

#include "core/prompter.h"
#include "terminal/terminalcore.h"

#include <QDir>

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
    startText.clear();
    countText.clear();
    uploadFile = QStringLiteral("Temporary.cmd");
    readModeShown = false;
    AsciiOpt = true;
    lastUpload = Outcome::NotStarted;
    lastClear = Outcome::NotStarted;
    update();
}

bool SpecialFunctions::portReady()
{
    if (controller.core.link().isOpen())
        return true;
    controller.prompter.message(PortText, PromptIcon::Critical);
    return false;
}

void SpecialFunctions::manualUpload()
{
    lastUpload = Outcome::NotStarted;
    EepromProtocol& p = controller.protocol;
    const qint64 start = leadingValue(startText);
    const qint64 count = leadingValue(countText);
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
    p.PortLost = false;
    controller.showProgress();
    // Only a read marks nothing, and Cancel must not mark the memory either.
    p.SkipIncompleteMark = true;
    p.ReadAsText = AsciiOpt;
    controller.progressLabel = QStringLiteral("Uploading...");
    update();
    p.CheckForIncomplete();
    p.ReadStartAddress = QString::number(start);
    p.ReadByteCount = int(std::max<qint64>(0, count));
    QByteArray text;
    if (!p.PortLost)
        p.UploadFile(text);
    controller.hideProgress();
    // Only a whole read replaces the file.
    if (p.CancelRequested) {
        lastUpload = Outcome::Cancelled;
    } else if (p.PortLost) {
        controller.prompter.message(DownloadController::MemoryPortLostText, PromptIcon::Critical);
        lastUpload = Outcome::PortLost;
    } else if (!p.Unanswered.isEmpty()) {
        controller.prompter.message(EepromProtocol::unansweredText(p.Unanswered)
                + QStringLiteral(" %1 was not written.").arg(uploadFile),
            PromptIcon::Critical);
        lastUpload = Outcome::Failed;
    } else if (!controller.writeWholeFile(uploadFile, text)) {
        lastUpload = Outcome::Failed;
    } else {
        lastUpload = Outcome::Completed;
    }
    update();
}

void SpecialFunctions::editUploadFile()
{
    if (uploadFile.isEmpty()) {
        controller.prompter.message(QStringLiteral("Please select a file or Enter new file name!"));
        return;
    }
    QString why;
    if (!controller.editor.open(QDir(controller.workingDir()).filePath(uploadFile), &why))
        controller.prompter.message(why, PromptIcon::Exclamation);
}

void SpecialFunctions::clearMacros()
{
    lastClear = Outcome::NotStarted;
    EepromProtocol& p = controller.protocol;
    p.SkipIncompleteMark = false;
    p.PortLost = false;
    if (!portReady())
        return;
    controller.showProgress();
    controller.windowEnabled = false;
    controller.progressLabel = QStringLiteral("Clearing TYX Program Memory..");
    update();
    controller.Cancel_Macro_Execute();
    // Cancelled or not, the memory is marked: that is what Cancel would leave too.
    p.MarkIncomplete();
    // Only the controller's answer shows that the mark is there.
    const bool confirmed = controller.core.link().isOpen() && p.confirmMark('I');
    controller.hideProgress();
    if (!controller.core.link().isOpen()) {
        controller.prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
        lastClear = Outcome::PortLost;
    } else if (!confirmed) {
        lastClear = Outcome::Failed;
    } else {
        lastClear = p.CancelRequested ? Outcome::Cancelled : Outcome::Completed;
    }
    update();
}

void SpecialFunctions::stopMacros()
{
    if (portReady())
        controller.Cancel_Macro_Execute();
}

void SpecialFunctions::toggleReadMode()
{
    readModeShown = !readModeShown;
    update();
}

void SpecialFunctions::unload()
{
    controller.specialVisible = false;
    controller.windowEnabled = true;
    update();
}
