// zaziruv-cli send TEXT...: each text as if typed into the command box and Enter
// pressed; prints the answer as the receive list shows it.

#include "commands.h"

#include "core/eventwait.h"
#include "terminal/terminalcore.h"

#include <QTimer>
#include <cstdio>

int runSend(CliContext& ctx, QStringList& args)
{
    const bool decode = takeFlag(args, QStringLiteral("--decode"));
    const bool checksumOn = takeFlag(args, QStringLiteral("--checksum"));
    const bool checksumOff = takeFlag(args, QStringLiteral("--no-checksum"));
    const bool decimal = takeFlag(args, QStringLiteral("--decimal"));
    const bool hex = takeFlag(args, QStringLiteral("--hex"));
    if (!noUnknownOption(QStringLiteral("send"), args))
        return 2;
    if ((checksumOn && checksumOff) || (decimal && hex)) {
        CliContext::error(QStringLiteral("send: contradictory options"));
        return 2;
    }
    if (args.isEmpty()) {
        CliContext::error(QStringLiteral("send: no command text given"));
        return 2;
    }

    TerminalCore* core = ctx.session();
    if (!core)
        return 1;
    if (checksumOn || checksumOff)
        core->cfg.CheckSumChk = checksumOn ? 1 : 0;
    if (decimal || hex)
        core->cfg.ChkDecimal = decimal ? 1 : 0;
    if (decode)
        core->cfg.ChkStatus = 1;
    if (!core->link().isOpen()) {
        CliContext::error(
            QStringLiteral("the serial port is not open: %1").arg(core->link().statusText()));
        return 1;
    }

    bool answered = false;
    QString answer;
    QObject::connect(core, &TerminalCore::answerShown, core, [&](const QString& line) {
        answered = true;
        answer = line;
    });

    int status = 0;
    for (const QString& text : std::as_const(args)) {
        answered = false;
        bool timedOut = false;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] { timedOut = true; });
        timer.start(ctx.timeoutMs);
        if (!core->enterCommand(text))
            return 1;
        waitUntil([&] { return answered || timedOut || !core->link().isOpen(); });
        if (!answered) {
            CliContext::error(core->link().isOpen()
                    ? QStringLiteral("no answer to \"%1\" within %2 ms")
                          .arg(text)
                          .arg(ctx.timeoutMs)
                    : QStringLiteral("the port closed while waiting for the answer to \"%1\"")
                          .arg(text));
            status = 1;
            continue;
        }
        std::printf("%s\n", answer.toLatin1().constData());
        if (core->answerRejected()) {
            // Shown empty, as the receive list shows it; never decoded.
            std::fflush(stdout);
            CliContext::error(
                QStringLiteral("the answer to \"%1\" failed its checksum check").arg(text));
            status = 1;
            continue;
        }
        if (decode && core->commandText().toUpper().contains(QLatin1String("ST"))) {
            for (const QString& l : std::as_const(core->statusLines().low))
                std::printf("  %s\n", l.toLatin1().constData());
            for (const QString& l : std::as_const(core->statusLines().high))
                std::printf("  %s\n", l.toLatin1().constData());
            if (core->statusLines().alert)
                std::printf("ALERT\n");
        }
        std::fflush(stdout);
    }
    return status;
}
