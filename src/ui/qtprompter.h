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

    // The window boxes open over when no other window of the program is active.
    void setParentWidget(QWidget* parent) { m_parent = parent; }

    // Shows the box transient for and centred over owner(); afterwards the window
    // that was active (or, when it is gone, the owner) is active again.
    PromptAnswer show(const PromptMessage& message) override;
    // The window a box opens over: the active window, else the fallback window, or
    // the window either has opened and now waits for.
    QWidget* owner() const;

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
