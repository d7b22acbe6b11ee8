#include "specialcore.h"

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

SpecialCore::SpecialCore(UtilityCore& utility_, QObject* parent)
    : QObject(parent)
    , utility(utility_)
{
}

void SpecialCore::Form_Load()
{
    Text1.clear();
    Text2.clear();
    Filename3 = QStringLiteral("Temporary.cmd");
    Frame3Visible = false;
    AsciiOpt = true;
    lastUpload = Outcome::NotStarted;
    lastClear = Outcome::NotStarted;
    update();
}

bool SpecialCore::portReady()
{
    if (utility.core.link.isOpen())
        return true;
    utility.prompter.message(PortText, PromptIcon::Critical);
    return false;
}

void SpecialCore::Command2_Click()
{
    lastUpload = Outcome::NotStarted;
    EepromProtocol& p = utility.protocol;
    const qint64 start = leadingValue(Text1);
    const qint64 count = leadingValue(Text2);
    if (!utility.uploadPortReady())
        return;
    if (start < 0 || start > MaxCount) {
        utility.prompter.message(StartText, PromptIcon::Exclamation);
        return;
    }
    if (count > MaxCount) {
        utility.prompter.message(CountText, PromptIcon::Exclamation);
        return;
    }
    p.PortLost = false;
    utility.showForm1();
    // Only a read marks nothing, and Cancel must not mark the memory either.
    p.SkipIncompleteMark = true;
    p.ReadAsText = AsciiOpt;
    utility.Label1 = QStringLiteral("Uploading...");
    update();
    p.CheckForIncomplete();
    p.ReadStartAddress = QString::number(start);
    p.ReadByteCount = int(std::max<qint64>(0, count));
    QByteArray text;
    if (!p.PortLost)
        p.UploadFile(text);
    utility.hideForm1();
    // Only a whole read replaces the file.
    if (p.CancelRequested) {
        lastUpload = Outcome::Cancelled;
    } else if (p.PortLost) {
        utility.prompter.message(UtilityCore::MemoryPortLostText, PromptIcon::Critical);
        lastUpload = Outcome::PortLost;
    } else if (!p.Unanswered.isEmpty()) {
        utility.prompter.message(EepromProtocol::unansweredText(p.Unanswered)
                + QStringLiteral(" %1 was not written.").arg(Filename3),
            PromptIcon::Critical);
        lastUpload = Outcome::Failed;
    } else if (!utility.writeWholeFile(Filename3, text)) {
        lastUpload = Outcome::Failed;
    } else {
        lastUpload = Outcome::Completed;
    }
    update();
}

void SpecialCore::Command4_Click()
{
    if (Filename3.isEmpty()) {
        utility.prompter.message(QStringLiteral("Please select a file or Enter new file name!"));
        return;
    }
    QString why;
    if (!utility.editor.open(QDir(utility.workingDir()).filePath(Filename3), &why))
        utility.prompter.message(why, PromptIcon::Exclamation);
}

void SpecialCore::Command1_Click()
{
    lastClear = Outcome::NotStarted;
    EepromProtocol& p = utility.protocol;
    p.SkipIncompleteMark = false;
    p.PortLost = false;
    if (!portReady())
        return;
    utility.showForm1();
    utility.windowEnabled = false;
    utility.Label1 = QStringLiteral("Clearing TYX Program Memory..");
    update();
    utility.Cancel_Macro_Execute();
    // Cancelled or not, the memory is marked: that is what Cancel would leave too.
    p.MarkIncomplete();
    // Only the controller's answer shows that the mark is there.
    const bool confirmed = utility.core.link.isOpen() && p.confirmMark('I');
    utility.hideForm1();
    if (!utility.core.link.isOpen()) {
        utility.prompter.message(EepromProtocol::PortLostText, PromptIcon::Critical);
        lastClear = Outcome::PortLost;
    } else if (!confirmed) {
        lastClear = Outcome::Failed;
    } else {
        lastClear = p.CancelRequested ? Outcome::Cancelled : Outcome::Completed;
    }
    update();
}

void SpecialCore::Command3_Click()
{
    if (portReady())
        utility.Cancel_Macro_Execute();
}

void SpecialCore::Form_DblClick()
{
    Frame3Visible = !Frame3Visible;
    update();
}

void SpecialCore::Form_Unload()
{
    utility.Form6Visible = false;
    utility.windowEnabled = true;
    update();
}
