// The main window against the simulated controller on a pseudo-terminal, and the
// windows it opens: the configuration window as the operator uses it (its controls,
// Save and Exit, the status description option, the directory list, and the buttons
// that talk to the controller; the delay roundings are tst_configuration's
// txDelayFromText), the help window with the RTF reader and writer under it (what they
// make of each other, of files written by other programs, and of broken input), the
// status mask wizard and the message boxes.
// Last, the command line of the window program: bad options end it with a message
// and status 2, and the scripted start (--send, --help-window, --screenshot) works
// end to end.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/ptypair.h"
#include "../common/testfiles.h"
#include "../common/waitfor.h"
#include "../common/widgets.h"
#include "../config/configrig.h"

#include "cmdrun/commandfilerunner.h"
#include "rtf/rtfreader.h"
#include "rtf/rtfwriter.h"
#include "ui/commandfileframe.h"
#include "ui/configurationwindow.h"
#include "ui/controlmap.h"
#include "ui/downloadsettingsdialog.h"
#include "ui/downloadwindow.h"
#include "ui/helpwindow.h"
#include "ui/mainwindow.h"
#include "ui/progressdialog.h"
#include "ui/qtprompter.h"
#include "ui/redrawpacer.h"
#include "ui/specialfunctionsdialog.h"
#include "ui/statusmaskwizard.h"
#include "ui/trafficmodel.h"
#include "ui/trafficview.h"
#include "ui/windowplacement.h"
#include "utility/downloadcontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QDockWidget>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <optional>

namespace {

struct RigOptions
{
    bool decodeStatus = false;
    quint16 status = 0x0100;
    QStringList files = {}; // command files made in the working directory
};

// The window with everything behind it, loaded from a private settings file whose
// working directory holds the command files.
struct Rig : SimCoreRig
{
    explicit Rig(const RigOptions& o = {})
        : SimCoreRig(simOptions(QStringLiteral("--status %1").arg(o.status, 0, 16)))
        , workDir(dir.filePath(QStringLiteral("work")))
    {
        QDir().mkpath(workDir);
        for (const QString& name : o.files)
            writeFixture(QDir(workDir).filePath(name), "0 ST\r\n");
        const QJsonObject values { { "DecodeStatus", o.decodeStatus ? "True" : "False" },
            { "DecimalValues", "False" }, { "CheckSum", "False" }, { "TxDelay", 1 } };
        writeFixture(dir.filePath("settings.json"), storeText({}, 1, workDir, values));
        window = std::make_unique<MainWindow>(*core);
        core->load();
        window->show();
        QApplication::setActiveWindow(window.get());
        // The window redraws once a frame: the test starts from what load() shows.
        window->refreshView();
    }

