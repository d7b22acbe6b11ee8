// zaziruv-cli settings [--set Name=Value]... [--answer-ok]
//
// Runs the start-up load of the settings as the main window does and prints the
// settings record, one "Name=Value" line per setting. --set writes values first so
// that scripts can configure the program; all of them are checked before any is
// written.

#include "commands.h"
#include "core/numbers.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"

#include <QRegularExpression>
#include <climits>
#include <cstdio>

namespace {

enum class Kind
{
    Number,
    Flag,
    Path
};

struct Known
{
    const char* name;
    Kind kind;
};

// In the order the record is printed.
const Known knownSettings[] = {
    { "ComPort", Kind::Number },
    { "BaudRate", Kind::Number },
    { "DecodeStatus", Kind::Flag },
    { "DecimalValues", Kind::Flag },
    { "Protocol", Kind::Number },
    { "CheckSum", Kind::Flag },
    { "TxDelay", Kind::Number },
    { "WorkingDir", Kind::Path },
};

struct Assignment
{
    QString name;
    QString text;
    bool isNumber = false;
    qint32 number = 0;
};

bool parseAssignment(const QString& arg, Assignment& out)
{
    const qsizetype eq = arg.indexOf(QLatin1Char('='));
    if (eq <= 0) {
        CliContext::error(QStringLiteral("--set needs Name=Value, not \"%1\"").arg(arg));
        return false;
    }
    out.name = arg.left(eq);
    out.text = arg.mid(eq + 1);

    static const QRegularExpression comDevice(QStringLiteral("^ComDevice[1-8]$"));
    std::optional<Kind> kind;
    for (const auto& k : knownSettings) {
        if (out.name == QLatin1String(k.name))
            kind = k.kind;
    }
    if (!kind && comDevice.match(out.name).hasMatch())
        kind = Kind::Path;
    if (!kind) {
        CliContext::error(QStringLiteral("--set: unknown setting \"%1\" (known: ComPort, "
                                         "BaudRate, DecodeStatus, DecimalValues, Protocol, "
                                         "CheckSum, TxDelay, WorkingDir, ComDevice1..ComDevice8)")
                              .arg(out.name));
        return false;
    }

    if (*kind == Kind::Number) {
        const auto n = readIntOption(out.text.trimmed(), INT_MIN, INT_MAX);
        if (!n) {
            CliContext::error(
                QStringLiteral("--set: %1 needs a whole number from -2147483648 to 2147483647, "
                               "not \"%2\"")
                    .arg(out.name, out.text));
            return false;
        }
        out.number = *n;
        out.isNumber = true;
        return true;
    }
    // A longer text could be stored but never read back.
    const int limit
        = (*kind == Kind::Flag ? Settings::FlagBufferBytes : Settings::PathBufferBytes) - 1;
    if (out.text.size() > limit) {
        CliContext::error(
            QStringLiteral("--set: %1 takes at most %2 characters").arg(out.name).arg(limit));
        return false;
    }
    return true;
}

} // namespace

int runSettings(CliContext& ctx, QStringList& args)
{
    QList<Assignment> assignments;
    for (;;) {
        QString value;
        bool present = false;
        if (!takeOption(args, QStringLiteral("--set"), value, present))
            return 2;
        if (!present)
            break;
        Assignment a;
        if (!parseAssignment(value, a))
            return 2;
        assignments.append(a);
    }
    const bool answerOk = takeFlag(args, QStringLiteral("--answer-ok"));
    if (!args.isEmpty()) {
        CliContext::error(args.first().startsWith(QLatin1String("--"))
                ? QStringLiteral("settings: unknown option %1").arg(args.first())
                : QStringLiteral("settings: unexpected argument \"%1\"").arg(args.first()));
        return 2;
    }

    SettingsStore& store = ctx.store();
    if (!assignments.isEmpty()) {
        // On a store that does not exist yet the values go in on top of the first-run
        // defaults; otherwise the next load would find values missing and ask.
        bool written = store.beginWrite();
        if (written) {
            if (store.writesNewFile()) {
                Settings defaults(store, ctx.prompter);
                defaults.setDefaults();
                Settings::putDeviceSettings(store, defaults.record);
            }
            for (const auto& a : assignments) {
                if (a.isNumber)
                    store.setNumber(a.name, a.number);
                else if (a.name.startsWith(QLatin1String("ComDevice")) && a.text.isEmpty())
                    store.remove(a.name);
                else
                    store.setString(a.name, a.text);
            }
            written = store.commit();
        }
        if (!written) {
            CliContext::error(QStringLiteral("cannot write the settings store %1: %2")
                                  .arg(store.path(), store.lastError()));
            return 1;
        }
    }

    if (answerOk)
        ctx.prompter.presets.append({ Settings::CorruptTitle, PromptAnswer::Ok });

    Settings& settings = ctx.settings();
    SettingsInForce inForce;
    settings.ReadConfigFile(inForce);

    const SettingsRecord& r = settings.record;
    // Concatenated rather than QString::arg'ed: a stored text may itself hold "%1".
    const QString lines = QStringLiteral("ComPort=") + QString::number(r.ComPort)
        + QStringLiteral("\nBaudRate=") + QString::number(r.BaudRate)
        + QStringLiteral("\nDecodeStatus=") + r.DecodeStatus + QStringLiteral("\nDecimalValues=")
        + r.DecimalValues + QStringLiteral("\nProtocol=") + QString::number(r.Protocol)
        + QStringLiteral("\nCheckSum=") + r.CheckSum + QStringLiteral("\nTxDelay=")
        + QString::number(r.TxDelay) + QStringLiteral("\nWorkingDir=") + r.WorkingDir
        + QLatin1Char('\n');
    std::fputs(lines.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    return 0;
}
