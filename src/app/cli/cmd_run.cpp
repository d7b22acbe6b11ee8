// zaziruv-cli run FILE: runs a command file as the Execute button does. The repeat
// question is answered No, or Yes with --repeat (the run then ends on SIGINT or after
// --passes N whole runs). MESSAGE texts go to stdout, one a line; "Pause" goes to
// stderr and waits for Enter when stdin is a terminal.

#include "commands.h"
#include "core/numbers.h"

#include "cmdrun/commandfilerunner.h"
#include "core/eventwait.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFileInfo>
#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

// The run's own answers; every other message goes to the session's prompter.
class RunPrompter : public Prompter
{
public:
    RunPrompter(Prompter& next, bool repeat, const bool& interrupted)
        : m_next(next)
        , m_repeat(repeat)
        , m_interrupted(interrupted)
    {
    }

    PromptAnswer show(const PromptMessage& message) override
    {
        if (message.text == CommandFileRunner::RepeatQuestion)
            return m_repeat ? PromptAnswer::Yes : PromptAnswer::No;
        if (message.text == CommandFileRunner::PauseMessage) {
            std::fprintf(stderr, "Pause\n");
            std::fflush(stderr);
            if (::isatty(STDIN_FILENO))
                waitForEnter();
            return PromptAnswer::Ok;
        }
        return m_next.show(message);
    }

private:
    // Lets the serial port and the timers run while the operator reads the pause.
    void waitForEnter()
    {
        bool done = false;
        QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0 || QByteArrayView(buffer, n).contains('\n'))
                done = true;
        });
        waitUntil([&] { return done || m_interrupted; });
    }

    Prompter& m_next;
    bool m_repeat;
    const bool& m_interrupted;
};

} // namespace

int runRun(CliContext& ctx, QStringList& args)
{
    bool repeat = takeFlag(args, QStringLiteral("--repeat"));
    QString value;
    bool present = false;
    int passes = 0;
    if (!takeOption(args, QStringLiteral("--passes"), value, present))
        return 2;
    if (present) {
        const auto n = readIntOption(value, 1, INT_MAX);
        if (!n) {
            CliContext::error(
                QStringLiteral("run: --passes needs a positive number, not \"%1\"").arg(value));
            return 2;
        }
        passes = *n;
        repeat = true;
    }
    if (!noUnknownOption(QStringLiteral("run"), args))
        return 2;
    if (args.size() != 1) {
        CliContext::error(args.isEmpty() ? QStringLiteral("run: no command file given")
                                         : QStringLiteral("run: one command file at a time"));
        return 2;
    }
    TerminalCore* core = ctx.session();
    if (!core)
        return 1;
    // FILE is relative to the working directory (--dir, else the WorkingDir setting),
    // as for check and prep.
    QString path = args.first();
    if (QFileInfo(path).isRelative())
        path = QDir(core->workingDir()).filePath(path);
    const QFileInfo file(path);
    if (!file.exists()) {
        CliContext::error(QStringLiteral("run: the command file \"%1\" does not exist")
                              .arg(QDir::toNativeSeparators(path)));
        return 1;
    }
    if (!core->link().isOpen()) {
        CliContext::error(
            QStringLiteral("the serial port is not open: %1").arg(core->link().statusText()));
        return 1;
    }
    core->setWorkingDir(file.absolutePath());
    core->setFileName(file.fileName());

    bool interrupted = false;
    RunPrompter prompter(ctx.prompter, repeat, interrupted);
    CommandFileRunner runner(*core, prompter);
    runner.setPassLimit(passes);
    QObject::connect(&runner, &CommandFileRunner::messageShown, [](const QString& text) {
        std::printf("%s\n", text.toLocal8Bit().constData());
        std::fflush(stdout);
    });

    // SIGINT cancels the run as the Cancel button does; it ends at its next line.
    {
        Interrupt interrupt(
            [&] {
                interrupted = true;
                if (runner.isRunning())
                    core->cancelCommandFile();
            },
            Interrupt::Repeat::Every);
        runner.executeCommandFile();
    }

    switch (runner.lastOutcome()) {
    case CommandFileRunner::Outcome::Finished:
        return 0;
    case CommandFileRunner::Outcome::Stopped:
        if (interrupted && repeat)
            return 0; // the way a repeating run ends
        CliContext::error(QStringLiteral("the run was interrupted"));
        return Interrupt::cancelStatus();
    case CommandFileRunner::Outcome::PortClosed: // the runner has said so
    case CommandFileRunner::Outcome::Refused:
    case CommandFileRunner::Outcome::None:
        break;
    }
    return 1;
}
