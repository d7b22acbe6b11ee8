#pragma once

#include "terminal/terminalcore.h"
#include "ui/statusmaskwizard.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class HelpWindow;
class QAbstractButton;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class TrafficView;

// The main window: the controls of the command file frame, the command entry, the
// answer and status displays, the terminal and the mode buttons, bound to the
// TerminalCore that does the work. The window only shows the core's state (refreshing
// what changed, so the operator's cursor and selection stay put) and hands it the
// operator's keys and clicks. Every control's objectName is its name in the
// procedures (TransmitText, ListRecv, CmdHome, ...).
class RedrawPacer;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(TerminalCore& core, QWidget* parent = nullptr);
    ~MainWindow() override;

    TerminalCore& core() const { return m_core; }

    // The command file frame's controls. Command file management and execution
    // connect their handlers here; the window itself wires none of these buttons,
    // and keeps the core's Filename and Filelist selection in step with the widgets.
    struct CommandFileControls
    {
        QListWidget* fileList = nullptr;
        QLineEdit* fileName = nullptr;
        QPushButton* newFileButton = nullptr; // "New"
        QPushButton* editButton = nullptr; // "Edit"
        QPushButton* deleteButton = nullptr; // "Delete"
        QPushButton* executeButton = nullptr; // "Execute"
        QPushButton* pauseButton = nullptr; // "Pause"
        QPushButton* cancelButton = nullptr; // "Cancel"
        QPushButton* downloadFileButton = nullptr; // "Download File"
    };
    const CommandFileControls& commandFileButtons() const { return m_cmdFile; }

    // Mode buttons whose windows belong elsewhere. DownloadButton calls the core's
    // openDownloadWindow and CmdSetup its openConfiguration; the application connects
    // the core's downloadWindowRequested/configWindowRequested. CmdHelp calls showHelp.
    QAbstractButton* downloadButton() const;
    QAbstractButton* helpButton() const;

    // CmdHelp "Help": the help window with the document for this window's state.
    void showHelp();
    // Shows the help window, loading "helpEEloader.rtf" while the download window is
    // in use, else "help.rtf"; a window already open is only raised. The download
    // window's Help button calls this with true. The help window is a window of its
    // own, so it stays usable while this one is disabled.
    void showHelp(bool downloadWindowInUse);
    // The help window while it is open (nullptr otherwise).
    HelpWindow* helpWindow() const;

    // The status mask wizard while it is open (nullptr otherwise).
    StatusMaskWizard* statusWizard() const { return m_form5; }
    // "Status Wizard": shows the wizard, modeless, creating it if needed.
    void openStatusWizard();

    // The dock "TrafficView" of what went over the line, toggled from the View menu.
    TrafficView* trafficView() const { return m_traffic; }

    // Brings every control up to the core's state. A viewChanged sets the controls'
    // enabled state at once and asks for this at the next frame.
    void refreshView();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildUi();
    QToolButton* modeButton(const QString& name, const QString& label, int icon);
    void onFocusRequested(const QString& control);
    void onTerminalCursorToEnd();
    void onTerminalTextChanged();
    void showReceivedLines();
    void commandEntered();
    bool terminalKey(class QKeyEvent* key);
    void sendTerminalText(const QString& text);
    void refreshTerminal();
    void refreshFilelistWidget();
    void applyListColour();
    void onViewChanged();
    void applyEnabledStates();

    TerminalCore& m_core;
    QHash<QString, QWidget*> m_controls; // every named control, by objectName
    // Every named control with the core's member for its enabled state (null: always
    // enabled), looked up once rather than by name on each change.
    QList<std::pair<QWidget*, TerminalCore::Control>> m_enabledBy;
    TerminalCore::Controls m_enabledShown; // the enabled states last applied
    CommandFileControls m_cmdFile;
    QFrame* m_frame8 = nullptr;
    QGroupBox* m_frame4 = nullptr;
    QGroupBox* m_sendFrame = nullptr;
    QGroupBox* m_frame7 = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QLineEdit* m_transmitText = nullptr;
    QListWidget* m_commandHistory = nullptr;
    QLineEdit* m_textRecv = nullptr;
    QListWidget* m_list1 = nullptr;
    QListWidget* m_list2 = nullptr;
    QListWidget* m_listRecv = nullptr;
    QPlainTextEdit* m_textTerminal = nullptr;
    QLabel* m_statusLine = nullptr;
    QPointer<StatusMaskWizard> m_form5;
    QPointer<HelpWindow> m_form2;
    TrafficView* m_traffic = nullptr;

    QString m_terminalShown; // the terminal text as last put into TextTerminal
    QString m_terminalRaw; // the core's terminal text it was made from
    // Received lines reach TextTerminal paced: at once after a quiet spell, every
    // 90 ms while they stream.
    RedrawPacer* m_terminalPacer = nullptr;
    bool m_terminalToEnd = false; // the next frame puts the insertion point at the end
    QStringList m_filelistShown;
    bool m_alertShown = false;
    bool m_refreshing = false;
    // The view is refreshed at most once a frame, and every 90 ms while the answers
    // stream: at the line's full rate they would otherwise redraw the window hundreds
    // of times a second.
    RedrawPacer* m_viewPacer = nullptr;
    bool m_closing = false;
};
