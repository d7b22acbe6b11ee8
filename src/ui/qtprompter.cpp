#include "qtprompter.h"

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

PromptAnswer QtPrompter::show(const PromptMessage& message)
{
    QWidget* parent = QApplication::activeWindow();
    if (!parent || !parent->isEnabled())
        parent = m_parent;
    auto box = makeBox(message, parent);
    box->exec();
    return answerOf(*box);
}
