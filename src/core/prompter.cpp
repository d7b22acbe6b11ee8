#include "prompter.h"

#include <cstdio>

void Prompter::message(const QString& text, PromptIcon icon, const QString& title)
{
    show({ text, title, icon, PromptButtons::Ok, PromptAnswer::Ok });
}

PromptAnswer Prompter::ask(const QString& text, PromptButtons buttons, PromptIcon icon,
    PromptAnswer defaultAnswer, const QString& title)
{
    return show({ text, title, icon, buttons, defaultAnswer });
}

PromptAnswer ScriptedPrompter::show(const PromptMessage& message)
{
    shown.append(message);
    if (onShow)
        onShow(message);
    if (!answers.isEmpty())
        return answers.takeFirst();
    return message.defaultAnswer;
}

QStringList ScriptedPrompter::texts() const
{
    QStringList out;
    for (const auto& m : shown)
        out.append(m.text);
    return out;
}

PromptAnswer HeadlessPrompter::show(const PromptMessage& message)
{
    if (onShow)
        onShow(message);
    QString text = message.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QString title = message.title.isEmpty() ? programName() : message.title;
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    std::fflush(stderr);
    if (message.buttons == PromptButtons::Ok)
        return PromptAnswer::Ok;
    for (const auto& [key, answer] : presets) {
        if (key == message.text || key == message.title)
            return answer;
    }
    return message.defaultAnswer;
}
