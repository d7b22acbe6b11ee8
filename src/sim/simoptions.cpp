#include "simoptions.h"

#include "core/numbers.h"

#include <array>

namespace {

constexpr std::array<int, 13> standardBauds
    = { 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600 };

enum class Kind
{
    Flag,
    Int,
    Hex,
    Path,
    NodeList
};

struct OptionSpec
{
    const char* name;
    Kind kind;
    qint64 min;
    qint64 max;
    const char* value; // what the value is called in --help ("" for a flag)
    const char* help;
};

const OptionSpec specs[] = {
    { "node", Kind::Int, 0, 255, "N",
        "own node address (default 1); lines to node 0 are answered too" },
    { "nodes", Kind::NodeList, 1, 255, "N,N...",
        "controllers sharing the line, each its own memory and state; the first answers node 0" },
    { "status", Kind::Hex, 0, 0xFFFF, "HEX", "status word at start and after RN (default 0100)" },
    { "move-ms", Kind::Int, 0, 3600000, "N", "duration of a HO move in ms (default 300)" },
    { "eeprom-size", Kind::Int, 1, 1048576, "N", "bytes of memory (default 8192)" },
    { "echo", Kind::Flag, 0, 0, "", "echo every received character" },
    { "checksum", Kind::Flag, 0, 0, "",
        "commands must carry \"#\" and two check characters; answers carry them" },
    { "answer-delay-ms", Kind::Int, 0, 60000, "N", "delay of every answer in ms (default 0)" },
    { "baud", Kind::Int, 300, 921600, "N",
        "line speed (default 9600); at any other speed nothing is answered" },
    { "pace", Kind::Flag, 0, 0, "",
        "send and consume characters at the line rate (10 bits a character)" },
    { "drop-every", Kind::Int, 0, 1000000000, "N", "drop every Nth answer" },
    { "corrupt-every", Kind::Int, 0, 1000000000, "N",
        "corrupt the check characters of every Nth answer" },
    { "hangup-after", Kind::Int, 0, 1000000000, "N",
        "hang up (close the line) after N received lines" },
    { "bad-write-every", Kind::Int, 0, 1000000000, "N",
        "every Nth EEW stores the loaded byte plus 1, as a failing cell would" },
    { "eeprom", Kind::Path, 0, 0, "FILE",
        "memory image, loaded at start and written back at exit (--nodes: FILE.N a node)" },
    { "log", Kind::Path, 0, 0, "FILE", "append every received line to FILE" },
    { "link", Kind::Path, 0, 0, "PATH", "make PATH a symbolic link to the terminal device" },
    { "help", Kind::Flag, 0, 0, "", "show this list" },
};

const OptionSpec* findSpec(const QString& name)
{
    for (const OptionSpec& s : specs) {
        if (name == QLatin1String(s.name))
            return &s;
    }
    return nullptr;
}

void apply(SimOptions& o, const QString& name, qint64 n, const QString& text)
{
    if (name == QLatin1String("node"))
        o.node = int(n);
    else if (name == QLatin1String("status"))
        o.status = quint16(n);
    else if (name == QLatin1String("move-ms"))
        o.moveMs = int(n);
    else if (name == QLatin1String("eeprom-size"))
        o.eepromSize = int(n);
    else if (name == QLatin1String("echo"))
        o.echo = true;
    else if (name == QLatin1String("checksum"))
        o.checksum = true;
    else if (name == QLatin1String("answer-delay-ms"))
        o.answerDelayMs = int(n);
    else if (name == QLatin1String("baud"))
        o.baud = int(n);
    else if (name == QLatin1String("pace"))
        o.pace = true;
    else if (name == QLatin1String("drop-every"))
        o.dropEvery = int(n);
    else if (name == QLatin1String("corrupt-every"))
        o.corruptEvery = int(n);
    else if (name == QLatin1String("hangup-after"))
        o.hangupAfter = int(n);
    else if (name == QLatin1String("bad-write-every"))
        o.badWriteEvery = int(n);
    else if (name == QLatin1String("eeprom"))
        o.eepromFile = text;
    else if (name == QLatin1String("log"))
        o.logFile = text;
    else if (name == QLatin1String("link"))
        o.linkPath = text;
    else if (name == QLatin1String("help"))
        o.help = true;
}

} // namespace

