#include "qtprompter.h"

#include "windowplacement.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::Icon boxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Exclamation:
        return QMessageBox::Warning;
    case PromptIcon::Critical:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton standardButton(PromptAnswer answer)
{
    switch (answer) {
    case PromptAnswer::Ok:
        return QMessageBox::Ok;
    case PromptAnswer::Cancel:
        return QMessageBox::Cancel;
    case PromptAnswer::Yes:
        return QMessageBox::Yes;
    case PromptAnswer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

struct ButtonSet
{
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton escape;
    QMessageBox::StandardButton fallbackDefault;
};

ButtonSet buttonSet(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::OkCancel:
        return { QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Ok };
    case PromptButtons::YesNo:
        return { QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::Yes };
    case PromptButtons::YesNoCancel:
        return { QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel,
            QMessageBox::Yes };
    case PromptButtons::Ok:
        break;
    }
    return { QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok };
}

} // namespace

QtPrompter::QtPrompter(QWidget* parent)
    : m_parent(parent)
{
}

std::unique_ptr<QMessageBox> QtPrompter::makeBox(const PromptMessage& message, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setObjectName(QStringLiteral("PromptBox"));
    box->setWindowTitle(message.title.isEmpty() ? programName() : message.title);
    QString text = message.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setIcon(boxIcon(message.icon));
    const ButtonSet set = buttonSet(message.buttons);
    box->setStandardButtons(set.buttons);
    box->setEscapeButton(set.escape);
    // A default that is not among the buttons falls back to the first one.
    const QMessageBox::StandardButton wanted = standardButton(message.defaultAnswer);
    box->setDefaultButton(set.buttons.testFlag(wanted) ? wanted : set.fallbackDefault);
    return box;
}

PromptAnswer QtPrompter::answerOf(const QMessageBox& box)
{
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked)
        clicked = box.escapeButton();
    switch (box.standardButton(clicked)) {
    case QMessageBox::Cancel:
        return PromptAnswer::Cancel;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    default:
        return PromptAnswer::Ok;
    }
}

QWidget* QtPrompter::owner() const
{
    // The window the operator works in: the active one, else the last one that was
    // shown over the fallback window, else the fallback window itself.
    QWidget* at = QApplication::activeWindow();
    if (at && (qobject_cast<QMessageBox*>(at) || !at->isVisible()))
        at = nullptr;
    if (!at)
        at = m_parent;
    if (!at)
        return nullptr;
    // A window that waits for one it opened (disabled, or not) hands the box to that
    // one, so that closing the box does not bring the waiting window to the front.
    for (int depth = 0; depth < 8; ++depth) {
        QWidget* shownOver = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != at && w->isVisible() && !qobject_cast<QMessageBox*>(w)
                && WindowPlacement::ownerOf(w) == at && (!shownOver || w->isEnabled()))
                shownOver = w;
        }
        if (!shownOver || (at->isEnabled() && at == QApplication::activeWindow()))
            break;
        at = shownOver;
    }
    return at;
}

PromptAnswer QtPrompter::show(const PromptMessage& message)
{
    QPointer<QWidget> active = QApplication::activeWindow();
    QPointer<QWidget> owner = this->owner();
    // No Qt parent: a box that is the child of a disabled window would be disabled too.
    auto box = makeBox(message, nullptr);
    box->setWindowModality(Qt::ApplicationModal);
    if (owner)
        WindowPlacement::placeOver(box.get(), owner);
    box->exec();
    const PromptAnswer answer = answerOf(*box);
    box.reset();
    // The operator goes on where the box interrupted, not in whatever window the
    // window manager picked when the box closed.
    QWidget* back
        = active && active->isVisible() && active->isEnabled() ? active.data() : owner.data();
    if (back && back->isVisible()) {
        back->raise();
        back->activateWindow();
    }
    return answer;
}