    template <typename T = QWidget> T* get(const char* name) const
    {
        return child<T>(window.get(), name);
    }
    QStringList items(const char* list) const
    {
        QStringList out;
        auto* w = get<QListWidget>(list);
        for (int i = 0; i < w->count(); ++i)
            out.append(w->item(i)->text());
        return out;
    }
    // Types a command into the entry box and presses Enter.
    void enter(const QString& text)
    {
        auto* box = get<QLineEdit>("TransmitText");
        box->setFocus();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    void click(const char* name) { ::click(window.get(), name); }
    // The controls among `names` that are visible, in the order given.
    QString shown(const QStringList& names) const
    {
        QStringList out;
        for (const QString& n : names)
            if (get(qPrintable(n))->isVisible())
                out << n;
        return out.join(' ');
    }

    QString workDir;
    std::unique_ptr<MainWindow> window;
};

// The main window's Setup button, with the window connected as the program does.
struct Window
{
    explicit Window(ConfigRig& rig)
        : form(rig.config)
    {
        QObject::connect(rig.core.get(), &TerminalCore::configWindowRequested, &form,
            &ConfigurationWindow::showWindow);
        rig.core->openConfiguration();
    }
    QString currentDir() { return list()->currentItem()->data(Qt::UserRole).toString(); }
    QListWidget* list() { return child<QListWidget>(&form, "Dir1"); }
    void selectDirectory(const QString& path)
    {
        for (int i = 0; i < list()->count(); ++i) {
            if (list()->item(i)->data(Qt::UserRole).toString() == path) {
                list()->setCurrentRow(i);
                QTest::keyClick(list(), Qt::Key_Return);
                return;
            }
        }
        QFAIL(qPrintable("not in the directory list: " + path));
    }
    ConfigurationWindow form;
};

using A = PromptAnswer;
using B = QMessageBox;
using I = PromptIcon;
using P = PromptButtons;

// A user data directory and two shipped directories, "a" and "b", in a temporary
// folder; the user's is "user".
struct HelpRig
{
    HelpRig()
    {
        for (const char* d : { "user", "a", "b" })
            QDir(tmp.path()).mkdir(QLatin1String(d));
        qputenv("ZAZIRUV_DATA_DIR", path(QStringLiteral("user")).toLocal8Bit());
        form.setShippedDirectories({ path(QStringLiteral("a")), path(QStringLiteral("b")) });
    }
    QString path(const QString& relative) const { return QDir(tmp.path()).filePath(relative); }
    // Each file holds RTF whose text is its own relative path, padded with a skipped
    // group so that it is longer than any document the test saves over it.
    void make(const QStringList& files) const
    {
        for (const QString& f : files) {
            QDir().mkpath(QFileInfo(path(f)).path());
            writeFixture(
                path(f), "{\\rtf1 " + f.toUtf8() + "{\\*\\pad " + QByteArray(5000, 'x') + "}}");
        }
    }
    // Every file under the folder, by relative path.
    QMap<QString, QByteArray> contents() const
    {
        QMap<QString, QByteArray> out;
        QDirIterator it(tmp.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            out.insert(QDir(tmp.path()).relativeFilePath(f), readFile(f));
        }
        return out;
    }
    QTextEdit* text1() { return child<QTextEdit>(&form, "Text1"); }
    QString shown() { return text1()->toPlainText(); }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    HelpWindow form { prompter };
};

int shownBits(StatusMaskWizard& f)
{
    int v = 0;
    for (int k = 0; k < 16; ++k)
        v |= int(f.bitCheck(k)->isChecked()) << k;
    return v;
}

// The window program with a private settings file in `tmp`, the simulated controller
// and a picture of its window taken after `delayMs`.
QStringList scripted(const QTemporaryDir& tmp, const QString& png, int delayMs)
{
    return { "--settings", tmp.filePath("s.json"), "--simulate", "--screenshot", png,
        "--screenshot-delay", QString::number(delayMs) };
}

const QStringList Frames { "Frame4", "SendFrame", "Frame7", "Frame2", "Frame3" };

const QString kData = QStringLiteral(ZZ_SOURCE_DIR "/tests/ui/");

// A document with a fixed default font, so that font table entry 0 does not depend
// on the machine.
struct Doc : QTextDocument
{
    Doc() { setDefaultFont(QFont(QStringLiteral("Sans"))); }
    explicit Doc(const QByteArray& rtfBytes)
        : Doc()
    {
        rtf::read(rtfBytes, *this);
    }
};

QByteArray written(
    const QByteArray& body, const QByteArray& fonts = {}, const QByteArray& colours = {})
{
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl{\\f0\\fnil Sans;}" + fonts
        + "}\n{\\colortbl;" + colours + "}\n" + body + "}\n";
}

// What the operator reads on a control: a window's or dock's title, a group box's
// title, else its text; empty for a control without one.
QString captionOf(const QWidget* w)
{
    if (w->isWindow() || qobject_cast<const QDockWidget*>(w))
        return w->windowTitle();
    if (auto* box = qobject_cast<const QGroupBox*>(w))
        return box->title();
    const QVariant text = w->property("text");
    return text.typeId() == QMetaType::QString ? text.toString() : QString();
}

// The objectNames of a window's controls, itself first (Qt's own parts left out).
QStringList namedControls(const QWidget* window)
{
    QStringList out { window->objectName() };
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (w->window() == window && !w->objectName().isEmpty()
            && !w->objectName().startsWith(QLatin1String("qt_")))
            out << w->objectName();
    out.removeDuplicates();
    return out;
}

// docs/controls.md: a "## " heading per window ending in its objectName in backticks,
// then one table row per control: kind, `objectName`, "caption" (or nothing), and the
// members it is bound to, each `Class::member`.
struct ControlRow
{
    QString window;
    QString name;
    std::optional<QString> caption;
    QStringList bound;
    int line = 0;
};

QList<ControlRow> readControlsTable(const QString& text)
{
    static const QRegularExpression heading(QStringLiteral("^## .*`(\\w+)`\\s*$"));
    static const QRegularExpression ticked(QStringLiteral("`([^`]+)`"));
    QList<ControlRow> rows;
    QString window;
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString& l = lines.at(i);
        if (const auto m = heading.match(l); m.hasMatch()) {
            window = m.captured(1);
            continue;
        }
        const QStringList cells = l.split('|');
        if (window.isEmpty() || cells.size() != 6 || !cells.at(2).trimmed().startsWith('`'))
            continue;
        ControlRow row { window, cells.at(2).trimmed().remove('`'), std::nullopt, {}, i + 1 };
        const QString caption = cells.at(3).trimmed();
        if (caption.startsWith('"') && caption.endsWith('"') && caption.size() >= 2)
            row.caption = caption.mid(1, caption.size() - 2);
        for (auto it = ticked.globalMatch(cells.at(4)); it.hasNext();)
            row.bound << it.next().captured(1);
        rows << row;
    }
    return rows;
}

// Every identifier of the sources under src/.
QSet<QString> sourceIdentifiers()
{
    QSet<QString> out;
    static const QRegularExpression word(QStringLiteral("[A-Za-z_]\\w*"));
    QDirIterator it(QStringLiteral(ZZ_SOURCE_DIR "/src"), { "*.h", "*.cpp" }, QDir::Files,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString code = QString::fromUtf8(readFile(it.next()));
        for (auto m = word.globalMatch(code); m.hasNext();)
            out.insert(m.next().captured());
    }
    return out;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:

    // docs/controls.md names every control of every window by its objectName, with
    // its caption and the members it is bound to; the table cannot drift from the
    // windows or the code.
    void controlsTable()
    {
        Rig rig;
        rig.click("Command1");
        ConfigRig configRig;
        ConfigurationWindow configuration(configRig.config);
        HelpRig help;
        DownloadController download(*rig.core, rig.prompter);
        DownloadWindow downloadWindow(download);
        const QList<const QWidget*> windows { rig.window.get(), &configuration, &help.form,
            rig.window->statusWizard(), &downloadWindow, downloadWindow.progressWindow(),
            downloadWindow.settingsWindow(), downloadWindow.specialWindow() };

        const QList<ControlRow> rows
            = readControlsTable(QString::fromUtf8(readFile(ZZ_SOURCE_DIR "/docs/controls.md")));
        const QSet<QString> identifiers = sourceIdentifiers();
        QStringList faults;
        QHash<QString, QStringList> listed;
        for (const ControlRow& row : rows) {
            const QString at
                = QStringLiteral("controls.md:%1 %2/%3: ").arg(row.line).arg(row.window, row.name);
            listed[row.window] << row.name;
            const QWidget* window = nullptr;
            for (const QWidget* w : windows)
                if (w->objectName() == row.window)
                    window = w;
            if (!window) {
                faults << at + "no such window";
                continue;
            }
            const QWidget* control
                = row.name == row.window ? window : window->findChild<const QWidget*>(row.name);
            if (!control)
                faults << at + "no such control";
            else if (row.caption && captionOf(control) != *row.caption)
                faults << at + "the caption is \"" + captionOf(control) + '"';
            for (const QString& b : row.bound)
                if (!identifiers.contains(b.section(QStringLiteral("::"), -1)))
                    faults << at + b + " is not in the code";
        }
        for (const QWidget* w : windows)
            for (const QString& name : namedControls(w))
                if (!listed.value(w->objectName()).contains(name))
                    faults
                        << QStringLiteral("%1/%2: not in controls.md").arg(w->objectName(), name);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }
    void startUp()
    {
        Rig rig({ .decodeStatus = true, .files = { "b.cmd", "A.CMD", "note.txt" } });
        QVERIFY2(rig.prompter.shown.isEmpty(), qPrintable(rig.prompter.texts().join('|')));
        QTRY_COMPARE(rig.shown(Frames), "Frame4 SendFrame Frame7");
        // Patterns match without regard to case; the first file is selected.
        QTRY_COMPARE(rig.items("Filelist"), QStringList({ "A.CMD", "b.cmd" }));
        QCOMPARE(rig.get<QListWidget>("Filelist")->currentRow(), 0);
        QCOMPARE(rig.get<QLineEdit>("Filename")->text(), "A.CMD");
        QCOMPARE(rig.core->selectedCommandFile(), QDir(rig.workDir).filePath("A.CMD"));
        QCOMPARE(rig.window->windowTitle(), "ZAZIRUV 1.5");
        const QString status = rig.get<QLabel>("statusLine")->text();
        QVERIFY2(status.endsWith("open") && status.contains(rig.sim->slavePath())
                && status.contains("9600"),
            qPrintable(status));

        // Every control lies inside Frame8.
        const QStringList captions { "Frame4=Command File ", "SendFrame=Send Commands",
            "Frame7=Status Description",
            "Frame2=Receive Window?To view Status Description, select mode in Setup menu",
            "Frame3=Terminal", "Command3=New?Creates a New TYX Command file", "EditCmd=Edit",
            "DeleteCmd=Delete?Deletes selected file", "ExecuteCmdFile=Execute", "PauseCmd=Pause",
            "CancelCmd=Cancel", "Command2=Download File", "Command1=Status Wizard",
            "TransmitText?Enter TYX Command here and hit ENTER key",
            "CmdHome=Home/Enable?Sends Home and Enable Commands",
            "CmdDisable?Sends Disable command",
            "CmdAbort?Aborts Command file execution and sends \"Abort\"", "TextRecv?TYX's response",
            "List1?Displays Status description when Queried",
            "List2?Displays Status description when Queried", "CmdClearRecv=Clear Window",
            "CmdClearTerm=Clear Terminal", "CmdTerminal=Terminal", "CmdManual=Manual",
            "CmdSetup=Setup", "DownloadButton=Download ?Switches Mode to Download", "CmdHelp=Help",
            "CmdExit=Exit" };
        QCOMPARE(captionsOf(rig.get("Frame8"), captions), captions);
    }

    // The traffic view: hidden until the operator turns it on, which the store keeps
    // for the next start; what each command sends and gets as rows in two colours;
    // hex on demand, relative times, Pause, Find, Save, Clear; a log to file that a
    // full disk stops with one message while the command goes on; nothing taken
    // while hidden.
    void trafficView()
    {
        Rig rig;
        auto* dock = rig.get<QDockWidget>("TrafficView");
        auto* toggle = child<QAction>(rig.window.get(), "TrafficToggle");
        TrafficView* view = rig.window->trafficView();
        TrafficModel* model = view->model();
        const QString store = rig.dir.filePath("settings.json");
        int answers = 0; // answer rows the port's recorder has handed on
        QObject counting;
        connect(&rig.core->link().traffic(), &TrafficRecorder::rowReady, &counting,
            [&](const TrafficRow& row) { answers += row.kind == TrafficRow::Kind::Received; });
        QVERIFY(!dock->isVisible() && !toggle->isChecked());
        toggle->trigger();
        QVERIFY(dock->isVisible());
        QVERIFY(readFile(store).contains("\"TrafficView\": 1"));
        const auto texts = [&] {
            QStringList out;
            for (int r = 0; r < model->rowCount(); ++r)
                out << model->index(r, TrafficModel::DirectionColumn).data().toString() + ' '
                        + model->index(r, TrafficModel::TextColumn).data().toString();
            return out;
        };
        rig.enter("0 ST");
        QVERIFY(waitFor([&] { return texts().contains("← 0 0100<CR><LF>"); }));
        QCOMPARE(texts(), QStringList({ "→ <CR>", "→ 0 ST<CR>", "← 0 0100<CR><LF>" }));
        const auto colour = [&](int r) {
            return model->index(r, TrafficModel::TextColumn).data(Qt::ForegroundRole);
        };
        QVERIFY(colour(1) != colour(2));
        auto* table = rig.get<QTableView>("TrafficTable");
        QVERIFY(table->isColumnHidden(TrafficModel::HexColumn));
        rig.click("TrafficHex");
        QVERIFY(!table->isColumnHidden(TrafficModel::HexColumn));
        QCOMPARE(model->index(1, TrafficModel::HexColumn).data().toString(), "30 20 53 54 0D");
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$")
                    .match(model->index(0, 0).data().toString())
                    .hasMatch());
        rig.click("TrafficRelative");
        QVERIFY(QRegularExpression("^\\+\\d+\\.\\d{3}$")
                    .match(model->index(2, 0).data().toString())
                    .hasMatch());

        QVERIFY(view->findNext("0 01"));
        QCOMPARE(table->currentIndex().row(), 2);
        QVERIFY(!view->findNext("9 ZZ"));
        QCOMPARE(view->message(), "\"9 ZZ\" not found");
        const QString saved = rig.dir.filePath("saved.txt");
        QVERIFY(view->saveTo(saved));
        const QList<QByteArray> lines = readFile(saved).split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[2], trafficLogLine(model->rowAt(2)).toUtf8());

        rig.click("TrafficPause");
        rig.enter("0 ST");
        QVERIFY(waitFor([&] { return answers == 2; }));
        model->insertPending();
        QCOMPARE(model->rowCount(), 3);
        rig.click("TrafficPause");
        QCOMPARE(model->rowCount(), 6);
        rig.click("TrafficClear");
        QCOMPARE(model->rowCount(), 0);

        const QString logFile = rig.dir.filePath("traffic.log");
        rig.get<QLineEdit>("TrafficLogFile")->setText(logFile);
        rig.click("TrafficLog");
        QVERIFY(view->isLogging());
        rig.enter("0 ST");
        QVERIFY(waitFor([&] { return readFile(logFile).contains("← 0 0100<CR><LF>"); }));
        rig.click("TrafficLog");
        QVERIFY(!view->isLogging());

