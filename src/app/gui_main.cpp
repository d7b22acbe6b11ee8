// zaziruv: the window program. Starts with the main window, as the operator knows it.

#include "app/common/sharedoptions.h"
#include "app/common/versiontext.h"
#include "cmdrun/commandfilerunner.h"
#include "config/configuration.h"
#include "config/portprobe.h"
#include "core/numbers.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "sim/ptysimulator.h"
#include "terminal/terminalcore.h"
#include "ui/commandfileframe.h"
#include "ui/configurationwindow.h"
#include "ui/controlmap.h"
#include "ui/downloadwindow.h"
#include "ui/helpwindow.h"
#include "ui/mainwindow.h"
#include "ui/qtprompter.h"
#include "ui/trafficview.h"
#include "utility/downloadcontroller.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QWindow>
#include <climits>
#include <cstdio>
#include <memory>

namespace {

void printUsage(FILE* out)
{
    std::fprintf(out,
        "usage: zaziruv [options]\n\n"
        "options:\n"
        "  --settings FILE     settings store to use (default: $ZAZIRUV_SETTINGS, else the "
        "user's)\n"
        "  --port DEV          serial device for this run, whatever port is configured\n"
        "  --baud N            line speed for this run\n"
        "  --dir DIR           working directory (command files, downloads) for this run\n"
        "  --simulate          talk to the built-in simulated controller\n"
        "  --sim-option OPT    pass OPT to the simulated controller (repeatable), e.g. "
        "--sim-option=--echo\n"
        "  --log FILE          append every byte written and read to FILE, with times\n"
        "  --log-size BYTES    size at which FILE becomes FILE.1 (default 10485760; 3 kept)\n"
        "  --help              show this text\n"
        "  --version           show the version and the Qt version\n\n"
        "for scripts:\n"
        "  --send TEXT         once the window is up, enter TEXT as a command (repeatable)\n"
        "  --click NAME        then click the button of that objectName (repeatable, in order)\n"
        "  --help-window       once the window is up, open the help window as Help does\n"
        "  --controls FILE     keep FILE listing each shown window and where each named\n"
        "                      control in it is, for driving the windows from outside\n"
        "  --screenshot FILE   save a picture of the main window (of the help window with\n"
        "                      --help-window) as FILE (PNG), then quit\n"
        "  --screenshot-delay MS  wait this long after the last command first (default 1500)\n"
        "  --screenshot-window NAME  the window to picture: main2 (default); utility, the\n"
        "                      download window, opened as \"Download\" opens it; upload or\n"
        "                      combination, that window on its Upload or Combination\n"
        "                      panel; Form6, its special functions window\n");
}

void fail(const QString& text)
{
    std::fprintf(stderr, "zaziruv: %s\n", qPrintable(text));
    std::fflush(stderr);
}

struct Options
{
    SharedOptions shared { SharedOptions::Program::Window };
    QStringList send;
    QStringList clicks;
    bool helpWindow = false;
    bool version = false;
    QString screenshot;
    int screenshotDelayMs = 1500;
    QString screenshotWindow = QStringLiteral("main2");
    QString logPath;
    QString controlsPath;
    QString dir;
    qint64 logMaxBytes = TrafficLog::DefaultMaxBytes;
};

// Reads the options; false (after a message) for anything it does not know.
bool parseOptions(QStringList args, Options& o, bool& help)
{
    help = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString error;
        switch (o.shared.takeAt(args, i, error)) {
        case SharedOptions::Step::Taken:
            --i; // args[i] is the next argument now
            continue;
        case SharedOptions::Step::Failed:
            fail(error);
            return false;
        case SharedOptions::Step::NotShared:
            break;
        }
        QString name = args[i];
        QString value;
        bool hasValue = false;
        if (name.startsWith(QLatin1String("--")) && name.contains(QLatin1Char('='))) {
            value = name.mid(name.indexOf(QLatin1Char('=')) + 1);
            name = name.left(name.indexOf(QLatin1Char('=')));
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                fail(QStringLiteral("%1 needs a value").arg(name));
                return false;
            }
            value = args[++i];
            return true;
        };
        const bool flag = !hasValue;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            help = true;
        } else if (name == QLatin1String("--send")) {
            if (!takeValue())
                return false;
            o.send.append(value);
        } else if (name == QLatin1String("--click")) {
            if (!takeValue())
                return false;
            o.clicks.append(value);
        } else if (name == QLatin1String("--version") && flag) {
            o.version = true;
        } else if (name == QLatin1String("--help-window") && flag) {
            o.helpWindow = true;
        } else if (name == QLatin1String("--controls")) {
            if (!takeValue())
                return false;
            o.controlsPath = value;
        } else if (name == QLatin1String("--screenshot")) {
            if (!takeValue())
                return false;
            o.screenshot = value;
        } else if (name == QLatin1String("--screenshot-delay")) {
            if (!takeValue())
                return false;
            const auto ms = readIntOption(value, 0, INT_MAX);
            if (!ms) {
                fail(
                    QStringLiteral("%1 needs a number of at least 0, not \"%2\"").arg(name, value));
                return false;
            }
            o.screenshotDelayMs = *ms;
        } else if (name == QLatin1String("--screenshot-window")) {
            if (!takeValue())
                return false;
            static const QStringList windows { QStringLiteral("main2"), QStringLiteral("utility"),
                QStringLiteral("upload"), QStringLiteral("combination"), QStringLiteral("Form6"),
                QStringLiteral("traffic") };
            if (!windows.contains(value)) {
                fail(QStringLiteral("--screenshot-window takes %1, not \"%2\"")
                         .arg(windows.join(QStringLiteral(", ")), value));
                return false;
            }
            o.screenshotWindow = value;
        } else if (name == QLatin1String("--dir")) {
            if (!takeValue())
                return false;
            if (!QFileInfo(value).isDir()) {
                fail(QStringLiteral("--dir \"%1\" is not a directory").arg(value));
                return false;
            }
            o.dir = QDir(value).absolutePath();
        } else if (name == QLatin1String("--log")) {
            if (!takeValue())
                return false;
            o.logPath = value;
        } else if (name == QLatin1String("--log-size")) {
            if (!takeValue())
                return false;
            const auto bytes = readIntOption(value, 1, INT_MAX);
            if (!bytes) {
                fail(QStringLiteral("%1 needs a number of bytes, not \"%2\"").arg(name, value));
                return false;
            }
            o.logMaxBytes = *bytes;
        } else {
            fail(QStringLiteral("unknown option \"%1\" (see --help)").arg(args[i]));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // --help and --version need no window system: they work without a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    Options options;
    bool help = false;
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))
        || arguments.contains(QLatin1String("--version"))) {
        if (!parseOptions(arguments, options, help))
            return 2;
        if (help) {
            printUsage(stdout);
            return 0;
        }
        if (options.version) {
            printVersion("zaziruv");
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zaziruv"));
    // No display name: the window system would append it to every caption.
    QApplication::setDesktopFileName(QStringLiteral("zaziruv"));

    // Qt's own options (-platform, -style) are gone from the arguments by now.
    options = Options();
    if (!parseOptions(app.arguments().mid(1), options, help))
        return 2;

    std::unique_ptr<ControlMap> controlMap;
    if (!options.controlsPath.isEmpty()) {
        controlMap = std::make_unique<ControlMap>(options.controlsPath);
        if (!controlMap->error().isEmpty()) {
            fail(QStringLiteral("--controls: cannot write \"%1\": %2")
                     .arg(options.controlsPath, controlMap->error()));
            return 1;
        }
    }

    std::unique_ptr<PtySimulator> simulator;
    if (options.shared.simulate) {
        QString why;
        const auto simOptions = parseSimOptions(options.shared.simArgs, &why);
        if (!simOptions) {
            fail(QStringLiteral("simulator: %1").arg(why));
            return 2;
        }
        simulator = std::make_unique<PtySimulator>(*simOptions);
        if (!simulator->start()) {
            fail(QStringLiteral("simulator: %1").arg(simulator->errorString()));
            return 1;
        }
    }

    QtPrompter prompter;
    SettingsStore store(SettingsStore::resolvePath(options.shared.settingsPath));
    Settings settings(store, prompter);
    SettingsInForce inForce;
    auto core = std::make_unique<TerminalCore>(settings, inForce, prompter);
    // --port stands in for every port; the simulator for the port the settings name,
    // so that Auto Configure finds and stores that number and opens nothing real.
    if (simulator)
        core->setDeviceOverride(simulator->slavePath(), options.shared.port.isEmpty());
    if (!options.shared.port.isEmpty())
        core->setDeviceOverride(options.shared.port);
    TerminalCore* c = core.get();
    core->setBeforeOpen([c, baud = options.shared.baud, dir = options.dir] {
        if (baud > 0)
            c->cfg.baudRate = baud;
        // For this run only: the stored WorkingDir stays as Setup saved it.
        if (!dir.isEmpty())
            c->cfg.chosenDir = dir;
    });

    auto window = std::make_unique<MainWindow>(*core);
    prompter.setParentWidget(window.get());
    // The configuration window lives hidden until Setup shows it; it goes with the window.
    auto probe = std::make_unique<PortProbe>(*core, prompter);
    auto configuration = std::make_unique<ConfigurationCore>(*core, *probe);
    auto* form4 = new ConfigurationWindow(*configuration, window.get());
    QObject::connect(
        core.get(), &TerminalCore::configWindowRequested, form4, &ConfigurationWindow::showWindow);
    auto runner = std::make_unique<CommandFileRunner>(*core, prompter);
    bindCommandFileFrame(*window, *runner);
    // The download window: "Download" and "Download File" show it, its Exit hides it,
    // and the end of the program shuts it down.
    auto download = std::make_unique<DownloadController>(*core, prompter);
    // A window of its own, transient for the main window (which it disables while shown).
    auto downloadWindow = std::make_unique<DownloadWindow>(*download, window.get());
    QObject::connect(core.get(), &TerminalCore::downloadWindowRequested, downloadWindow.get(),
        &DownloadWindow::showWindow);
    // Its Help shows the download window's document (Help leaves the download window
    // enabled, so there is nothing to hand back when the help window closes).
    QObject::connect(download.get(), &DownloadController::helpRequested, window.get(),
        [&window] { window->showHelp(true); });
    QObject::connect(
        core.get(), &TerminalCore::exitRequested, download.get(), &DownloadController::exitall);
    QObject::connect(
        core.get(), &TerminalCore::exitRequested, &app, &QApplication::quit, Qt::QueuedConnection);
    if (!options.logPath.isEmpty()
        && !window->trafficView()->startLog(options.logPath, options.logMaxBytes))
        fail(window->trafficView()->message());
    if (!options.screenshot.isEmpty() && options.screenshotWindow == QLatin1String("traffic")) {
        // From the start, so that the picture shows the port opening; taller, so that
        // the rows have room below the controls.
        window->trafficView()->showForPicture();
        window->resize(window->width(), window->height() + 240);
    }
    core->setReconnectWhenIdle(true);
    core->load();
    window->show();

    if (!options.send.isEmpty() || !options.clicks.isEmpty() || options.helpWindow
        || !options.screenshot.isEmpty()) {
        // Scripted start: type each command into the entry box and press Enter, as
        // the operator would, then take the picture once the answers are in.
        QTimer::singleShot(300, window.get(), [&] {
            auto* entry = window->findChild<QLineEdit*>(QStringLiteral("TransmitText"));
            for (const QString& text : std::as_const(options.send)) {
                entry->setText(text);
                Q_EMIT entry->returnPressed();
            }
            // Clicked 300 ms apart, each once the windows have drawn what the one before
            // opened; a click that starts a download runs it to its end (the picture may
            // be taken during it).
            for (qsizetype i = 0; i < options.clicks.size(); ++i) {
                QTimer::singleShot(300 * int(i), window.get(), [name = options.clicks.at(i)] {
                    QAbstractButton* button = nullptr;
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (!button)
                            button = w->findChild<QAbstractButton*>(name);
                    if (!button) {
                        fail(QStringLiteral("--click: no button named \"%1\"").arg(name));
                        QApplication::exit(2);
                        return;
                    }
                    button->click();
                });
            }
            if (options.helpWindow)
                window->helpButton()->click();
            if (options.screenshot.isEmpty())
                return;
            QWidget* pictured = window.get();
            const QString& name = options.screenshotWindow;
            if (name != QLatin1String("main2") && name != QLatin1String("traffic")) {
                core->openDownloadWindow();
                pictured = downloadWindow.get();
                if (name == QLatin1String("upload"))
                    download->showUploadPanel();
                else if (name == QLatin1String("combination"))
                    download->showCombinationPanel();
                else if (name == QLatin1String("Form6")) {
                    downloadWindow->findChild<QAbstractButton*>(QStringLiteral("Command15"))
                        ->click();
                    for (QWidget* w : QApplication::topLevelWidgets()) {
                        if (w->objectName() == name)
                            pictured = w;
                    }
                }
            }
            QTimer::singleShot(options.screenshotDelayMs, window.get(), [&, pictured] {
                QWidget* shown
                    = options.helpWindow ? static_cast<QWidget*>(window->helpWindow()) : pictured;
                const QPixmap picture = shown ? shown->grab() : QPixmap();
                if (!picture.save(options.screenshot, "PNG")) {
                    fail(QStringLiteral("cannot write the picture to \"%1\"")
                             .arg(options.screenshot));
                    download->exitall();
                    QApplication::exit(1);
                    return;
                }
                // The main window closes only once the download window has handed it back.
                download->exitall();
                QApplication::quit();
            });
        });
    }

    const int rc = app.exec();
    // The window goes first, then the port, then the simulator behind it.
    downloadWindow.reset();
    download.reset();
    window.reset();
    runner.reset();
    configuration.reset();
    probe.reset();
    core.reset();
    if (simulator)
        simulator->stop();
    return rc;
}
