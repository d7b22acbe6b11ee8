// Reading and parsing command files, and the meaning of a line: byte for byte on the
// text as it comes from disk (arbitrary bytes are the fuzz harness's,
// fuzz/commandfile.cpp: tables within their bounds, lines in order, literals sent; the
// plain cases as they reach the controller are the runs below and tst_terminalcore's
// statusCheck). Then command file runs on the main window's logic against the
// simulated controller (or a bare pseudo-terminal where the exact bytes matter), the
// command file frame's file management, and zaziruv-cli run and send against the
// zaziruv-sim program.

#include "../common/corerig.h"
#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/ptypair.h"
#include "../common/simargs.h"
#include "../common/simprocess.h"
#include "../common/testfiles.h"
#include "../common/waitfor.h"

#include "cmdfile/commandfile.h"
#include "cmdrun/commandfilerunner.h"
#include "sim/ptysimulator.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QStringList RunControls = { "EditCmd", "ExecuteCmdFile", "DeleteCmd", "Filename", "Filelist",
    "TransmitText", "CmdManual", "CmdTerminal", "CmdHome", "DownloadButton" };

struct Rig : SimCoreRig
{
    std::unique_ptr<CommandFileRunner> runner;
    QList<QPair<QString, QStringList>> started; // editor launches
    qint64 bytesWritten = 0; // what the core queued on the port

    // A controller whose moves take 150 ms, starting with status word `status`.
    explicit Rig(int status = 0)
        : SimCoreRig(simOptions(QStringLiteral("--move-ms 150 --status %1").arg(status, 0, 16)))
    {
        core->setWorkingDir(dir.path());
        runner = std::make_unique<CommandFileRunner>(*core, prompter);
        runner->editor().configured.clear();
        runner->editor().environment = [](const char*) { return QString(); };
        runner->editor().finder = [](const QString& name) {
            return name == QLatin1String("xdg-open") ? QStringLiteral("/usr/bin/xdg-open")
                                                     : QString();
        };
        runner->editor().starter = [this](const QString& program, const QStringList& args) {
            started << qMakePair(program, args);
            return true;
        };
        core->link().setTracer([this](SerialLink::Direction d, const QByteArray& bytes) {
            if (d == SerialLink::Direction::Write)
                bytesWritten += bytes.size();
        });
    }
    // The runner goes before the port it drives, which goes before the simulator.
    ~Rig() { runner.reset(); }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        writeFixture(path, bytes);
        return path;
    }

    // Runs file `name` as the Execute button does, answering the repeat question, and
    // waits until the controller has taken every byte sent.
    void run(const QString& name, PromptAnswer repeat = PromptAnswer::No)
    {
        core->setFileName(name);
        prompter.answers = { repeat };
        runner->executeCommandFile();
        QVERIFY(waitFor([this] { return sim->bytesReceived() >= bytesWritten; }));
    }

    QList<QByteArray> sent() const
    {
        QList<QByteArray> out;
        for (const QByteArray& l : lines) {
            if (!l.isEmpty())
                out << l;
        }
        return out;
    }

    void verifyIdle()
    {
        for (const QString& c : RunControls)
            QVERIFY2(core->enabled().*TerminalCore::controlNamed(c), qPrintable(c));
        QVERIFY(!core->enabled().PauseCmd);
        QVERIFY(!core->enabled().CancelCmd);
        QVERIFY(core->stopRequest());
        QVERIFY(!core->statusWaitMode());
        QVERIFY(!core->messageCaptionShown());
        QVERIFY(!runner->isRunning());
    }
};

using Lines = QList<QByteArray>;
using Outcome = CommandFileRunner::Outcome;

// Runs zaziruv-cli with its settings in dir. FILE names are relative to the WorkingDir
// setting, which the tests set to dir, not to the current directory (elsewhere).
ProcessRun runCli(const QTemporaryDir& dir, const QStringList& args)
{
    ProcessOptions options;
    options.workingDirectory = dir.filePath("elsewhere");
    QDir().mkpath(options.workingDirectory);
    options.closeInput = true;
    options.timeoutMs = 30000;
    writeFixture(dir.filePath("s.json"), storeText({}, 2, dir.path(), { { "CheckSum", "False" } }));
    return runProcess(appBinary("zaziruv-cli"),
        QStringList { "--settings", dir.filePath("s.json") } + args, options);
}

