#pragma once

#include "core/prompter.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QMessageBox;

// The window program's prompter: every message and question is a modal QMessageBox
// with the icon, buttons and default button the message asks for. While the box is
// open the event loop runs, so received characters and timers are still served.
class QtPrompter : public Prompter
{
public:
    explicit QtPrompter(QWidget* parent = nullptr);

    // The window boxes are centred on when no other window of the program is active.
    void setParentWidget(QWidget* parent) { m_parent = parent; }

    PromptAnswer show(const PromptMessage& message) override;

    // The box for a message, not yet shown (the title is the program's name when the
    // message has none; CR and CR LF line breaks become new lines).
    static std::unique_ptr<QMessageBox> makeBox(
        const PromptMessage& message, QWidget* parent = nullptr);
    // The answer of a box after it closed; closing it with Escape or the title bar
    // counts as its escape button (Cancel or No, or OK for a plain message).
    static PromptAnswer answerOf(const QMessageBox& box);

private:
    QPointer<QWidget> m_parent;
};