bool isStandardBaud(int baud)
{
    for (int b : standardBauds) {
        if (b == baud)
            return true;
    }
    return false;
}

std::optional<SimOptions> parseSimOptions(const QStringList& args, QString* error)
{
    SimOptions o;
    bool nodeGiven = false;
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h")) {
            o.help = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--")))
            return fail(
                QStringLiteral("unexpected argument \"%1\" (options start with --)").arg(arg));
        QString name = arg.mid(2);
        std::optional<QString> value;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        const OptionSpec* spec = findSpec(name);
        if (!spec)
            return fail(QStringLiteral("unknown option \"--%1\" (see --help)").arg(name));
        nodeGiven = nodeGiven || name == QLatin1String("node");
        if (spec->kind == Kind::Flag) {
            if (value)
                return fail(QStringLiteral("option --%1 takes no value").arg(name));
            apply(o, name, 0, QString());
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("option --%1 needs a value").arg(name));
            value = args[++i];
        }
        if (spec->kind == Kind::NodeList) {
            QList<int> nodes;
            for (const QString& item : value->split(QLatin1Char(','))) {
                qint64 n = 0;
                const NumberCheck check
                    = readWholeNumber(item, spec->min, spec->max, n, NumberForm::Digits);
                if (check != NumberCheck::Ok)
                    return fail(QStringLiteral("option --%1: \"%2\" is not a list of nodes "
                                               "from %3 to %4 (node 0 is everybody's)")
                                    .arg(name, *value)
                                    .arg(spec->min)
                                    .arg(spec->max));
                if (nodes.contains(int(n)))
                    return fail(
                        QStringLiteral("option --%1: node %2 is given twice").arg(name, item));
                nodes << int(n);
            }
            o.nodes = nodes;
            continue;
        }
        if (spec->kind == Kind::Path) {
            if (value->isEmpty())
                return fail(QStringLiteral("option --%1 needs a file name").arg(name));
            apply(o, name, 0, *value);
            continue;
        }
        qint64 n = 0;
        const NumberCheck check = readWholeNumber(*value, spec->min, spec->max, n,
            spec->kind == Kind::Hex ? NumberForm::HexDigits : NumberForm::Digits);
        if (check == NumberCheck::NotANumber) {
            return fail(QStringLiteral("option --%1: \"%2\" is not a %3 number")
                            .arg(name, *value,
                                spec->kind == Kind::Hex ? QStringLiteral("hexadecimal")
                                                        : QStringLiteral("whole")));
        }
        if (check == NumberCheck::OutOfRange) {
            const int base = spec->kind == Kind::Hex ? 16 : 10;
            return fail(QStringLiteral("option --%1: %2 is outside %3 to %4")
                            .arg(name, *value, QString::number(spec->min, base).toUpper(),
                                QString::number(spec->max, base).toUpper()));
        }
        if (name == QLatin1String("baud") && !isStandardBaud(int(n)))
            return fail(
                QStringLiteral("option --baud: %1 is not a standard line speed").arg(*value));
        apply(o, name, n, *value);
    }
    if (nodeGiven && !o.nodes.isEmpty())
        return fail(QStringLiteral("give --node or --nodes, not both"));
    return o;
}

QString SimOptions::memoryFile(int address) const
{
    if (eepromFile.isEmpty() || nodes.isEmpty())
        return eepromFile;
    return eepromFile + QLatin1Char('.') + QString::number(address);
}

QString simOptionsHelp()
{
    QString out;
    for (const OptionSpec& s : specs) {
        QString left = QStringLiteral("  --") + QLatin1String(s.name);
        if (*s.value)
            left += QLatin1Char(' ') + QLatin1String(s.value);
        out += left.leftJustified(26) + QLatin1String(s.help) + QLatin1Char('\n');
    }
    return out;
}