CommandFileTables parsed(const QByteArray& bytes)
{
    CommandFileRead r = readCommandFile(bytes);
    ParseCommandFile(r.tables);
    return r.tables;
}

// Line 1's status waits as "value" or "value>LABEL", blank-separated.
QString waitsText(const CommandFileTables& t)
{
    QStringList out;
    for (int k = 1; k <= t.waitCount[1]; ++k) {
        const auto& w = t.waits[1][size_t(k)];
        out << QString::number(w.value) + (w.label.isEmpty() ? QString() : '>' + w.label);
    }
    return out.join(' ');
}

QString actionText(const LineAction& a)
{
    static const char* const kinds[] = { "Nothing", "Pause", "Literal", "Command" };
    QString out = QString::fromLatin1(kinds[a.kind]);
    if (a.delay)
        out += QStringLiteral(" delay %1 (%2 ticks)")
                   .arg(a.delayValue)
                   .arg(delayTicks(a.delayValue));
    if (a.message)
        out += " message '" + a.messageText + "'";
    return out;
}

} // namespace

class TstCommandFileRunner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each stored line after the number of its line in the file.
    void lines_data()
    {
        addColumns<QByteArray, QStringList>("bytes", "lines");
        const QStringList two { "1 0 HO", "2 0 EN" };
        addRow("CR alone", QByteArray("0 HO\r0 EN\r"), two);
        addRow("LF alone", QByteArray("0 HO\n0 EN"), two);
        addRow("no end on the last line", QByteArray("0 HO\r\n0 EN"), two);
        addRow("blank lines get no number", QByteArray("\r\n   \r\n0 HO\r\n\r\n"),
            QStringList { "3 0 HO" });
        addRow("trailing comment cut", QByteArray("0 HO   /* home\r\n"), QStringList { "1 0 HO" });
        addRow("whole-line comment not stored", QByteArray("/* note\r\n\r\n0 HO\r\n0 EN\r\n"),
            QStringList { "3 0 HO", "4 0 EN" });
        addRow("comment after blanks leaves an empty line", QByteArray("  /* note\r\n0 HO\r\n"),
            QStringList { "1 ", "2 0 HO" });
        addRow("tab becomes a blank", QByteArray("0\tHO\t\r\n"), QStringList { "1 0 HO" });
        addRow("a tab alone is an empty line", QByteArray("\t\r\n"), QStringList { "1 " });
        addRow("leading blanks kept", QByteArray("  0 HO\r\n"), QStringList { "1   0 HO" });
        addRow("Latin-1 bytes kept", QByteArray("0 \xE9\xFF\r\n"),
            QStringList { QString::fromLatin1("1 0 \xE9\xFF") });
        addRow("only comments", QByteArray("/* a\r\n/* b\r\n"), QStringList {});
        addRow("empty", QByteArray(), QStringList {});
        const QByteArray longLine = "0 ST" + QByteArray(" 1234").repeated(20000);
        addRow("100004 characters kept whole", longLine + "\r\n", QStringList { "1 " + longLine });
    }
    void lines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        const CommandFileRead r = readCommandFile(bytes);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QStringList stored;
        for (size_t i = 1; i <= size_t(r.tables.lineCount); ++i)
            stored << QString::number(r.tables.fileLine[i]) + ' ' + r.tables.lines[i];
        QCOMPARE(stored, lines);
    }

    // start, end and count of the repeat block, or why the file is not run.
    void repeatBlock_data()
    {
        addColumns<QByteArray, QString>("bytes", "block");
        addRow("lower case", QByteArray("repeat 2\r\n0 A\r\nrend\r\n"), "2 3 2");
        addRow("in a whole-line comment", QByteArray("0 HO\r\n/* REPEAT 4\r\n0 A\r\nREND\r\n"),
            "2 3 4");
        addRow("no number repeats for ever", QByteArray("REPEAT x\r\n0 A\r\nREND\r\n"), "2 3 0");
        addRow("blanks before the number", QByteArray("REPEAT    7\r\n0 A\r\nREND\r\n"), "2 3 7");
        addRow("a later block wins", QByteArray("REPEAT 2\r\nREND\r\nREPEAT 5\r\n0 A\r\nREND\r\n"),
            "4 5 5");
        addRow("REND alone makes no block", QByteArray("0 A\r\nREND\r\n"), "0 2 0");
        addRow("+REPEAT is no block", QByteArray("0 EEADR 500+REPEAT\r\n"), "0 0 0");
        addRow("empty block", QByteArray("REPEAT 3\r\nREND\r\n"), "2 2 3");
        addRow("500 lines", "/* header\r\n" + QByteArray("0 HO\r\n").repeated(500), "0 0 0");
        addRow("501 lines", "/* header\r\n" + QByteArray("0 HO\r\n").repeated(501),
            "The command file has more than 500 command lines (line 502 is the first beyond "
            "them); it was not run.");
        addRow("REND before REPEAT", QByteArray("0 A\r\nREND\r\n0 B\r\nREPEAT 2\r\n0 C\r\n"),
            "REND on line 2 comes before its REPEAT on line 4; the command file was not run.");
        addRow("second REPEAT without REND",
            QByteArray("REPEAT 2\r\n0 A\r\nREND\r\nREPEAT 3\r\n0 B\r\n"),
            "REPEAT on line 4 has no REND after it; the command file was not run.");
        addRow("REND on the REPEAT line", QByteArray("0 A\r\nREPEAT 2 REND\r\n0 B\r\n"),
            "REPEAT on line 2 has no REND after it; the command file was not run.");
        addRow("count too large", QByteArray("REPEAT 99999999999999999999\r\nREND\r\n"),
            "The repeat count on line 1 is larger than 32767; the command file was not run.");
        addRow("literal without closing quote",
            QByteArray("/* x\r\n0 HO\r\n\"OK\",13,10\r\n\"BAD,13\r\n"),
            "Line 4 cannot be sent: the text has no closing double quote; the command file was "
            "not run.");
    }
    void repeatBlock()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, block);
        CommandFileRead r = readCommandFile(bytes);
        CommandFileTables& t = r.tables;
        if (r.ok())
            ParseCommandFile(t);
        const QString refused = r.ok() ? checkCommandFile(t) : r.error;
        QCOMPARE(refused.isEmpty()
                ? QStringLiteral("%1 %2 %3").arg(t.repeatStart).arg(t.repeatEnd).arg(t.repeatCount)
                : refused,
            block);
        if (r.ok() && bytes.startsWith("/* header"))
            QCOMPARE(t.lineCount, 500);
    }

    void labels()
    {
        const CommandFileTables t
            = parsed("START: 0 HO\r\nstart:\r\n0 EN\r\n:0 DI\r\nMid word:  0 ST\r\n");
        QCOMPARE(t.labelCount, 3);
        QCOMPARE(t.labelLine[1], 1);
        QCOMPARE(t.labelLine[2], 2);
        QCOMPARE(t.labelLine[3], 5);
        QStringList names;
        QStringList parts;
        for (int i = 1; i <= 5; ++i) {
            names << t.labelName[size_t(i)];
            parts << t.commandParts[size_t(i)];
        }
        // A colon in the first column makes no label but still ends the part before it.
        QCOMPARE(names, (QStringList { "START", "START", "", "", "MID WORD" }));
        QCOMPARE(parts, (QStringList { "0 HO", "", "0 EN", "0 DI", "0 ST" }));
    }

    void waits_data()
    {
        addColumns<QString, QString>("line", "waits");
        addRow("XST counts itself", "0 XST 24>L1", "0 24>L1");
        addRow("lower case target", "0 st 3>done", "3>DONE");
        addRow("many blanks", "0 ST   8    9  ", "8 9");
        addRow("negative", "0 ST -32768>NEG", "-32768>NEG");
        addRow("not a number", "0 ST abc x>L", "0 0>L");
        addRow("fraction rounds half to even", "0 ST 2.5 3.5 -2.5 2.6 0.4", "2 4 -2 3 0");
        addRow("beyond 32 bits", "0 ST 99999999999 -99999999999", "2147483647 -2147483648");
        addRow("label on the line", "W: 0 ST 4>W", "4>W");
        addRow("no wait without blank after ST", "0 ST", "");
        addRow("STOP is no wait", "0 STOP 5", "");
        addRow("20 values keep 16", "0 ST 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20",
            "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
    }
    void waits()
    {
        QFETCH(QString, line);
        QFETCH(QString, waits);
        QCOMPARE(waitsText(parsed(line.toLatin1())), waits);
    }

    void classify_data()
    {
        addColumns<QString, QString>("part", "action");
        addRow("empty", "", "Nothing");
        // A tick is 1/13 of 100 ms, whole ticks only.
        addRow("DELAY 500", "DELAY 500", "Command delay 500 (65 ticks)");
        addRow("DELAY 15", "DELAY 15", "Command delay 15 (1 ticks)");
        addRow("DELAY 7", "DELAY 7", "Command delay 7 (0 ticks)");
        addRow("DELAY -100", "DELAY -100", "Command delay -100 (0 ticks)");
        addRow("DELAY500 reads 0", "DELAY500", "Command delay 0 (0 ticks)");
        addRow("delay lower case", "delay 20", "Command delay 20 (2 ticks)");
        addRow("DELAY not a number", "DELAY abc", "Command delay 0 (0 ticks)");
        addRow("MESSAGE alone", "message", "Nothing message ''");
        addRow("MESSAGE with PAUSE", "MESSAGE PAUSE now", "Pause message ' PAUSE now'");
        addRow("PAUSE", "pause", "Pause");
        addRow("PAUSE before literal", "\"PAUSE\"", "Pause");
    }
    void classify()
    {
        QFETCH(QString, part);
        QFETCH(QString, action);
        QCOMPARE(actionText(classifyLine(part)), action);
    }

    // The bytes sent, or "!" when the line is refused with a reason.
    void literal_data()
    {
        addColumns<QString, QByteArray>("part", "bytes");
        addRow("no codes", "\"A\"", QByteArray("A\0\0", 3));
        addRow("text before the quote ignored", "0 \"AB\",65,66", QByteArray("ABAB"));
        addRow("codes not numbers", "\"A\",x,y", QByteArray("A\0\0", 3));
        addRow("empty text", "\"\",13,10", QByteArray("\r\n"));
        addRow("Latin-1 code", "\"\",255,233", QByteArray("\xFF\xE9"));
        addRow("no closing quote", "\"HELLO,13,10", QByteArray("!"));
        addRow("negative code", "\"A\",-1", QByteArray("!"));
    }
    void literal()
    {
        QFETCH(QString, part);
        QFETCH(QByteArray, bytes);
        QString literal;
        QString why;
        const bool ok = buildLiteral(part, literal, &why);
        QCOMPARE(ok ? literal.toLatin1() : QByteArray("!"), bytes);
        QCOMPARE(why.isEmpty(), ok);
    }

    // ---- runs ----

    // Whole runs on the simulated controller: what it received, the MESSAGE texts
    // shown, the one box (the repeat question, or why the run never starts) and how the
    // run ended; the file is left as it was. Continuous runs stop after two passes.
    void runs_data()
    {
        addColumns<QByteArray, PromptAnswer, int, Lines, QStringList, QString, PromptIcon, Outcome>(
            "file", "repeat", "status", "sent", "messages", "box", "icon", "outcome");
        const auto ran = [](const char* name, const QByteArray& file, PromptAnswer repeat,
                             int status, const Lines& sent, const QStringList& messages,
                             Outcome outcome = Outcome::Finished) {
            addRow(name, file, repeat, status, sent, messages,
                QString(CommandFileRunner::RepeatQuestion), PromptIcon::None, outcome);
        };
        // Null bytes: no file at all.
        const auto refused = [](const char* name, const QByteArray& file, const QString& box,
                                 PromptIcon icon = PromptIcon::Exclamation) {
            addRow(name, file, PromptAnswer::No, 0, Lines(), QStringList(), box, icon,
                Outcome::Refused);
        };
        ran("repeat block",
            QByteArray("0 HO\r\nREPEAT 3\r\n0 EEADR 500+REPEAT\r\n0 B\r\nREND\r\n0 C\r\n"),
            PromptAnswer::No, 0,
            Lines({ "0 HO", "REPEAT 3", "0 EEADR 501", "0 B", "0 EEADR 502", "0 B", "0 EEADR 503",
                "0 B", "REND", "0 C" }),
            QStringList());
        // No message text reaches the controller, and none swallows the next command.
        ran("messages",
            QByteArray("REPEAT 2\r\nMESSAGE pass\r\nREND\r\nMESSAGE\r\n0 NEXT\r\nMESSAGE say "
                       "\"hi\"\r\n0 LAST\r\n"),
            PromptAnswer::No, 0, Lines({ "REPEAT 2", "REND", "0 NEXT", "0 LAST" }),
            QStringList({ " pass", " pass", "", " say \"hi\"" }));
        ran("continuous", QByteArray("REPEAT 2\r\n0 X 10+REPEAT\r\nREND\r\n"), PromptAnswer::Yes, 0,
            Lines(
                { "REPEAT 2", "0 X 11", "0 X 12", "REND", "REPEAT 2", "0 X 11", "0 X 12", "REND" }),
            QStringList());
        // The wait matches at once and jumps past REND: each pass ends at the end of the
        // line table.
        ran("jump out of a repeat pass",
            QByteArray("REPEAT 3\r\n0 ST 2>OUT\r\nREND\r\nOUT: 0 END\r\n"), PromptAnswer::No, 2,
            Lines({ "REPEAT 3", "0 ST", "0 END", "0 ST", "0 END", "0 ST", "0 END" }),
            QStringList());
        ran("comments only", QByteArray("/* only a comment\r\n"), PromptAnswer::Yes, 0, Lines(),
            QStringList());
        ran("Cancel at the question", QByteArray("0 HO\r\n"), PromptAnswer::Cancel, 0, Lines(),
            QStringList(), Outcome::Stopped);
        const QString empty("Command file is empty.");
        refused("missing", QByteArray(), empty, PromptIcon::None);
        refused("empty", QByteArray(""), empty, PromptIcon::None);
        refused("no name", QByteArray("0 A\r\n"), "Please select a command file!",
            PromptIcon::Critical);
        refused("port closed", QByteArray("0 A\r\n"), "Please check Port Configuration");
        // The file's own refusals (their texts: repeatBlock()), one from reading it and
        // one from checking its literals.
        refused("REPEAT without REND", QByteArray("0 A\r\nREPEAT 2\r\n0 B\r\n"),
            "REPEAT on line 2 has no REND after it; the command file was not run.");
        refused("bad literal", QByteArray("\"A\",999\r\n"),
            "Line 1 cannot be sent: the character code 999 is not between 0 and 255; the command "
            "file was not run.");
    }
    void runs()
    {
        QFETCH(QByteArray, file);
        QFETCH(PromptAnswer, repeat);
        QFETCH(int, status);
        QFETCH(Lines, sent);
        QFETCH(QStringList, messages);
        QFETCH(QString, box);
        QFETCH(PromptIcon, icon);
        QFETCH(Outcome, outcome);
        Rig rig(status);
        const QString path = rig.dir.filePath("r.cmd");
        if (!file.isNull())
            rig.write("r.cmd", file);
        if (box.contains("Port"))
            rig.core->link().close();
        rig.runner->setPassLimit(2);
        QStringList shown;
        QString caption;
        QObject::connect(rig.runner.get(), &CommandFileRunner::messageShown, [&](const QString& m) {
            shown << m;
            caption = rig.core->caption();
        });
        rig.run(box.contains("select") ? QString() : QStringLiteral("r.cmd"), repeat);
        QCOMPARE(rig.runner->lastOutcome(), outcome);
        QCOMPARE(rig.sent(), sent);
        QCOMPARE(shown, messages);
        QCOMPARE(caption, messages.value(messages.size() - 1));
        QCOMPARE(rig.prompter.texts(), QStringList { box });
        QCOMPARE(rig.prompter.shown[0].icon, icon);
        if (!sent.contains("0 END")) // a jump out of a pass leaves the counter as it was
            QCOMPARE(rig.core->repeatCounter(), qint16(1));
        QVERIFY(!rig.core->skipNext());
        // A missing file is not created.
        QCOMPARE(QFile::exists(path), !file.isNull());
        QCOMPARE(readFile(path), file.isNull() ? QByteArray() : file);
        if (!box.startsWith("Please")) // refused before the controls were touched
            rig.verifyIdle();
    }

    // Bytes exact: the controller's side by hand, before the rig (the port goes first).
    void literalIsUnframed()
    {
        PtyPair pty;
        Rig rig;
        rig.core->setDeviceOverride(pty.slavePath());
        rig.core->openPort();
        rig.write("l.cmd", "0 HO\r\n\"HELLO\",13,10\r\n\"A\",7\r\n");
        rig.core->setFileName("l.cmd");
        rig.prompter.answers = { PromptAnswer::No };
        rig.runner->executeCommandFile();
        QCOMPARE(pty.readAll(), QByteArray("\r0 HO\rHELLO\r\nA\0\x07", 16));
        QCOMPARE(rig.core->commandHistory().last(), QString::fromLatin1("A\0\x07", 3));
    }

    // Cancel and Abort end a run: during a status wait that never matches (at its third
    // query), and (Cancel, after 200 ms) during a long DELAY or runs that wait nowhere,
    // which would otherwise never let it in: each pass lets events run. Nothing after
    // the stop is sent, and DELAY itself never.
    void stopped_data()
    {
        addColumns<QByteArray, PromptAnswer, bool, bool>("bytes", "repeat", "atQuery", "abort");
        const QByteArray wait("0 ST 4096>X\r\n0 AFTER\r\nX: 0 X\r\n");
        const auto no = PromptAnswer::No;
        addRow("Cancel during a status wait", wait, no, true, false);
        addRow("Abort during a status wait", wait, no, true, true);
        addRow(
            "only labels, continuous", QByteArray("A:\r\nB:\r\n"), PromptAnswer::Yes, false, false);
        addRow("empty endless block", QByteArray("REPEAT 0\r\nREND\r\n"), no, false, false);
        addRow("long DELAY", QByteArray("0 A\r\nDELAY 1000000\r\n0 B\r\n"), no, false, false);
        // The box returns at once, as without a terminal: the pass waits nowhere else.
        addRow("endless block of PAUSE", QByteArray("REPEAT 0\r\nPAUSE\r\nREND\r\n"), no, false,
            false);
    }
    void stopped()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(PromptAnswer, repeat);
        QFETCH(bool, atQuery);
        QFETCH(bool, abort);
        Rig rig;
        rig.write("s.cmd", bytes);
        const auto stop = [&] { abort ? rig.core->abort() : rig.core->cancelCommandFile(); };
        if (!atQuery)
            QTimer::singleShot(200, stop);
        QObject::connect(rig.sim.get(), &PtySimulator::lineReceived, [&](const QByteArray& l) {
            if (atQuery && l == "0 ST" && rig.sent().count("0 ST") == 3)
                QTimer::singleShot(0, stop);
        });
        rig.run("s.cmd", repeat);
        QCOMPARE(rig.runner->lastOutcome(), Outcome::Stopped);
        const Lines sent = rig.sent();
        for (const char* never : { "0 AFTER", "0 X", "0 B", "DELAY 1000000" })
            QVERIFY2(!sent.contains(never), never);
        QVERIFY(sent.count("0 ST") <= 4);
        QCOMPARE(sent.contains("0 AB"), abort);
        rig.verifyIdle();
    }

    void pauses()
    {
        Rig rig;
        rig.write("p.cmd", "0 A\r\nPAUSE\r\n0 B\r\n");
        Lines atPause; // the box is modal: the run waits
        rig.prompter.onShow = [&](const PromptMessage& m) {
            if (m.text == QLatin1String("Pause") && waitFor([&] { return !rig.sent().isEmpty(); }))
                atPause = rig.sent();
        };
        rig.run("p.cmd");
        QCOMPARE(atPause, Lines { "0 A" });
        QCOMPARE(rig.prompter.texts(), QStringList({ CommandFileRunner::RepeatQuestion, "Pause" }));
        QCOMPARE(rig.prompter.shown[1].icon, PromptIcon::None);
        QCOMPARE(rig.sent(), Lines({ "0 A", "0 B" }));
        rig.runner->pauseCommandFile();
        QCOMPARE(rig.prompter.shown.last().icon, PromptIcon::Exclamation);
    }

    // ---- file management ----

    void deleteFile_data()
    {
        addColumns<PromptAnswer>("answer");
        addRow("Yes", PromptAnswer::Yes);
        addRow("No", PromptAnswer::No);
    }
    void deleteFile()
    {
        QFETCH(PromptAnswer, answer);
        Rig rig;
        const QString path = rig.write("gone.cmd", "0 A\r\n");
        rig.write("b.cmd", "0 A\r\n");
        rig.write("A.CMD", "0 A\r\n");
        rig.write("c.txt", "x");
        rig.core->setFileName("gone.cmd");
        rig.core->showFiles(rig.dir.path(), rig.core->fileList().pattern);
        rig.prompter.answers = { answer };
        rig.runner->deleteCommandFile();
        QCOMPARE(rig.prompter.texts(), QStringList { "Are you sure you want to delete GONE.CMD?" });
        QCOMPARE(rig.prompter.shown[0].buttons, PromptButtons::YesNo);
        QCOMPARE(rig.prompter.shown[0].icon, PromptIcon::Question);
        QCOMPARE(QFile::exists(path), answer == PromptAnswer::No);
        QVERIFY(rig.core->fileName().isEmpty());
        // The list is read again, sorted without regard to case.
        QCOMPARE(rig.core->fileList().pattern, QStringLiteral("*.Cmd"));
        QCOMPARE(rig.core->fileList().entries,
            QStringList({ "A.CMD", "b.cmd", "gone.cmd" })
                .mid(0, answer == PromptAnswer::No ? 3 : 2));
        rig.runner->selectCommandFile(1);
        QCOMPARE(rig.core->fileName(), QStringLiteral("b.cmd"));
        rig.runner->selectCommandFile(7); // nothing there
        QCOMPARE(rig.core->fileName(), QStringLiteral("b.cmd"));
        // With nothing (more) to delete.
        rig.core->setFileName("missing.cmd");
        rig.runner->deleteCommandFile();
        rig.runner->deleteCommandFile(); // Filename now empty
        QCOMPARE(rig.prompter.texts().mid(1),
            QStringList(
                { "There is no file MISSING.CMD to delete.", "Please select a command file!" }));
    }

    void editor()
    {
        Rig rig;
        rig.runner->editCommandFile();
        QCOMPARE(
            rig.prompter.texts(), QStringList { "Please select a file or Enter new file name!" });
        QVERIFY(rig.started.isEmpty());

        rig.runner->editor().configured = QStringLiteral("/opt/ed/my editor");
        rig.core->setFileName("new one.cmd");
        rig.runner->editCommandFile();
        const QString file = rig.dir.filePath("new one.cmd");
        QCOMPARE(rig.started,
            (QList<QPair<QString, QStringList>> { { "/opt/ed/my editor", { file } } }));
        QCOMPARE(rig.core->selectedCommandFile(), file);
        QVERIFY(!QFile::exists(file));

        rig.runner->newCommandFile(); // New: no file, whatever Filename holds
        QCOMPARE(rig.started.size(), 2);
        QVERIFY(rig.started[1].second.isEmpty());
        QCOMPARE(rig.prompter.shown.last().text,
            QStringLiteral("Please use the '*.CMD' extension\rwhen saving the file and choose type "
                           "'All Files'"));
        QCOMPARE(rig.prompter.shown.last().icon, PromptIcon::Information);

        rig.runner->editor().starter = [](const QString&, const QStringList&) { return false; };
        rig.runner->editCommandFile();
        QCOMPARE(rig.prompter.shown.last().text,
            QStringLiteral("The editor \"/opt/ed/my editor\" could not be started."));
    }

    void editorChoice()
    {
        QTemporaryDir dir;
        ExternalEditor e;
        QHash<QString, QString> env;
        QStringList installed;
        e.environment = [&](const char* name) { return env.value(QLatin1String(name)); };
        e.finder = [&](const QString& name) {
            return installed.contains(name) ? "/usr/bin/" + name : QString();
        };
        e.starter = [](const QString&, const QStringList&) { return true; };
        QCOMPARE(e.launchFor("/f.cmd").program, QString()); // nothing at all
        installed << "xdg-open";
        QCOMPARE(e.launchFor("/f.cmd").program, QStringLiteral("/usr/bin/xdg-open"));
        QCOMPARE(e.launchFor(QString()).program, QString()); // xdg-open needs a file
        // ... so it is created first, empty.
        const QString path = dir.filePath("n.cmd");
        QVERIFY(e.open(path, nullptr));
        QCOMPARE(QFileInfo(path).size(), 0);
        installed << "mousepad"
                  << "kate";
        ExternalEditor::Launch l = e.launchFor("/f.cmd");
        QCOMPARE(l.program, QStringLiteral("/usr/bin/kate"));
        QVERIFY(!l.createFirst);
        env["VISUAL"] = "vis";
        QCOMPARE(e.launchFor("/f.cmd").program, QStringLiteral("vis"));
        env["ZAZIRUV_EDITOR"] = "zed";
        QCOMPARE(e.launchFor("/f.cmd").program, QStringLiteral("zed"));
        e.configured = "conf";
        l = e.launchFor("/a b;rm -rf x.cmd");
        QCOMPARE(l.program, QStringLiteral("conf"));
        QCOMPARE(l.arguments, QStringList { "/a b;rm -rf x.cmd" }); // one argument, no shell
    }

    // zaziruv-cli run and send against zaziruv-sim: exit status, what the command
    // printed (err: a part of standard error, said once) and what the controller
    // received, its status queries left out. The port is the simulator's unless a row
    // names another. A failure says why and sends nothing. (The runner's refusals of a
    // file's contents are runs()'s; run reports them as it reports "missing file".)
    void cli_data()
    {
        addColumns<QString, QString, QStringList, int, QString, QString, Lines>(
            "bytes", "sim", "args", "status", "out", "err", "lines");
        const Lines none;
        addRow("repeat block and messages",
            "0 HO\r\nREPEAT 3\r\n0 EEADR 500+REPEAT\r\nMESSAGE step\r\nREND\r\n"
            "0 ST 2>END\r\n0 NO\r\nEND: PAUSE\r\n",
            "--status 0", QStringList { "run", "f.cmd" }, 0, " step\n step\n step\n", "Pause\n",
            Lines { "0 HO", "REPEAT 3", "0 EEADR 501", "0 EEADR 502", "0 EEADR 503", "REND" });
        addRow("three passes", "0 A\r\n", "",
            QStringList { "run", "--repeat", "--passes", "3", "f.cmd" }, 0, "", "",
            Lines { "0 A", "0 A", "0 A" });
        addRow("missing file", "", "", QStringList { "run", "none.cmd" }, 1, "",
            "none.cmd\" does not exist", none);
        addRow("--dir before WorkingDir", "0 A\r\n", "",
            QStringList { "--dir", "/nonexistent", "run", "f.cmd" }, 1, "",
            "/nonexistent/f.cmd\" does not exist", none);
        addRow(
            "no file named", "", "", QStringList { "run" }, 2, "", "no command file given", none);
        addRow("unknown option", "", "", QStringList { "run", "--fast", "f.cmd" }, 2, "",
            "unknown option --fast", none);
        addRow("bad --passes", "", "", QStringList { "run", "--passes", "x", "f.cmd" }, 2, "",
            "--passes needs a positive number", none);
        addRow("port that does not open", "0 A\r\n", "",
            QStringList { "--port", "/nonexistent/no-such-tty", "run", "f.cmd" }, 1, "",
            "serial port is not open", none);
        addRow("rejected answer is not decoded", "", "--corrupt-every 1",
            QStringList { "send", "--checksum", "--decode", "0 ST" }, 1, "\n",
            "the answer to \"0 ST\" failed its checksum check", Lines { "0 ST#?7" });
        // The controller hangs up on the first line, during the delay after it.
        addRow("port lost", "0 A\r\nDELAY 2000\r\n0 B\r\n", "--hangup-after 1",
            QStringList { "run", "f.cmd" }, 1, "", "closed during the run", Lines { "0 A" });
    }
    void cli()
    {
        QFETCH(QString, bytes);
        QFETCH(QString, sim);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(Lines, lines);
        QTemporaryDir dir;
        const QString log = dir.filePath("sim.log");
        SimProcess controller(
            QStringList { "--log", log, "--move-ms", "150" } + sim.split(' ', Qt::SkipEmptyParts));
        QVERIFY(controller.isValid());
        if (!bytes.isEmpty())
            QVERIFY(writeFile(dir.filePath("f.cmd"), bytes.toLatin1()));
        if (!args.contains("--port"))
            args = QStringList { "--port", controller.path() } + args;
        const ProcessRun r = runCli(dir, args);
        QCOMPARE(r.exitCode, status);
        QCOMPARE(r.outText(), out);
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.errText().count(err) == 1, r.err.constData());
        QVERIFY2(!r.err.contains("not configured"), r.err.constData());
        Lines received;
        for (const QByteArray& l : readFile(log).split('\n')) {
            if (!l.isEmpty() && l != "0 ST")
                received << l;
        }
        QCOMPARE(received, lines);
        QVERIFY(!QFile::exists(dir.filePath("none.cmd")));
    }
};

QTEST_GUILESS_MAIN(TstCommandFileRunner)
#include "tst_commandfilerunner.moc"
