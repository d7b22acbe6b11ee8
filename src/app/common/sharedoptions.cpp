#include "sharedoptions.h"

#include "core/numbers.h"

#include <climits>
#include <optional>

SharedOptions::Step SharedOptions::takeAt(QStringList& args, qsizetype i, QString& error)
{
    QString name = args[i];
    if (!name.startsWith(QLatin1String("--")))
        return Step::NotShared;
    const qsizetype eq = name.indexOf(QLatin1Char('='));
    std::optional<QString> attached;
    if (eq >= 0) {
        attached = name.mid(eq + 1);
        name.truncate(eq);
    }
    if (name == QLatin1String("--simulate")) {
        if (attached)
            return Step::NotShared;
        simulate = true;
        args.removeAt(i);
        return Step::Taken;
    }
    const bool known = name == QLatin1String("--settings") || name == QLatin1String("--port")
        || name == QLatin1String("--baud") || name == QLatin1String("--sim-option");
    if (!known)
        return Step::NotShared;

    QString value;
    if (attached) {
        value = *attached;
        args.removeAt(i);
    } else {
        if (i + 1 >= args.size()) {
            error = QStringLiteral("%1 needs a value").arg(name);
            return Step::Failed;
        }
        value = args[i + 1];
        args.remove(i, 2);
    }

    if (name == QLatin1String("--settings")) {
        settingsPath = value;
    } else if (name == QLatin1String("--port")) {
        port = value;
    } else if (name == QLatin1String("--baud")) {
        const auto n = readIntOption(value, 1, INT_MAX);
        if (!n) {
            error = m_program == Program::Cli
                ? QStringLiteral("--baud needs a positive number, not \"%1\"").arg(value)
                : QStringLiteral("--baud needs a number of at least 1, not \"%1\"").arg(value);
            return Step::Failed;
        }
        baud = *n;
    } else if (m_program == Program::Cli) {
        simArgs += value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    } else {
        simArgs.append(value);
    }
    return Step::Taken;
}

bool SharedOptions::takeAll(QStringList& args, QString& error)
{
    for (qsizetype i = 0; i < args.size();) {
        switch (takeAt(args, i, error)) {
        case Step::NotShared:
            ++i;
            break;
        case Step::Taken:
            break;
        case Step::Failed:
            return false;
        }
    }
    return true;
}