        QVERIFY(view->startLog("/dev/full"));
        rig.enter("0 ST");
        QVERIFY(waitFor([&] { return !view->isLogging(); }));
        QCOMPARE(view->message(), "Traffic log stopped: /dev/full: No space left on device");
        QVERIFY(!rig.get<QCheckBox>("TrafficLog")->isChecked());
        QVERIFY(waitFor([&] { return answers == 4; }));

        // Shown again at the next start; once hidden, it takes nothing.
        rig.window = std::make_unique<MainWindow>(*rig.core);
        rig.window->show();
        QVERIFY(rig.get<QDockWidget>("TrafficView")->isVisible());
        child<QAction>(rig.window.get(), "TrafficToggle")->trigger();
        QVERIFY(readFile(store).contains("\"TrafficView\": 0"));
        rig.enter("0 ST");
        QVERIFY(waitFor([&] { return answers == 5; }));
        rig.window->trafficView()->model()->insertPending();
        QCOMPARE(rig.window->trafficView()->model()->rowCount(), 0);
    }

    // At most 50,000 rows: the oldest go, counted and said.
    void trafficRowLimit_data()
    {
        addColumns<QList<int>, int>("batches", "dropped");
        addRow("up to the limit", QList<int> { 49999, 1 }, 0);
        addRow("one batch over", QList<int> { 50005 }, 5);
        addRow("second batch over", QList<int> { 49990, 30 }, 20);
    }
    void trafficRowLimit()
    {
        QFETCH(QList<int>, batches);
        QFETCH(int, dropped);
        SerialLink link;
        TrafficView view(link);
        TrafficModel* model = view.model();
        int n = 0;
        for (int size : batches) {
            for (int i = 0; i < size; ++i) {
                TrafficRow row;
                row.bytes = QByteArray::number(n++);
                model->add(row);
            }
            model->insertPending();
        }
        QCOMPARE(model->rowCount(), TrafficModel::MaxRows);
        QCOMPARE(model->dropped(), dropped);
        QCOMPARE(model->rowAt(0).bytes, QByteArray::number(dropped));
        QCOMPARE(model->rowAt(TrafficModel::MaxRows - 1).bytes, QByteArray::number(n - 1));
        QCOMPARE(child<QLabel>(&view, "TrafficCounts")->text(),
            dropped ? QStringLiteral("50000 rows, %1 oldest dropped").arg(dropped)
                    : QStringLiteral("50000 rows"));
    }

    // Command mode without status decoding: the entry box sends the trimmed command
    // and empties, the receive window stands in for the status frame, the buttons
    // send their commands and hand the keyboard back to the entry box.
    void commandMode()
    {
        Rig rig;
        rig.enter("0 ST");
        QTRY_COMPARE(rig.items("ListRecv"), QStringList { "0  0100" });
        QTRY_COMPARE(rig.shown(Frames), "Frame4 SendFrame Frame2");
        rig.click("CmdClearRecv");
        QTRY_COMPARE(rig.get<QListWidget>("ListRecv")->count(), 0);
        rig.enter("0 POS   ");
        QCOMPARE(rig.get<QLineEdit>("TransmitText")->text(), QString());
        QTRY_COMPARE(rig.items("CommandHistory"), QStringList({ "0 ST", "0 POS" }));
        for (const char* button : { "CmdHome", "CmdDisable", "CmdAbort" })
            rig.click(button);
        QTRY_COMPARE(
            rig.lines, QList<QByteArray>({ "0 ST", "0 POS", "0 HO", "0 EN", "0 DI", "0 AB" }));
        QCOMPARE(QApplication::focusWidget(), rig.get("TransmitText"));
    }

    // Answers at the line's rate redraw the window once a frame, not once each: a burst
    // of changes reaches the name box once, while a control a procedure disables is
    // disabled at once. A new answer adds its row and drops the oldest; the rows kept
    // are not made again (the operator's selection stays on its row).
    void refreshOncePerFrame()
    {
        Rig rig;
        auto* name = rig.get<QLineEdit>("Filename");
        int redraws = 0;
        connect(name, &QLineEdit::textChanged, this, [&] { ++redraws; });
        for (int i = 1; i <= 50; ++i)
            rig.core->setFileName(QStringLiteral("F%1.CMD").arg(i));
        rig.core->setEnabled({ &TerminalCore::Controls::ExecuteCmdFile }, false);
        QVERIFY(!rig.get("ExecuteCmdFile")->isEnabled());
        QTRY_COMPARE(name->text(), "F50.CMD");
        QCOMPARE(redraws, 1);

        // Six answers, each different ("0 EEC" is answered from node 1).
        const QStringList answers { "0  0100", "0  00000100", "0  00000000", "0  0000", "1  0000",
            "0  0100" };
        auto* list = rig.get<QListWidget>("ListRecv");
        QList<QListWidgetItem*> rows;
        const QStringList commands { "0 ST", "0 SR", "0 POR", "0 I", "0 EEC", "0 ST" };
        for (qsizetype k = 0; k < commands.size(); ++k) {
            rows.clear();
            for (int i = 0; i < list->count(); ++i)
                rows << list->item(i);
            rig.enter(commands[k]);
            QTRY_VERIFY(list->count() > 0 && list->item(list->count() - 1)->text() == answers[k]);
        }
        QCOMPARE(rig.items("ListRecv"), answers.mid(1));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(list->item(i), rows[i + 1]);
    }

    // The lists show what the core decoded (tst_terminalcore's decoding checks the
    // texts of every bit), red when it says so.
    void statusLists_data()
    {
        addColumns<int, bool>("status", "alert");
        addRow("0103: disabled, red", 0x0103, true);
        addRow("0000: calm", 0x0000, false);
    }
    void statusLists()
    {
        QFETCH(int, status);
        QFETCH(bool, alert);
        Rig rig({ .decodeStatus = true, .status = quint16(status) });
        rig.enter("0 ST");
        QTRY_COMPARE(rig.get<QLineEdit>("TextRecv")->text(),
            QStringLiteral("0  %1").arg(status, 4, 16, QLatin1Char('0')).toUpper());
        QVERIFY(
            rig.core->statusLines().low.size() == 4 && rig.core->statusLines().high.size() == 1);
        QCOMPARE(rig.items("List1"), rig.core->statusLines().low);
        QCOMPARE(rig.items("List2"), rig.core->statusLines().high);
        const QColor expected
            = alert ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::ButtonText);
        for (const char* list : { "List1", "List2" })
            QCOMPARE(rig.get(list)->palette().color(QPalette::Text), expected);
    }

    void terminalMode()
    {
        Rig rig({ .decodeStatus = true });
        rig.enter("0 EN");
        rig.click("CmdTerminal");
        auto* term = rig.get<QPlainTextEdit>("TextTerminal");
        QCOMPARE(QApplication::focusWidget(), term);
        QTRY_COMPARE(rig.shown(Frames), "Frame3");

        QTest::keyClicks(term, "0 ST");
        QTest::keyClick(term, Qt::Key_Return);
        // Typed keys show locally; the answer line follows, without a blank line.
        QTRY_COMPARE(term->toPlainText(), "0 ST\n0 0000\n");
        QTest::keyClicks(term, "1 ST");
        QTest::keyClick(term, Qt::Key_Enter);
        QTRY_COMPARE(term->toPlainText(), "0 ST\n0 0000\n1 ST\n1 0000\n");
        QCOMPARE(rig.lines, QList<QByteArray>({ "0 EN", "0 ST", "1 ST" }));
        // Backspace goes to the controller and takes the character back in the box.
        QTest::keyClicks(term, "0 X");
        QTest::keyClick(term, Qt::Key_Backspace);
        QTRY_COMPARE(term->toPlainText(), "0 ST\n0 0000\n1 ST\n1 0000\n0 ");
        QCOMPARE(term->textCursor().position(), term->toPlainText().size());
        // In terminal mode nothing goes to the command mode displays.
        QCOMPARE(rig.get<QListWidget>("ListRecv")->count(), 0);
        rig.get("CmdClearTerm")->setFocus();
        rig.click("CmdClearTerm");
        QTRY_COMPARE(term->toPlainText(), QString());
        QCOMPARE(QApplication::focusWidget(), term);

        rig.click("CmdManual");
        QTRY_COMPARE(rig.shown(Frames), "Frame4 SendFrame Frame7");
        QCOMPARE(QApplication::focusWidget(), rig.get("TransmitText"));
    }

    // A double click on the frame shows the working directory as the caption and back.
    // The status wizard and the help window are modeless and single, and the main window
    // stays usable. Setup disables the window, which then does not close either; a help
    // window opened while it is disabled (as when the download window is in use) loads
    // the download window's document and is usable itself. Exit closes it and the port.
    void windowsSetupExit()
    {
        Rig rig;
        QTest::mouseDClick(rig.get("Frame8"), Qt::LeftButton);
        QTRY_COMPARE(rig.window->windowTitle(), rig.workDir);
        QTest::mouseDClick(rig.get("Frame8"), Qt::LeftButton);
        QTRY_COMPARE(rig.window->windowTitle(), "ZAZIRUV 1.5");

        rig.click("Command1");
        StatusMaskWizard* wizard = rig.window->statusWizard();
        QVERIFY(wizard && wizard->isVisible() && wizard->isWindow() && !wizard->isModal());
        rig.enter("0 ST");
        QTRY_COMPARE(rig.get<QListWidget>("ListRecv")->count(), 1);
        rig.click("Command1");
        QCOMPARE(rig.window->statusWizard(), wizard);
        rig.click("CmdHelp");
        QPointer<HelpWindow> help = rig.window->helpWindow();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->documentName(), "help.rtf");
        rig.click("CmdHelp");
        QCOMPARE(rig.window->helpWindow(), help.data());
        // Closing discards it.
        help->close();
        QTRY_VERIFY(!help);

        QSignalSpy config(rig.core.get(), &TerminalCore::configWindowRequested);
        rig.click("CmdSetup");
        QCOMPARE(config.count(), 1);
        QVERIFY(!rig.get("Frame8")->isEnabled() && !rig.get("TransmitText")->isEnabled());
        QVERIFY(!rig.window->close());
        QVERIFY(rig.window->isVisible());
        rig.window->showHelp();
        QCOMPARE(rig.window->helpWindow()->documentName(), "helpEEloader.rtf");
        QVERIFY(rig.window->helpWindow()->isEnabled());
        rig.core->setWindowEnabled(true);
        Q_EMIT rig.core->viewChanged();
        QVERIFY(rig.get("TransmitText")->isEnabled());
        QSignalSpy exit(rig.core.get(), &TerminalCore::exitRequested);
        rig.click("CmdExit");
        QCOMPARE(exit.count(), 1);
        QVERIFY(!rig.core->link().isOpen() && !rig.window->isVisible());
        // With the port closed, Enter says so and leaves the text for another try.
        rig.enter("0 HO");
        QCOMPARE(rig.prompter.texts(), QStringList { "Please check Port Configuration" });
        QCOMPARE(rig.get<QLineEdit>("TransmitText")->text(), "0 HO");
        QCOMPARE(rig.items("CommandHistory"), QStringList { "0 ST" });
    }

    // The name box and the list's highlight agree: the highlight shows the file the box
    // names (in any case), or none; moving the highlight puts its name in the box.
    void filelistFollowsName_data()
    {
        addColumns<QString, int>("name", "row");
        addRow("listed", QString("b.cmd"), 1);
        addRow("other case", QString("A.CMD"), 0);
        addRow("not listed", QString("c.cmd"), -1);
        addRow("empty", QString(), -1);
    }
    void filelistFollowsName()
    {
        QFETCH(QString, name);
        QFETCH(int, row);
        Rig rig({ .status = 0, .files = { "a.cmd", "b.cmd" } });
        auto* list = rig.get<QListWidget>("Filelist");
        list->setCurrentRow(0);
        rig.core->setFileName(name);
        // The window redraws once a frame.
        QTRY_COMPARE(list->currentRow(), row);
        list->setCurrentRow(1);
        QTRY_COMPARE(rig.core->fileName(), "b.cmd");
        QTRY_COMPARE(rig.get<QLineEdit>("Filename")->text(), "b.cmd");
    }

    // The command file frame's buttons drive the runner.
    void commandFileFrame()
    {
        Rig rig({ .status = 0, .files = { "a.cmd", "b.cmd" } });
        CommandFileRunner runner(*rig.core, rig.prompter);
        int started = 0;
        runner.editor().starter = [&](const QString&, const QStringList&) { return ++started > 0; };
        bindCommandFileFrame(*rig.window, runner);
        rig.window->refreshView();
        QVERIFY(!rig.get("PauseCmd")->isEnabled() && !rig.get("CancelCmd")->isEnabled());
        auto* list = rig.get<QListWidget>("Filelist");
        Q_EMIT list->itemClicked(list->item(1));
        QCOMPARE(rig.core->fileName(), "b.cmd");
        rig.prompter.answers = { PromptAnswer::No };
        rig.click("ExecuteCmdFile");
        QVERIFY(waitFor([&] { return rig.lines.contains("0 ST"); }));
        QVERIFY(rig.get("ExecuteCmdFile")->isEnabled());
        rig.click("Command3");
        QCOMPARE(started, 1);
    }

    // Captions and tooltips (none where none is given), the settings in force, and the
    // status description option; closed by the title bar it saves nothing.
    void showsSettingsInForceCloseSavesNothing()
    {
        ConfigRig rig({ { 6, "/nonexistent/ttyUSB9" } }, 6,
            QJsonObject { { "BaudRate", 38400 }, { "DecodeStatus", "False" },
                { "DecimalValues", "True" }, { "Protocol", 485 }, { "CheckSum", "True" },
                { "TxDelay", 7 } });
        Window w(rig);
        QCOMPARE(w.form.windowTitle(), "Configuration");
        QStringList captions { "OptCom1=Com1" };
        for (int n = 2; n <= 8; ++n)
            captions << QStringLiteral("Optcom%1=Com%1").arg(n);
        for (const char* b : { "9600", "19200", "38400", "57600" })
            captions << QStringLiteral("Opt%1=%1").arg(b);
        captions += { "Frame1=Communications", "Frame2=Options", "Frame3=Directory", "Frame5=Port",
            "Frame6=Baud", "Label1=Drive", "Label2=Delay", "ChkRS232=RS232 Version",
            "SaveAndExit=Save and Exit",
            "AutoConfigure=Auto Configure?Configures automatically the Serial Port and Baud rate",
            "ChkStatus=Show Status Description?Activates Status display for debugging",
            "ChkDecimal=Show Decimal Numbers?Translates the TYX's HEX response to a Decimal "
            "number in the Receive Data window",
            "CheckSumChk=Checksum Enabled?Activates Checksum option please see the \"CK\" "
            "command in the help command section",
            "Debug=DEBUG?Creates a Debug File  (TYXLOG) you can email to TYX technical support" };
        QCOMPARE(captionsOf(&w.form, captions), captions);

        QVERIFY(w.form.isVisible());
        QVERIFY(!rig.core->windowEnabled());
        for (const auto& [name, checked] :
            { std::pair { "Optcom6", true }, { "Opt38400", true }, { "ChkStatus", false },
                { "ChkDecimal", true }, { "ChkRS232", false }, { "CheckSumChk", true } })
            QVERIFY2(child<QAbstractButton>(&w.form, name)->isChecked() == checked, name);
        QCOMPARE(child<QLineEdit>(&w.form, "TXdelay")->text(), "7");
        QCOMPARE(w.form.comDeviceBox(6)->currentText(), "/nonexistent/ttyUSB9");
        QCOMPARE(child<QComboBox>(&w.form, "Drive1")->currentText(), "/");
        QCOMPARE(w.currentDir(), rig.workDir);

        // The status description option clears what the status display showed.
        QVERIFY(!rig.core->panels().status);
        for (const bool on : { true, false }) {
            rig.core->showStatusDescription("0 FFFF");
            QVERIFY(!rig.core->statusLines().high.isEmpty());
            click(&w.form, "ChkStatus");
            QCOMPARE(rig.cfg.ChkStatus, int(on));
            QCOMPARE(rig.core->panels().status, on);
            QVERIFY(
                rig.core->statusLines().low.isEmpty() && rig.core->statusLines().high.isEmpty());
            QVERIFY(rig.core->receivedText().isEmpty());
        }

        // Closed by the title bar: the main window works again, nothing is saved.
        const QByteArray before = readFile(rig.storePath);
        click(&w.form, "Optcom7");
        QVERIFY(w.form.close());
        QVERIFY(!w.form.isVisible());
        QVERIFY(rig.core->windowEnabled());
        QCOMPARE(readFile(rig.storePath), before);
    }

    // A directory that went away is refused and the list keeps the choice in force;
    // another takes effect at once, before the save.
    void saveAndExit()
    {
        PtyPair pair;
        QVERIFY(pair.isValid());
        ConfigRig rig;
        const QString cmds = QDir(rig.workDir).filePath("cmds");
        const QString gone = QDir(rig.workDir).filePath("gone");
        QVERIFY(QDir().mkpath(cmds) && QDir().mkpath(gone));
        for (const char* name : { "a.cmd", "B.CMD", "notes.txt" })
            QVERIFY(writeFile(QDir(cmds).filePath(name), "0 ST\r\n"));
        rig.core->setFileName("old.cmd");
        QVERIFY(!rig.core->link().isOpen());

        Window w(rig);
        QVERIFY(QDir(gone).removeRecursively());
        w.selectDirectory(gone);
        QCOMPARE(rig.cfg.chosenDir, rig.workDir);
        QCOMPARE(rig.core->workingDir(), rig.workDir);
        QCOMPARE(rig.prompter.shown.size(), 1);
        QVERIFY(rig.prompter.shown[0].text.contains("cannot be read"));
        QCOMPARE(w.currentDir(), rig.workDir);
        w.form.refreshControls();
        w.selectDirectory(cmds);
        QCOMPARE(rig.core->workingDir(), cmds);
        QCOMPARE(rig.stored()["WorkingDir"].toString(), rig.workDir);

        // A device is taken without blanks, one cleared is the platform default again;
        // the delay is rounded half to even.
        for (const auto& [edit, text] :
            { std::pair { w.form.comDeviceBox(3)->lineEdit(), " " + pair.slavePath() + " " },
                { w.form.comDeviceBox(6)->lineEdit(), QString() },
                { child<QLineEdit>(&w.form, "TXdelay"), QStringLiteral("2.5") } }) {
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, text);
        }
        for (const char* name : { "Optcom3", "Opt38400", "ChkDecimal", "ChkRS232", "CheckSumChk" })
            click(&w.form, name);
        click(&w.form, "SaveAndExit");

        const QJsonObject expected { { "ComPort", 3 }, { "BaudRate", 38400 },
            { "DecimalValues", "False" }, { "Protocol", 485 }, { "CheckSum", "False" },
            { "DecodeStatus", "True" }, { "TxDelay", 2 }, { "WorkingDir", cmds },
            { "ComDevice3", pair.slavePath() }, { "ComDevice5", missingDevice(5) } };
        QJsonObject stored;
        for (const QString& key : expected.keys())
            stored.insert(key, rig.stored()[key]);
        QCOMPARE(stored, expected);
        QVERIFY(!rig.stored().contains("ComDevice6"));
        QCOMPARE(rig.settings->record.TxDelay, 2);

        // The port reopened with the new settings.
        QVERIFY(rig.core->link().isOpen());
        QCOMPARE(rig.core->link().device(), pair.slavePath());
        QCOMPARE(rig.core->link().baud(), 38400);
        QVERIFY(rig.core->portReady());

        // Back in the main window, with its file list from the new directory.
        QVERIFY(!w.form.isVisible());
        QVERIFY(rig.core->windowEnabled());
        QCOMPARE(rig.core->fileList().path, cmds);
        QCOMPARE(rig.core->fileList().pattern, "*.Cmd");
        QCOMPARE(rig.core->fileList().entries, QStringList({ "a.cmd", "B.CMD" }));
        QVERIFY(rig.core->fileName().isEmpty());
        QCOMPARE(rig.prompter.shown.size(), 1); // the refusal alone
    }

    // Auto Configure shows what it found and leaves the window open; DEBUG then logs the
    // controller it found, with the window disabled while it works.
    void autoConfigureAndDebugButtons()
    {
        ConfigRig rig({ { 3, "sim: --baud 19200" } });
        Window w(rig);
        click(&w.form, "AutoConfigure");
        QVERIFY(child<QRadioButton>(&w.form, "Optcom3")->isChecked());
        QVERIFY(child<QRadioButton>(&w.form, "Opt19200")->isChecked());
        QVERIFY(!child<QCheckBox>(&w.form, "CheckSumChk")->isChecked());
        QVERIFY(w.form.isVisible());
        QVERIFY(child(&w.form, "SaveAndExit")->isEnabled());
        QCOMPARE(rig.prompter.texts().last(), PortProbe::ProbeSuccessText);

        bool disabledWhileWorking = false;
        rig.prompter.onShow
            = [&](const PromptMessage&) { disabledWhileWorking = !w.form.isEnabled(); };
        click(&w.form, "Debug");
        QVERIFY(disabledWhileWorking);
        QVERIFY(w.form.isEnabled());
        // Once the log is written, its buttons work again.
        for (const char* name : { "AutoConfigure", "Debug", "SaveAndExit" })
            QVERIFY2(child(&w.form, name)->isEnabled(), name);
        QVERIFY(
            rig.prompter.texts().last().startsWith(PortProbe::DebugSuccessText + "\r\nIt is /"));
    }

    // Each input read, then written: byte for byte what the reader understood.
    void readThenWrite_data()
    {
        addColumns<QByteArray, QByteArray>("input", "output");
        auto row = [](const char* name, const QByteArray& in, const QByteArray& out) {
            addRow(name, in, out);
        };
        row("plain", "{\\rtf1 Hello}", written("\\pard Hello"));
        row("paragraphs, alignment, last without par",
            "{\\rtf1\\pard\\qc A\\par\\pard B\\par\r\n\\qr C}",
            written("\\pard\\qc A\\par\n\\pard B\\par\n\\pard\\qr C"));
        row("spacing and indents in twips, reset by pard",
            "{\\rtf1\\sb120\\sa240\\li720\\fi-360 A\\par\\pard\\sa99999999 B}",
            written("\\pard\\sb120\\sa240\\li720\\fi-360 A\\par\n\\pard\\sa31680 B"));
        row("bold, italic, underline, strike; off again",
            "{\\rtf1 a\\b b\\i c\\b0\\i0\\ul d\\ulnone\\strike e\\strike0 f}",
            written("\\pard a{\\b b}{\\b\\i c}{\\ul d}{\\strike e}f"));
        row("group ends formatting; plain resets", "{\\rtf1 {\\b\\i x}y\\b\\fs40 z\\plain w}",
            written("\\pard {\\b\\i x}y{\\b\\fs40 z}w"));
        row("font table with and without groups",
            "{\\rtf1{\\fonttbl\\f0\\fswiss Helvetica;\\f1\\fmodern Courier New;}"
            "{\\fonttbl{\\f2\\fnil{\\*\\panose 0}Mono{\\*\\falt M};}}\\f1 c\\f2 m\\f9 u}",
            written("\\pard {\\f1 c}{\\f2 m}u", "{\\f1\\fnil Courier New;}{\\f2\\fnil Mono;}"));
        row("colour table, 0 is automatic",
            "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
            "\\cf2 n\\cf0 a\\cf1 r\\highlight2 h\\cf7 x}",
            written("\\pard {\\cf1 n}a{\\cf2 r}{\\cf2\\highlight1 h}{\\highlight1 x}", {},
                "\\red0\\green0\\blue128;\\red255\\green0\\blue0;"));
        row("code page 1252, escapes, tab, line, no-break space",
            "{\\rtf1 \\'80\\'e9\\'FC\\'9f \\\\\\{\\}\\tab t\\line l\\~\\emdash\\'zz.}",
            written("\\pard \\u8364\\'3f\\u233\\'3f\\u252\\'3f\\u376\\'3f "
                    "\\\\\\{\\}\\tab t\\line l\\~\\u8212\\'3fzz."));
        row("unicode with fallbacks: uc1, uc0, uc2, group resets",
            "{\\rtf1 caf\\u233?,\\uc0\\u969 ,{\\uc2\\u8364\\'80\\'80}\\u-4064 x\\u8212\\'97}",
            written(
                "\\pard "
                "caf\\u233\\'3f,\\u969\\'3f,\\u8364\\'3f\\u-4064\\'3fx\\u8212\\'3f\\u8212\\'3f"));
        row("surrogate pair kept, lone half replaced", "{\\rtf1 \\u55348?\\u56606? \\u-10179?x}",
            written("\\pard \\u-10188\\'3f\\u-8930\\'3f \\u-3\\'3fx"));
        row("destinations skipped, text around kept",
            "{\\rtf1 a{\\info{\\title T}}b{\\stylesheet{\\s0 Normal;}}c{\\*\\unknown "
            "u{\\b v}}d{\\pict\\bin4 }}{x}e{\\field{\\*\\fldinst HYPERLINK}{\\fldrslt "
            "f}}}",
            written("\\pard abcdef"));
        row("binary data is not text", "{\\rtf1 a{\\*\\blob\\bin3 {\\}b}c\\bin2 zzd}",
            written("\\pard acd"));
        row("text after the document's end ignored", "\r\n {\\rtf1 in}out{\\b more}",
            written("\\pard in"));
        row("unclosed groups, cut in a control word", "{\\rtf1 {\\b bold {\\i both\\par\\ul",
            written("\\pard {\\b bold }{\\b\\i both}\\par\n\\pard "));
        row("not RTF: UTF-8 text", "A{b}\nc\xc3\xa9",
            written("\\pard A\\{b\\}\\par\n\\pard c\\u233\\'3f"));
        row("not RTF: Windows-1252 text", "\x80 \xe9", written("\\pard \\u8364\\'3f \\u233\\'3f"));
        row("empty", "", written("\\pard "));
        // Files written by pandoc and by a word processor (what was read from them reviewed
        // by hand: text, paragraphs, formats).
        for (const char* file : { "pandoc", "wordprocessor" })
            row(file, readFile(kData + file + ".rtf"),
                readFile(kData + file + ".read.rtf", "<missing>"));
    }

    void readThenWrite()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        QCOMPARE(rtf::write(Doc(input)), output);
    }

    void roundTrip()
    {
        Doc doc;
        doc.setHtml(QStringLiteral("<p align=center><b>Bold</b> <i>it</i> <u>ul</u></p>"
                                   "<p><span style='font-size:15pt; color:#008000'>big green</span>"
                                   " Größe — ω 𝄞 {\\}</p><p>last</p>"));
        const QByteArray bytes = rtf::write(doc);
        QVERIFY(bytes.contains("\\pard\\qc\\sb180\\sa180 {\\b Bold} {\\i it} {\\ul ul}"));
        QVERIFY(bytes.contains("{\\fs30\\cf1 big green}"));
        const Doc back(bytes);
        QCOMPARE(back.toPlainText(), doc.toPlainText());
        QCOMPARE(rtf::write(back), bytes);
    }

    // What other readers make of the writer's output.
    void readBackByOthers_data()
    {
        addColumns<QStringList, QString>("arguments", "expected"); // expected: parts, "|"
        addRow("unrtf", QStringList { "--html" },
            QString("<b>Bold</b>|<i>ital</i>|<u>under</u>|Gr&ouml;&szlig;e &euro; {x}"));
        addRow("pandoc", QStringList { "-f", "rtf", "-t", "html" },
            QString("<strong>Bold</strong>|<em>ital</em>|<u>under</u>|Größe €|{x}"));
    }

    void readBackByOthers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const QString program = QString::fromLatin1(QTest::currentDataTag());
        const QString exe = QStandardPaths::findExecutable(program);
        if (exe.isEmpty())
            QSKIP(qPrintable(
                program + QStringLiteral(" is not installed; install it to run this check")));
        Doc doc;
        doc.setHtml(
            QStringLiteral("<p><b>Bold</b> <i>ital</i> <u>under</u></p><p>Größe € {x}</p>"));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("out.rtf"));
        QVERIFY(writeFile(file, rtf::write(doc)));
        const ProcessRun r = runProcess(exe, arguments << file);
        QCOMPARE(r.exitCode, 0);
        const QString out = QString::fromUtf8(r.out);
        for (const QString& e : expected.split('|'))
            QVERIFY2(out.contains(e), qPrintable(e + QStringLiteral(" not in:\n") + out));
    }

    // Input deeper or longer than a fuzzer's reads without a crash.
    void brokenInput()
    {
        const QByteArray deep = "{\\rtf1" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}');
        QCOMPARE(Doc(deep).toPlainText(), QStringLiteral("x"));
        Doc { "{\\rtf1" + QByteArray(100000, '\\') };
        Doc { "{\\rtf1\\u99999999999999999999\\uc-5\\bin-3\\fs99999999999\\f-1 \\'" };
    }

    // load shows the user's copy, else the first shipped one, and creates nothing.
    // Save then writes the operator's copy and nothing else; when it cannot, it says why
    // and leaves every file as it was.
    void helpLoadThenSave_data()
    {
        // shown: the file shown, empty for none; saved: empty when the save fails
        addColumns<bool, QStringList, QString, QString, QString>(
            "downloadWindowInUse", "files", "userDir", "shown", "saved");
        const QStringList shipped { "a/help.rtf", "a/helpEEloader.rtf" };
        const QStringList withUserCopy = shipped + QStringList { "user/help.rtf" };
        addRow("main window", false, shipped, "user", "a/help.rtf", "user/help.rtf");
        addRow("download window", true, shipped, "user", "a/helpEEloader.rtf",
            "user/helpEEloader.rtf");
        addRow("second shipped directory", false, QStringList { "b/help.rtf" }, "user",
            "b/help.rtf", "user/help.rtf");
        addRow("user's copy wins, longer old copy", false, withUserCopy, "user", "user/help.rtf",
            "user/help.rtf");
        addRow("user's copy of the other document", true, withUserCopy, "user",
            "a/helpEEloader.rtf", "user/helpEEloader.rtf");
        addRow("none, no data directory yet", true, QStringList { "b/help.rtf" }, "user/new/dir",
            "", "user/new/dir/helpEEloader.rtf");
        addRow("data directory is a file", false, shipped, "a/help.rtf", "a/help.rtf", "");
        addRow("document is a folder", false, QStringList { "user/help.rtf/x" }, "user", "", "");
    }

    void helpLoadThenSave()
    {
        QFETCH(bool, downloadWindowInUse);
        QFETCH(QStringList, files);
        QFETCH(QString, userDir);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        HelpRig rig;
        rig.make(files);
        qputenv("ZAZIRUV_DATA_DIR", rig.path(userDir).toLocal8Bit());
        QMap<QString, QByteArray> before = rig.contents();
        rig.form.load(downloadWindowInUse);
        QCOMPARE(rig.shown(), shown);
        QCOMPARE(rig.form.loadedFrom(), shown.isEmpty() ? QString() : rig.path(shown));
        QCOMPARE(rig.contents(), before);

        rig.text1()->setHtml(QStringLiteral("<b>Edited</b> é"));
        click(&rig.form, "Command1");
        QCOMPARE(rig.prompter.shown.size(), 1);
        const PromptMessage& m = rig.prompter.shown[0];
        if (saved.isEmpty()) {
            QVERIFY2(
                m.text.startsWith(
                    QStringLiteral("The changes were not saved to \"%1/").arg(rig.path(userDir))),
                qPrintable(m.text));
            QCOMPARE(m.icon, PromptIcon::Exclamation);
        } else {
            QCOMPARE(m.text, QStringLiteral("changes saved"));
            // Exactly the document: no bytes of a longer old copy after it.
            QCOMPARE(readFile(rig.path(saved)), rtf::write(*rig.text1()->document()));
            QCOMPARE(rig.form.loadedFrom(), rig.path(saved));
            rig.form.load(downloadWindowInUse);
            QCOMPARE(rig.shown(), QStringLiteral("Edited é"));
        }
        QMap<QString, QByteArray> after = rig.contents();
        before.remove(saved);
        after.remove(saved);
        QCOMPARE(after, before);
    }

    // A document up to 4 MiB is shown; a larger one is not read at all, and says so.
    void helpSizeLimit_data()
    {
        addColumns<qint64, QString>("size", "message");
        addRow("4 MiB", HelpWindow::MaxDocumentBytes, QString());
        addRow("one byte more", HelpWindow::MaxDocumentBytes + 1,
            QStringLiteral("was not shown: it is larger than 4194304 bytes"));
    }
    void helpSizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(QString, message);
        HelpRig rig;
        const QByteArray head = "{\\rtf1 Shown{\\*\\pad ";
        writeFixture(
            rig.path("user/help.rtf"), head + QByteArray(size - head.size() - 2, 'x') + "}}");
        rig.form.load(false);
        QCOMPARE(rig.shown(), message.isEmpty() ? QStringLiteral("Shown") : QString());
        QCOMPARE(rig.prompter.shown.size(), message.isEmpty() ? 0 : 1);
        QVERIFY(rig.prompter.texts().join('|').contains(message));
    }

    // The documents copied beside the executable at build time, as an installed program
    // finds them in its data directory.
    void shippedDocuments_data()
    {
        addColumns<bool, QStringList>("downloadWindowInUse", "topics");
        addRow("help.rtf", false,
            QStringList { "Command mode", "Terminal", "Setup", "Auto Configure", "Status Wizard",
                "DELAY", "MESSAGE", "PAUSE", "REPEAT", "dialout", "/dev/ttyS0", "Download File" });
        addRow("helpEEloader.rtf", true,
            QStringList { "Download File", "Combination", "Read Back", "Special Functions",
                "Download settings", "macro", "Boot", "e2prom.dat", "checksum", "Cancel" });
    }

    void shippedDocuments()
    {
        QFETCH(bool, downloadWindowInUse);
        QFETCH(QStringList, topics);
        HelpRig rig;
        rig.form.setShippedDirectories({ QStringLiteral(ZZ_BINARY_DIR "/src/app") });
        rig.form.load(downloadWindowInUse);
        QVERIFY(readFile(rig.form.loadedFrom()).startsWith("{\\rtf1"));
        QCOMPARE(rig.form.windowTitle(), QStringLiteral("Help "));
        QVERIFY(!rig.text1()->isReadOnly());
        const QString text = rig.shown();
        for (const QString& t : topics)
            QVERIFY2(text.contains(t), qPrintable(t));
    }

    // The wizard as it opens, its bits 11 and 8, and a value showing its own bits;
    // closing it discards it.
    void wizardStartState()
    {
        QPointer<StatusMaskWizard> f = new StatusMaskWizard;
        QCOMPARE(f->windowTitle(), QStringLiteral("Status Mask Wizard"));
        // No conversion runs before the operator asks for one: countText is empty.
        const QStringList captions { "Text1=10?Enter a number and Hit enter to display Status",
            "Text2=", "Label1=Status Value", "Option1=Dec", "Option2=Hex",
            "Command2=Display Above?Updates Top Display with Status value currently showing in Box",
            "Command1=Convert?Converts Status bits selected to Decimal Status Value",
            "Frame1=Status Mask Description", "Bit3Check=Command Accepted/ J2-1 active",
            "Bit12Check=External Event 1(J2-8) Active", "Bit15Check=Negative Limit Active" };
        QCOMPARE(captionsOf(f, captions), captions);
        QVERIFY(child<QRadioButton>(f, "Option1")->isChecked());
        QCOMPARE(shownBits(*f), 0x000A);
        f->show();
        // Ticking emergency stop ticks drive disabled; bit 8 cannot be cleared while bit
        // 11 is ticked, but can once it is clear.
        for (const auto& [bit, bits] : { std::pair { "Bit11Check", 0x090A },
                 { "Bit8Check", 0x090A }, { "Bit11Check", 0x010A }, { "Bit8Check", 0x000A } }) {
            click(f, bit);
            QCOMPARE(shownBits(*f), bits);
        }
        // A value shows its own bits: the coupling of bits 11 and 8 is the operator's
        // clicks only, so a value with bit 11 and not bit 8 is shown as it is, and a
        // following value without bit 8 clears it even though bit 11 was ticked before.
        click(f, "Option2");
        auto* text1 = child<QLineEdit>(f, "Text1");
        for (int bits : { 0x0900, 0x0800, 0x0001 }) {
            text1->setText(QString::number(bits, 16));
            QTest::keyClick(text1, Qt::Key_Return);
            QCOMPARE(shownBits(*f), bits);
        }
        f->close();
        QTRY_VERIFY(f.isNull());
    }

    // A value entered shows its bits; Convert writes them back in the chosen radix, and
    // Display Above reads that back to the same bits.
    void wizardEnterThenConvert_data()
    {
        addColumns<bool, QString, int, QString>("hex", "text", "bits", "converted");
        addRow("dec 10", false, "10", 0x000A, "10");
        addRow("dec 65535: all sixteen", false, "65535", 0xFFFF, "-1");
        addRow("dec -1: all sixteen", false, "-1", 0xFFFF, "-1");
        addRow("dec -32768: bit 15", false, "-32768", 0x8000, "-32768");
        addRow("dec 32767: largest positive", false, "32767", 0x7FFF, "32767");
        addRow("dec 65536: no bit of 16", false, "65536", 0x0000, "0");
        addRow("dec fraction rounds, halves to even", false, "2.5", 0x0002, "2");
        addRow("dec beyond 32 bits reads as 0", false, "99999999999", 0, "0");
        addRow("dec text reads as 0", false, "abc", 0, "0");
        addRow("dec empty", false, "", 0, "0");
        addRow("dec after first blank", false, "1 259", 0x0103, "259");
        addRow("dec trailing text ignored", false, "12xyz", 12, "12");
        addRow("dec negative other than -1", false, "-21555", 0xABCD, "-21555");
        addRow("hex 8000: bit 15 only", true, "8000", 0x8000, "8000");
        addRow("hex FFFF", true, "FFFF", 0xFFFF, "FFFF");
        addRow("hex whole answer", true, "1 0103", 0x0103, "0103");
        addRow("hex answer with CR", true, "0 0103\r", 0x0103, "0103");
        addRow("hex lower case, written upper-case", true, "0 abcd", 0xABCD, "ABCD");
        addRow("hex eight digits keep low 16 bits", true, "0 00010103", 0x0103, "0103");
        addRow("hex not a digit", true, "G1", 0, "0000");
        addRow("hex only the first blank counts", true, "0 01 FF", 0x0001, "0001");
    }

    void wizardEnterThenConvert()
    {
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(int, bits);
        QFETCH(QString, converted);
        StatusMaskWizard f;
        f.show();
        click(&f, hex ? "Option2" : "Option1");
        auto* text1 = child<QLineEdit>(&f, "Text1");
        text1->setText(text);
        QTest::keyClick(text1, Qt::Key_Return);
        QCOMPARE(shownBits(f), bits);
        click(&f, "Command1");
        QCOMPARE(child<QLineEdit>(&f, "Text2")->text(), converted);
        for (int k = 0; k < 16; ++k)
            f.bitCheck(k)->setChecked(false);
        text1->setText(converted);
        click(&f, "Command2");
        QCOMPARE(shownBits(f), bits);
    }

    // Each box is shown modal through the prompter too: Enter takes the default button,
    // Escape (or the title bar) the escape answer.
    void messageBox_data()
    {
        addColumns<PromptIcon, PromptButtons, PromptAnswer, QString, int, int, int, PromptAnswer>(
            "icon", "buttons", "defaultAnswer", "title", "boxIcon", "boxButtons", "boxDefault",
            "escape");
        addRow("plain message", I::None, P::Ok, A::Ok, QString(), int(B::NoIcon), int(B::Ok),
            int(B::Ok), A::Ok);
        addRow("question, No by default", I::Question, P::YesNo, A::No, "Registry Corrupted",
            int(B::Question), int(B::Yes | B::No), int(B::No), A::No);
        addRow("information, ok/cancel", I::Information, P::OkCancel, A::Cancel, QString(),
            int(B::Information), int(B::Ok | B::Cancel), int(B::Cancel), A::Cancel);
        addRow("critical, three buttons", I::Critical, P::YesNoCancel, A::No, QString(),
            int(B::Critical), int(B::Yes | B::No | B::Cancel), int(B::No), A::Cancel);
        addRow("warning, default not among the buttons", I::Exclamation, P::YesNo, A::Ok, QString(),
            int(B::Warning), int(B::Yes | B::No), int(B::Yes), A::No);
    }

    void messageBox()
    {
        QFETCH(PromptIcon, icon);
        QFETCH(PromptButtons, buttons);
        QFETCH(PromptAnswer, defaultAnswer);
        QFETCH(QString, title);
        QFETCH(int, boxIcon);
        QFETCH(int, boxButtons);
        QFETCH(int, boxDefault);
        QFETCH(PromptAnswer, escape);
        const QString text = QStringLiteral("Use '*.CMD'\rwhen saving\r\nthe file <b>");
        const auto b = QtPrompter::makeBox({ text, title, icon, buttons, defaultAnswer });
        QCOMPARE(int(b->icon()), boxIcon);
        QCOMPARE(int(b->standardButtons()), boxButtons);
        QCOMPARE(int(b->standardButton(b->defaultButton())), boxDefault);
        QCOMPARE(b->windowTitle(), title.isEmpty() ? QStringLiteral("ZAZIRUV") : title);
        QCOMPARE(b->text(), QStringLiteral("Use '*.CMD'\nwhen saving\nthe file <b>"));
        QCOMPARE(b->textFormat(), Qt::PlainText);
        QCOMPARE(QtPrompter::answerOf(*b), escape);
        // Each button gives its own answer.
        const QMap<int, PromptAnswer> answers { { B::Ok, A::Ok }, { B::Cancel, A::Cancel },
            { B::Yes, A::Yes }, { B::No, A::No } };
        b->show();
        for (QAbstractButton* button : b->buttons()) {
            button->click();
            QCOMPARE(QtPrompter::answerOf(*b), answers.value(b->standardButton(button)));
        }
        for (const auto& [key, answer] : { std::pair { Qt::Key_Return, answers.value(boxDefault) },
                 { Qt::Key_Escape, escape } }) {
            QtPrompter prompter;
            QString seenText;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                seenText = box->text();
                QTest::keyClick(box, key);
            });
            QCOMPARE(prompter.ask(text, buttons, icon, defaultAnswer, title), answer);
            QCOMPARE(seenText, b->text());
        }
    }

    // A window opens centred over its owner, moved the least to lie on the screen
    // (1440 x 900 here); one larger than the screen keeps its top-left corner on it.
    // When a view is drawn after a change: at once after a quiet spell, never twice in
    // a frame, every 90 ms while changes stream (so never more than 90 ms late).
    void redrawPacing_data()
    {
        addColumns<qint64, qint64, int>("since", "interval", "delay");
        addRow("first draw", qint64(-1), qint64(-1), 0);
        addRow("quiet spell", qint64(500), qint64(-1), 0);
        addRow("quiet after a stream", qint64(200), qint64(90), 0);
        addRow("within a frame", qint64(5), qint64(1000), 11);
        addRow("one frame on", qint64(16), qint64(1000), 0);
        addRow("streaming", qint64(1), qint64(90), 89);
        addRow("streaming, timer late", qint64(1), qint64(104), 89);
        addRow("streaming, frames apart", qint64(30), qint64(16), 60);
        addRow("stream over", qint64(90), qint64(90), 0);
    }
    void redrawPacing()
    {
        QFETCH(qint64, since);
        QFETCH(qint64, interval);
        QFETCH(int, delay);
        QCOMPARE(RedrawPacer::delayMs(since, interval), delay);
    }

    void centredWithin_data()
    {
        addColumns<QRect, QSize, QRect>("owner", "size", "placed");
        addRow("centred", QRect(100, 100, 800, 600), QSize(400, 200), QRect(300, 300, 400, 200));
        addRow("714 high under a low owner", QRect(0, 201, 940, 660), QSize(500, 714),
            QRect(220, 174, 500, 714));
        addRow("owner in the corner", QRect(1300, 850, 400, 300), QSize(300, 120),
            QRect(1140, 780, 300, 120));
        addRow("owner off the left", QRect(-500, -400, 300, 300), QSize(200, 100),
            QRect(0, 0, 200, 100));
        addRow("larger than the screen", QRect(0, 0, 1440, 900), QSize(1600, 1000),
            QRect(0, 0, 1600, 1000));
    }
    void centredWithin()
    {
        QFETCH(QRect, owner);
        QFETCH(QSize, size);
        QFETCH(QRect, placed);
        QCOMPARE(WindowPlacement::centredWithin(owner, size, QRect(0, 0, 1440, 900)), placed);
    }

    // The control map names each shown window and its visible named controls, with
    // their places within the window and their texts on one line; unnamed, hidden and
    // other windows' controls are left out.
    void controlMapText()
    {
        QWidget window;
        window.setObjectName("win");
        window.setWindowTitle("Title\twith tab");
        window.setGeometry(40, 50, 300, 200);
        auto* ok = new QPushButton("OK", &window);
        ok->setObjectName("OkButton");
        ok->setGeometry(10, 20, 80, 30);
        auto* frame = new QFrame(&window);
        frame->setGeometry(100, 100, 150, 80);
        auto* label = new QLabel("two\nlines \\ here", frame);
        label->setObjectName("Label1");
        label->setGeometry(5, 6, 100, 20);
        label->setEnabled(false);
        auto* hidden = new QPushButton("Hidden", &window);
        hidden->setObjectName("HiddenButton");
        hidden->hide();
        new QPushButton("unnamed", &window);
        QWidget other(nullptr, Qt::Window);
        other.setObjectName("other");
        auto* inOther = new QLineEdit("typed", &other);
        inOther->setObjectName("Text1");
        inOther->setGeometry(1, 2, 30, 20);
        QWidget neverShown(nullptr, Qt::Window);
        neverShown.setObjectName("neverShown");
        window.show();
        other.setGeometry(600, 400, 100, 50);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window) && QTest::qWaitForWindowExposed(&other));
        const QString id = QString::number(window.internalWinId());
        const QString otherId = QString::number(other.internalWinId());
        QCOMPARE(ControlMap::text({ &window, &neverShown, &other }),
            "window\t" + id
                + "\twin\t40 50 300 200\t1\tTitle\\twith tab\n"
                  "control\t"
                + id
                + "\tOkButton\t10 20 80 30\t1\tOK\n"
                  "control\t"
                + id
                + "\tLabel1\t105 106 100 20\t0\ttwo\\nlines \\\\ here\n"
                  "window\t"
                + otherId
                + "\tother\t600 400 100 50\t1\t\n"
                  "control\t"
                + otherId + "\tText1\t1 2 30 20\t1\ttyped\n");
    }

    // The file follows the windows: a window shown is in it, and gone once hidden.
    void controlMapFile()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("controls.txt");
        ControlMap map(path);
        QCOMPARE(map.error(), QString());
        QWidget window;
        window.setObjectName("mapped");
        const auto listed
            = [&] { return QString::fromUtf8(readFile(path)).contains("\tmapped\t"); };
        QVERIFY(!listed());
        window.show();
        QTRY_VERIFY(listed());
        window.hide();
        QTRY_VERIFY(!listed());
        ControlMap broken(tmp.filePath("missing/controls.txt"));
        QVERIFY(!broken.error().isEmpty());
    }

    // A box opens transient for the window the operator works in, never for a window
    // that waits for another it opened; afterwards the window that was active, or else
    // that owner, is active again. "main" opened "utility", which opened "progress".
    void messageBoxOwner_data()
    {
        addColumns<bool, bool, QString, QString>(
            "utilityEnabled", "progressGone", "active", "owner");
        addRow("progress window active", false, false, QString("progress"), QString("progress"));
        addRow("progress window just hidden", false, true, QString("progress"), QString("utility"));
        addRow("utility window active", true, true, QString("utility"), QString("utility"));
    }
    void messageBoxOwner()
    {
        QFETCH(bool, utilityEnabled);
        QFETCH(bool, progressGone);
        QFETCH(QString, active);
        QFETCH(QString, owner);
        QWidget main;
        main.setObjectName("main");
        main.resize(500, 400);
        main.show();
        QWidget utility(nullptr, Qt::Window);
        utility.setObjectName("utility");
        utility.resize(300, 200);
        WindowPlacement::showOver(&utility, &main);
        QWidget progress(nullptr, Qt::Window);
        progress.setObjectName("progress");
        WindowPlacement::showOver(&progress, &utility);
        QCOMPARE(WindowPlacement::ownerOf(&progress), &utility);
        // Only a dialog's transient hint reaches an X11 window manager; a plain window
        // becomes one and keeps its minimize and maximize buttons.
        for (const QWidget* w : { &utility, &progress }) {
            QCOMPARE(w->windowHandle()->type(), Qt::Dialog);
            QVERIFY(w->windowFlags().testFlags(
                Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint));
        }
        const auto activeName = [] {
            return QApplication::activeWindow() ? QApplication::activeWindow()->objectName()
                                                : QString();
        };
        // A window manager focuses a new window once it has mapped it.
        QTRY_COMPARE(activeName(), "progress");
        if (progressGone)
            progress.hide();
        if (active != "progress") {
            utility.activateWindow();
            QTRY_COMPARE(activeName(), active);
        }
        main.setEnabled(false);
        utility.setEnabled(utilityEnabled);

        QtPrompter prompter(&main);
        QString seen;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            const QWidget* over = WindowPlacement::ownerOf(box);
            seen = over ? over->objectName() : QString("none");
            QTest::keyClick(box, Qt::Key_Escape);
        });
        prompter.message("Done.");
        QCOMPARE(seen, owner);
        QTRY_COMPARE(activeName(), owner);
    }

    // The usage and the version need no display at all. A refusal ends with status 2 and says why.
    void commandLine_data()
    {
        addColumns<QStringList, int, QString>("args", "exitCode", "said");
        addRow("usage", QStringList { "--help" }, 0, "--screenshot FILE");
        addRow("version", QStringList { "--version" }, 0, "zaziruv " ZZ_PROJECT_VERSION);
        addRow("unknown", QStringList { "--bogus" }, 2, "unknown option \"--bogus\"");
        addRow("stray argument", QStringList { "file.cmd" }, 2, "unknown option \"file.cmd\"");
        addRow("missing value", QStringList { "--settings" }, 2, "--settings needs a value");
        addRow("baud not a number", QStringList { "--baud", "fast" }, 2, "--baud needs a number");
        addRow("baud zero", QStringList { "--baud=0" }, 2, "--baud needs a number");
        addRow("flag with a value", QStringList { "--simulate=yes" }, 2, "unknown option");
        addRow("log size not a number", QStringList { "--log-size", "big" }, 2,
            "--log-size needs a number of bytes, not \"big\"");
        addRow("bad simulator option", QStringList { "--simulate", "--sim-option", "--no-such" }, 2,
            "simulator:");
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        ProcessOptions options;
        if (exitCode == 0) {
            options.environment.insert("QT_QPA_PLATFORM", "xcb");
            options.environment.remove("DISPLAY");
            options.environment.remove("WAYLAND_DISPLAY");
        }
        const ProcessRun r = runProcess(appBinary("zaziruv"), args, options);
        QCOMPARE(r.exitCode, exitCode);
        const QString text = exitCode == 0 ? r.outText() : r.errText();
        QVERIFY2(text.contains(said)
                && (exitCode != 0 || (text.startsWith("usage: zaziruv") || text.startsWith(said))),
            qPrintable(text));
    }

    // The help window alone is taken at its own size, not the main window behind it.
    void scriptedScreenshot_data()
    {
        addColumns<QStringList, QSize, QSize>("show", "minimum", "maximum");
        addRow("main window", QStringList { "--send", "0 ST" }, QSize(600, 400), QSize(4000, 4000));
        addRow("help window", QStringList { "--help-window" }, QSize(720, 560), QSize(720, 560));
        // With the rows below the window's controls; LOG: a log file the run writes.
        addRow("traffic view",
            QStringList { "--send", "0 ST", "--screenshot-window", "traffic", "--log", "LOG" },
            QSize(720, 800), QSize(4000, 4000));
    }
    void scriptedScreenshot()
    {
        QFETCH(QStringList, show);
        QFETCH(QSize, minimum);
        QFETCH(QSize, maximum);
        QTemporaryDir tmp;
        const QString png = tmp.filePath("window.png");
        const QString log = tmp.filePath("traffic.log");
        show.replaceInStrings(QRegularExpression("^LOG$"), log);
        const ProcessRun r = runProcess(appBinary("zaziruv"), scripted(tmp, png, 500) + show);
        QVERIFY2(r.exitCode == 0, qPrintable(r.errText()));
        QVERIFY(!show.contains(log) || readFile(log).contains(" → 0 ST<CR>\n"));
        const QSize size = QImage(png).size();
        QVERIFY2(size.boundedTo(minimum) == minimum && size.expandedTo(maximum) == maximum,
            qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    }

    // The window system shows the caption itself: on X11 Qt would add the program's
    // display name to it. A private X server, so nothing of the user's is touched.
    void captionOnX11()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
        if (xvfb.isEmpty() || xwininfo.isEmpty())
            QSKIP("needs Xvfb and xwininfo");
        QProcess server;
        server.start(xvfb, { "-displayfd", "1", "-nolisten", "tcp" });
        QVERIFY(server.waitForReadyRead(20000));
        QTemporaryDir tmp;
        ProcessOptions options;
        options.environment = homeEnvironment(tmp);
        options.environment.insert("QT_QPA_PLATFORM", "xcb");
        options.environment.insert(
            "DISPLAY", ':' + QString::fromLatin1(server.readLine()).trimmed());
        QProcess window;
        window.setProcessEnvironment(options.environment);
        // The picture taken late keeps the window up while it is looked at.
        window.start(appBinary("zaziruv"), scripted(tmp, tmp.filePath("w.png"), 20000));
        QVERIFY(window.waitForStarted());
        QString caption;
        const QRegularExpression named("\"(ZAZIRUV[^\"]*)\": \\(\"zaziruv\"");
        while (caption.isEmpty() && window.state() == QProcess::Running) {
            const ProcessRun tree = runProcess(xwininfo, { "-root", "-tree" }, options);
            caption = named.match(tree.outText()).captured(1);
            if (caption.isEmpty())
                window.waitForFinished(100); // not there yet: look again shortly
        }
        window.kill();
        window.waitForFinished();
        server.kill();
        server.waitForFinished();
        QCOMPARE(caption, "ZAZIRUV 1.5");
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
