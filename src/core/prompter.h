#pragma once

#include <QList>
#include <QString>
#include <functional>

// Every message box and question of the program goes through one Prompter, so that
// the GUI shows real dialogs, the CLI writes to stderr and tests answer on cue.

enum class PromptIcon { None, Information, Exclamation, Critical, Question };
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct PromptMessage
{
    QString text;
    QString title; // empty: the program's name
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    PromptAnswer defaultAnswer = PromptAnswer::Ok;
};

class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual PromptAnswer show(const PromptMessage& message) = 0;

    // A message with an OK button only.
    void message(const QString& text, PromptIcon icon = PromptIcon::None, const QString& title = {});
    PromptAnswer ask(const QString& text, PromptButtons buttons, PromptIcon icon,
        PromptAnswer defaultAnswer, const QString& title = {});

    static QString programName() { return QStringLiteral("ZAZIRUV"); }
};

// Answers from a queue, then with each question's default; keeps what was shown.
class ScriptedPrompter : public Prompter
{
public:
    PromptAnswer show(const PromptMessage& message) override;

    QList<PromptMessage> shown;
    QList<PromptAnswer> answers;
    // Runs while the "box" is open, as a modal dialog would let events run.
    std::function<void(const PromptMessage&)> onShow;

    QStringList texts() const;
};

// For the command line: messages go to stderr; a question takes the answer given
// for its title or text (set by options), else its default button.
class HeadlessPrompter : public Prompter
{
public:
    PromptAnswer show(const PromptMessage& message) override;

    // Answers keyed by the question's text or title.
    QList<QPair<QString, PromptAnswer>> presets;
    std::function<void(const PromptMessage&)> onShow;
};
