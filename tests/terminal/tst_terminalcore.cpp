// The main window's logic against a pseudo-terminal: what goes out on the wire for
// each command, and what each answer turns into.

#include "../common/corerig.h"
#include "../common/ptypair.h"

#include "cmdrun/commandfilerunner.h"
#include "core/eventwait.h"
#include "link/framing.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "terminal/terminalcore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

struct Rig : CoreRig
{
    PtyPair pty;

    Rig()
    {
        core->overrideDevice = pty.slavePath();
        core->Openport();
    }

    // Feeds an answer as the controller would, and lets the receive handler run.
    void answer(const QByteArray& bytes, int ms = 60)
    {
        pty.write(bytes);
        pty.readAll(ms);
    }
};

QByteArray withCheck(const QByteArray& text)
{
    return text + '#' + checkCharacters(QString::fromLatin1(text)).toLatin1();
}

} // namespace

class TstTerminalCore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void framing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("checksum");
        QTest::addColumn<int>("counter");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("0 HO") << "0 HO" << 0 << 1 << QByteArray("\r0 HO\r") << "";
        QTest::newRow("0 HO checksum") << "0 HO" << 1 << 1 << QByteArray("\r0 HO#>7\r") << "";
        QTest::newRow("0 EN checksum") << "0 EN" << 1 << 1 << QByteArray("\r0 EN#>3\r") << "";
        QTest::newRow("0 DI checksum") << "0 DI" << 1 << 1 << QByteArray("\r0 DI#==\r") << "";
        QTest::newRow("abc checksum") << "abc" << 1 << 1 << QByteArray("\rabc#26\r") << "";
        QTest::newRow("status wait sends the query only") << "0 ST 8 16>DONE" << 0 << 1 << QByteArray("\r0 ST\r") << "0 ST";
        QTest::newRow("checksum covers the query only") << "0 ST 8" << 1 << 1 << QByteArray("\r0 ST#") + checkCharacters(QStringLiteral("0 ST")).toLatin1() + '\r' << "0 ST";
        QTest::newRow("lower case without trailing blank") << "0 st" << 0 << 1 << QByteArray("\r0 st\r") << "";
        QTest::newRow("trailing blank") << "0 ST " << 0 << 1 << QByteArray("\r0 ST\r") << "0 ST";
        QTest::newRow("+REPEAT") << "0 EEADR 500+REPEAT" << 0 << 3 << QByteArray("\r0 EEADR 503\r") << "";
        QTest::newRow("-REPEAT") << "0 EEADR 500-repeat" << 0 << 3 << QByteArray("\r0 EEADR 497\r") << "";
        QTest::newRow("*REPEAT") << "0 EEADR 500*REPEAT" << 0 << 3 << QByteArray("\r0 EEADR 1500\r") << "";
        QTest::newRow("%REPEAT") << "0 EEADR 1000%REPEAT" << 0 << 3 << QByteArray("\r0 EEADR 333.333333333333\r") << "";
        QTest::newRow("Latin-1 byte") << QString::fromLatin1("0 \xE9") << 0 << 1 << QByteArray("\r0 \xE9\r") << "";
    }
    void framing()
    {
        QFETCH(QString, command);
        QFETCH(int, checksum);
        QFETCH(int, counter);
        QFETCH(QByteArray, wire);
        QFETCH(QString, prefix);
        Rig rig;
        QVERIFY(rig.core->link.isOpen());
        rig.cfg.CheckSumChk = checksum;
        rig.core->repeatCounter = qint16(counter);
        rig.core->commandText = command;
        rig.core->SendCommand();
        QCOMPARE(rig.pty.readAll(), wire);
        QCOMPARE(rig.core->statusQueryPrefix, prefix);
        QCOMPARE(rig.core->awaitingAnswer, 1);
        QVERIFY(rig.prompter.shown.isEmpty());
    }

    void notSent_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("counter");
        QTest::addColumn<bool>("skipNext");
        QTest::addColumn<bool>("reported");
        QTest::newRow("DELAY is never sent") << "delay 100" << 1 << false << false;
        QTest::newRow("skip-next flag") << "0 HO" << 1 << true << false;
        QTest::newRow("%REPEAT with counter 0") << "0 EEADR 1000%REPEAT" << 0 << false << true;
        QTest::newRow("no blank before the number") << "0 EEADR+REPEAT" << 1 << false << true;
    }
    void notSent()
    {
        QFETCH(QString, command);
        QFETCH(int, counter);
        QFETCH(bool, skipNext);
        QFETCH(bool, reported);
        Rig rig;
        rig.core->repeatCounter = qint16(counter);
        rig.core->skipNext = skipNext;
        rig.core->commandText = command;
        rig.core->SendCommand();
        QCOMPARE(rig.pty.readAll(), QByteArray());
        QCOMPARE(rig.core->CommandHistory, QStringList { command });
        QVERIFY(!rig.core->skipNext);
        QCOMPARE(rig.prompter.shown.size(), reported ? 1 : 0);
    }

    void historyKeepsSix()
    {
        Rig rig;
        for (int i = 1; i <= 7; ++i) {
            rig.core->commandText = QStringLiteral("0 C%1").arg(i);
            rig.core->SendCommand();
        }
        QCOMPARE(rig.core->CommandHistory.size(), 6);
        QCOMPARE(rig.core->CommandHistory.first(), QStringLiteral("0 C2"));
        QCOMPARE(rig.core->CommandHistory.last(), QStringLiteral("0 C7"));
    }

    void closedPort()
    {
        Rig rig;
        rig.core->link.close();
        rig.core->commandText = QStringLiteral("0 HO");
        rig.core->SendCommand();
        rig.core->SendLiteral();
        QCOMPARE(rig.prompter.texts(), QStringList({ QStringLiteral("Serial Port not configured properly!"), QStringLiteral("Serial Port not configured properly!") }));
        QVERIFY(rig.core->CommandHistory.isEmpty());
        QVERIFY(!rig.core->TransmitText_Enter(QStringLiteral("0 ST")));
        QCOMPARE(rig.prompter.shown.last().text, QStringLiteral("Please check Port Configuration"));
    }

    void enterTrimsAndSends()
    {
        Rig rig;
        QVERIFY(rig.core->TransmitText_Enter(QStringLiteral("0 POS   ")));
        QCOMPARE(rig.core->commandText, QStringLiteral("0 POS"));
        QCOMPARE(rig.core->CommandHistory, QStringList { QStringLiteral("0 POS") });
        QCOMPARE(rig.pty.readAll(), QByteArray("\r0 POS\r"));
    }

    void literal()
    {
        Rig rig;
        rig.core->commandText = QStringLiteral("HELLO\r\n");
        rig.core->SendLiteral();
        QCOMPARE(rig.pty.readAll(), QByteArray("HELLO\r\n"));
        QCOMPARE(rig.core->CommandHistory.size(), 1);
    }

    void answers_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("decimal");
        QTest::addColumn<int>("checksum");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("last");
        const QStringList none;
        QTest::newRow("32-bit decimal") << "0 PFB" << 1 << 0 << QByteArray("0 00000004\r") << QStringList { "0  4" } << "0 00000004";
        QTest::newRow("status decimal") << "0 ST" << 1 << 0 << QByteArray("0 0100\r\n") << QStringList { "0  256" } << "0 0100";
        QTest::newRow("status hex") << "0 ST" << 0 << 0 << QByteArray("0 0100\r\n") << QStringList { "0  0100" } << "0 0100";
        QTest::newRow("500") << "1 PFB" << 1 << 0 << QByteArray("1 000001F4\r") << QStringList { "1  500" } << "1 000001F4";
        QTest::newRow("-100") << "1 PFB" << 1 << 0 << QByteArray("1 FFFFFF9C\r") << QStringList { "1 -100" } << "1 FFFFFF9C";
        QTest::newRow("hex node") << "10 PFB" << 0 << 0 << QByteArray("0A 000001F4\r") << QStringList { "10  000001F4" } << "0A 000001F4";
        QTest::newRow("checksum good") << "0 ST" << 1 << 1 << withCheck("0 0100") + "\r\n" << QStringList { "0  256" } << "0 0100";
        QTest::newRow("checksum wrong") << "0 PFB" << 1 << 1 << QByteArray("0 00000004#00\r") << QStringList { "" } << "";
        QTest::newRow("checksum missing") << "0 PFB" << 1 << 1 << QByteArray("0 00000004\r") << QStringList { "" } << "";
        QTest::newRow("one check character") << "0 PFB" << 1 << 1 << QByteArray("0 00000004#5\r") << QStringList { "" } << "";
        QTest::newRow("two answers in one read") << "0 ST" << 0 << 0 << QByteArray("0 0100\r\n0 0200\r\n") << QStringList { "0  0100" } << "0 0100";
        QTest::newRow("too short stays") << "0 HO" << 1 << 0 << QByteArray("OK\r") << none << "";
        QTest::newRow("binary garbage") << "0 ST" << 1 << 0 << QByteArray("\xff\xfe\x01\x80 \x7f\r", 7) << QStringList { "0  0" } << QString::fromLatin1("\xff\xfe\x01\x80 \x7f");
    }
    void answers()
    {
        QFETCH(QString, command);
        QFETCH(int, decimal);
        QFETCH(int, checksum);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, shown);
        QFETCH(QString, last);
        Rig rig;
        rig.cfg.ChkDecimal = decimal;
        rig.cfg.CheckSumChk = checksum;
        rig.core->commandText = command;
        rig.core->SendCommand();
        rig.pty.readAll(20);
        rig.answer(answer);
        QCOMPARE(rig.core->ListRecv, shown);
        QCOMPARE(rig.core->lastResponse, last);
        if (!shown.isEmpty())
            QCOMPARE(rig.core->awaitingAnswer, 0);
    }

    void oneCharacterPerEvent()
    {
        Rig rig;
        rig.core->commandText = QStringLiteral("0 ST");
        rig.core->SendCommand();
        rig.pty.readAll(20);
        for (char c : QByteArray("0 0100\r")) {
            QVERIFY(rig.core->ListRecv.isEmpty());
            rig.answer(QByteArray(1, c), 15);
        }
        rig.answer("\n", 15);
        QCOMPARE(rig.core->ListRecv, QStringList { QStringLiteral("0  256") });
    }

    void readLengthOneStillTakesEverything()
    {
        Rig rig;
        rig.core->TransmitText_Enter(QStringLiteral("0 ST"));
        QCOMPARE(rig.core->readLength, 1);
        rig.pty.readAll(20);
        rig.answer("0 0103\r\n", 150);
        QCOMPARE(rig.core->ListRecv, QStringList { QStringLiteral("0  259") });
    }

    void receiveListKeepsFive()
    {
        Rig rig;
        rig.core->commandText = QStringLiteral("0 PFB");
        for (int i = 1; i <= 6; ++i)
            rig.answer(QStringLiteral("0 000%1\r").arg(i).toLatin1(), 30);
        QCOMPARE(rig.core->ListRecv, QStringList({ "0  2", "0  3", "0  4", "0  5", "0  6" }));
    }

    void endlessAnswerIsBounded()
    {
        Rig rig;
        rig.core->commandText = QStringLiteral("0 ST");
        rig.answer(QByteArray(30000, 'A'), 300);
        QVERIFY(rig.core->responseBuffer.size() <= TerminalCore::MaxPending);
        rig.answer("0 0100\r\n");
        QCOMPARE(rig.core->ListRecv.size(), 1);
    }

    void statusFilter_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("shown");
        QTest::newRow("00 at position 3") << QByteArray("0 0004\r\n") << true;
        QTest::newRow("00 at position 4") << QByteArray("10 0004\r\n") << false;
        QTest::newRow("no blank") << QByteArray("000004\r\n") << false;
    }
    void statusFilter()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, shown);
        Rig rig;
        rig.core->statusWaitMode = true;
        rig.core->commandText = QStringLiteral("0 ST");
        rig.answer(answer);
        QCOMPARE(rig.core->ListRecv.size(), shown ? 1 : 0);
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("list1");
        QTest::addColumn<QStringList>("list2");
        QTest::addColumn<bool>("red");
        QTest::newRow("0103") << QByteArray("0 0103\r\n")
                              << QStringList { "Move in progress", "In position", "Position Mode", "*** Drive disabled ***" }
                              << QStringList { "Remote Mode active" } << true;
        QTest::newRow("0000") << QByteArray("0 0000\r\n")
                              << QStringList { "Motor Stopped", "Out of Position", "Position Mode", "Drive Enabled" }
                              << QStringList { "Remote Mode active" } << false;
        QTest::newRow("0010 not an alert") << QByteArray("0 0010\r\n")
                                           << QStringList { "Motor Stopped", "Out of Position", "Position Mode", "*** Trajectory percent complete ***", "Drive Enabled" }
                                           << QStringList { "Remote Mode active" } << false;
        QTest::newRow("8000") << QByteArray("0 8000\r\n")
                              << QStringList { "Motor Stopped", "Out of Position", "Position Mode", "Drive Enabled" }
                              << QStringList { "Remote Mode active", "*** Negative Limit active ***" } << true;
        QTest::newRow("every bit") << QByteArray("0 FFFF\r\n")
                                   << QStringList { "Move in progress", "In position", "Velocity Mode", "*** Trajectory percent complete ***", "*** DeviceNet Error ***", "*** Following Error ***", "*** Drive disabled ***" }
                                   << QStringList { "*** Range Limit Reached ***", "Local Mode active", "*** Emergency Stop active ***", "*** External Event#1 (J2-8) active ***", "*** Positive Limit active ***", "*** External Event#2 (J2-7) active ***", "*** Negative Limit active ***" } << true;
    }
    void decoding()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, list1);
        QFETCH(QStringList, list2);
        QFETCH(bool, red);
        Rig rig;
        rig.core->commandText = QStringLiteral("0 ST");
        rig.answer(answer);
        QCOMPARE(rig.core->List1, list1);
        QCOMPARE(rig.core->List2, list2);
        QCOMPARE(rig.core->listsAlert, red);
        QCOMPARE(rig.core->TextRecv, QString::fromLatin1(answer.left(6)));
    }

    void noDecodingWhenOff()
    {
        Rig rig;
        rig.cfg.ChkStatus = 0;
        rig.core->commandText = QStringLiteral("0 ST");
        rig.answer("0 0103\r\n");
        QVERIFY(rig.core->List1.isEmpty());
        QCOMPARE(rig.core->ListRecv.size(), 1);
    }

    void statusCheck_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("match");
        QTest::addColumn<int>("line");
        // Line 4 waits on "0 ST 2 3>DONE"; DONE is the label of line 9.
        QTest::newRow("second entry jumps") << "0003" << true << 8;
        QTest::newRow("first entry continues") << "0002" << true << 4;
        QTest::newRow("no entry matches") << "0004" << false << 4;
        QTest::newRow("status 0 never matches") << "0000" << false << 4;
        QTest::newRow("too long leaves the wait") << "00003" << false << 4;
    }
    void statusCheck()
    {
        QFETCH(QString, status);
        QFETCH(bool, match);
        QFETCH(int, line);
        Rig rig;
        CommandFileRunner runner(*rig.core, rig.prompter);
        auto& t = runner.tables;
        t.waitCount[4] = 2;
        t.waits[4][1] = { 2, {} };
        t.waits[4][2] = { 3, QStringLiteral("DONE") };
        t.labelCount = 2;
        t.labelLine[1] = 2;
        t.labelName[2] = QStringLiteral("START");
        t.labelLine[2] = 9;
        t.labelName[9] = QStringLiteral("DONE");
        runner.currentLine = 4;
        rig.core->commandText = QStringLiteral("0 ST 2 3>DONE");
        rig.core->awaitingAnswer = 1;
        rig.answer("0 " + status.toLatin1() + "\r\n");
        QCOMPARE(rig.core->statusMatch, match);
        QCOMPARE(runner.currentLine, line);
    }

    void statusCheckOutsideTheTables()
    {
        Rig rig;
        CommandFileRunner runner(*rig.core, rig.prompter);
        runner.currentLine = 9999;
        rig.core->commandText = QStringLiteral("0 ST 1");
        rig.core->awaitingAnswer = 1;
        rig.answer("0 0001\r\n");
        QCOMPARE(runner.currentLine, 9999);
        QVERIFY(!rig.core->statusMatch);
    }

    void statusWaitRepeatsUntilMatch()
    {
        Rig rig;
        CommandFileRunner runner(*rig.core, rig.prompter);
        auto& t = runner.tables;
        t.waitCount[1] = 1;
        t.waits[1][1] = { 4, {} };
        runner.currentLine = 1;
        rig.core->statusWaitMode = true;
        rig.core->commandText = QStringLiteral("0 ST 4");
        int queries = 0;
        QTimer controller;
        QObject::connect(&controller, &QTimer::timeout, [&] {
            const QByteArray got = rig.pty.readAll(0);
            const int n = int(got.count("0 ST"));
            for (int i = 0; i < n; ++i)
                rig.pty.write(++queries >= 3 ? "0 0004\r\n" : "0 0000\r\n");
        });
        controller.start(5);
        rig.core->SendCommand();
        QVERIFY(rig.core->statusMatch);
        QVERIFY(queries >= 3);
        QCOMPARE(rig.core->CommandHistory.count(QStringLiteral("0 ST 4")), rig.core->CommandHistory.size());
    }

    void statusWaitEndsWhenThePortGoes()
    {
        Rig rig;
        rig.core->statusWaitMode = true;
        rig.core->commandText = QStringLiteral("0 ST 4");
        QTimer::singleShot(200, [&] { rig.core->link.close(); });
        rig.core->SendCommand();
        QVERIFY(!rig.core->statusMatch);
        QVERIFY(!rig.core->link.isOpen());
    }

    void statusWaitEndsWhenTheDeviceVanishes()
    {
        Rig rig;
        rig.core->statusWaitMode = true;
        rig.core->commandText = QStringLiteral("0 ST 4");
        QTimer::singleShot(200, [&] { rig.pty.closeMaster(); });
        rig.core->SendCommand();
        QVERIFY(!rig.core->statusMatch);
    }

    void terminalMode()
    {
        Rig rig;
        rig.core->commandText = QStringLiteral("0 ST");
        rig.core->responseBuffer = QStringLiteral("0 01");
        rig.core->CmdTerminal_Click();
        QVERIFY(rig.core->Frame3Visible);
        QVERIFY(rig.core->terminalLineFlag);
        QVERIFY(rig.core->commandText.isEmpty());
        QVERIFY(rig.core->responseBuffer.isEmpty());
        rig.answer("0 0100\r\n0 0200\r\n");
        QCOMPARE(rig.core->TextTerminal, QStringLiteral("0 0100\r\n0 0200\r\n"));
        rig.core->TextTerminal_KeyPress(QLatin1Char('A'));
        QVERIFY(!rig.core->terminalLineFlag);
        QCOMPARE(rig.pty.readAll(), QByteArray("A"));
        rig.answer("dropped\r\n");
        QCOMPARE(rig.core->TextTerminal, QStringLiteral("0 0100\r\n0 0200\r\nA"));
        rig.core->TextTerminal_KeyPress(QLatin1Char('\r'));
        QVERIFY(rig.core->terminalLineFlag);
        rig.answer("\r0 0300\r\n");
        QCOMPARE(rig.core->TextTerminal, QStringLiteral("0 0100\r\n0 0200\r\nA\r\n0 0300\r\n"));
        QVERIFY(rig.core->ListRecv.isEmpty());
    }

    void terminalBoxEmptiesPast1000()
    {
        Rig rig;
        rig.core->CmdTerminal_Click();
        rig.core->TextTerminal = QString(1001, QLatin1Char('x'));
        rig.answer("0 0100\r\n");
        QCOMPARE(rig.core->TextTerminal, QStringLiteral("0 0100\r\n"));
    }

    void timer()
    {
        Rig rig;
        rig.core->mainTicks = 9999;
        rig.core->Timer1_Timer();
        QCOMPARE(rig.core->mainTicks, 10000);
        rig.core->Timer1_Timer();
        QCOMPARE(rig.core->mainTicks, 0);

        rig.cfg.CheckSumChk = 1;
        rig.core->currentWorkingDir = QStringLiteral("/work/files");
        rig.core->Timer1_Timer();
        QCOMPARE(rig.core->caption, rig.core->savedCaption + QStringLiteral("                 Checksum Active"));
        rig.core->Frame8_DblClick();
        rig.core->Timer1_Timer();
        QCOMPARE(rig.core->caption, QStringLiteral("/work/files"));
        rig.core->Frame8_DblClick();
        rig.core->messageCaptionFlag = true;
        rig.core->caption = QStringLiteral("from a MESSAGE line");
        rig.core->Timer1_Timer();
        QCOMPARE(rig.core->caption, QStringLiteral("from a MESSAGE line"));
    }

    void frames()
    {
        Rig rig;
        rig.cfg.ChkStatus = 1;
        rig.core->Timer1_Timer();
        QVERIFY(rig.core->Frame7Visible);
        QVERIFY(!rig.core->Frame2Visible);
        rig.cfg.ChkStatus = 0;
        rig.core->Timer1_Timer();
        QVERIFY(!rig.core->Frame7Visible);
        QVERIFY(rig.core->Frame2Visible); // the answers stay in view without decoding
        rig.core->CmdTerminal_Click();
        rig.core->Timer1_Timer();
        QVERIFY(!rig.core->Frame2Visible && !rig.core->Frame7Visible && !rig.core->SendFrameVisible);
        rig.core->CmdManual_Click();
        QVERIFY(!rig.core->Frame3Visible && rig.core->SendFrameVisible && rig.core->Frame4Visible);
    }

    void homeWaitsTwiceTheDelay()
    {
        Rig rig;
        rig.cfg.TXdelay = QStringLiteral("1");
        QList<int> ticksAtSend;
        QObject::connect(&rig.core->link, &SerialLink::stateChanged, [] {});
        rig.core->CmdHome_Click();
        QCOMPARE(rig.pty.readAll(), QByteArray("\r0 HO\r\r0 EN\r"));
        QVERIFY(rig.core->mainTicks >= 2);
        QCOMPARE(rig.core->CommandHistory, QStringList({ "0 HO", "0 EN" }));
    }
};

QTEST_GUILESS_MAIN(TstTerminalCore)
#include "tst_terminalcore.moc"
