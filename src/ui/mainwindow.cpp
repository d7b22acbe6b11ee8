#include "mainwindow.h"

#include "redrawpacer.h"

#include "helpwindow.h"
#include "statusmaskwizard.h"
#include "terminal/terminalcore.h"
#include "trafficview.h"
#include "windowplacement.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {

// Whether the list shows entries from the list's row `from` on, entries[0] first.
bool showsFrom(const QListWidget* list, int from, const QStringList& entries, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i) {
        if (list->item(from + int(i))->text() != entries[i])
            return false;
    }
    return true;
}

// Replaces the entries only when they differ, so an unchanged list keeps its
// selection and scroll position. Lines added at the end (the oldest dropped from
// the front, as the answer list does) move no other row. Returns whether anything
// changed.
bool syncList(QListWidget* list, const QStringList& entries)
{
    const int shown = list->count();
    if (shown == entries.size() && showsFrom(list, 0, entries, shown))
        return false;
    // The shown rows, less some oldest, are the first entries: the rest are new.
    for (int dropped = 0; dropped <= shown && dropped <= 1; ++dropped) {
        const int kept = shown - dropped;
        if (kept > entries.size() || !showsFrom(list, dropped, entries, kept))
            continue;
        for (int i = 0; i < dropped; ++i)
            delete list->takeItem(0);
        list->addItems(entries.mid(kept));
        return true;
    }
    list->clear();
    list->addItems(entries);
    return true;
}

void setShown(QWidget* w, bool visible)
{
    if (w->isHidden() == visible)
        w->setVisible(visible);
}

// Lines of a terminal or list: enough rows to read without scrolling.
int rowsHeight(const QWidget* w, int rows)
{
    return w->fontMetrics().lineSpacing() * rows
        + 2 * w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 6;
}

} // namespace

MainWindow::MainWindow(TerminalCore& core, QWidget* parent)
    : QMainWindow(parent)
    , m_core(core)
{
    setObjectName(QStringLiteral("main2"));
    buildUi();
    m_traffic = TrafficView::addTo(*this, m_core.link(), m_core.settings.store());

    // The operator starts by typing a command.
    m_transmitText->setFocus(Qt::OtherFocusReason);
    for (auto it = m_controls.cbegin(); it != m_controls.cend(); ++it)
        m_enabledBy.append({ it.value(), TerminalCore::controlNamed(it.key()) });
    m_viewPacer = new RedrawPacer([this] { refreshView(); }, this);
    connect(&m_core, &TerminalCore::viewChanged, this, &MainWindow::onViewChanged);
    connect(&m_core, &TerminalCore::focusRequested, this, &MainWindow::onFocusRequested);
    connect(&m_core, &TerminalCore::terminalCursorToEnd, this, &MainWindow::onTerminalCursorToEnd);
    connect(&m_core, &TerminalCore::terminalTextChanged, this, &MainWindow::onTerminalTextChanged);
    m_terminalPacer = new RedrawPacer([this] { showReceivedLines(); }, this);
    connect(&m_core, &TerminalCore::exitRequested, this, [this] {
        if (m_form5)
            m_form5->close();
        if (m_form2)
            m_form2->close();
        if (!m_closing) {
            m_closing = true;
            close();
        }
    });
    refreshView();
}

MainWindow::~MainWindow()
{
    // The help window has no parent (see showHelp), so it goes with this one by hand.
    delete m_form2;
}

QToolButton* MainWindow::modeButton(const QString& name, const QString& label, int icon)
{
    auto* b = new QToolButton(m_frame8);
    b->setObjectName(name);
    b->setText(label);
    b->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
    b->setIconSize(QSize(32, 32));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(false);
    b->setMinimumWidth(88);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_controls.insert(name, b);
    return b;
}

void MainWindow::buildUi()
{
    resize(940, 660);
    setMinimumSize(720, 560);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    m_frame8 = new QFrame(this);
    m_frame8->setObjectName(QStringLiteral("Frame8"));
    m_frame8->setFrameShape(QFrame::NoFrame);
    m_frame8->installEventFilter(this);
    setCentralWidget(m_frame8);

    auto named = [this](QWidget* w, const QString& name) {
        w->setObjectName(name);
        m_controls.insert(name, w);
    };
    auto button = [&](QWidget* parentWidget, const QString& name, const QString& caption,
                      const QString& tip = {}) {
        auto* b = new QPushButton(caption, parentWidget);
        named(b, name);
        b->setAutoDefault(false);
        if (!tip.isEmpty())
            b->setToolTip(tip);
        return b;
    };

    // ---- Command file frame
    m_frame4 = new QGroupBox(QStringLiteral("Command File "), m_frame8);
    named(m_frame4, QStringLiteral("Frame4"));
    m_cmdFile.fileName = new QLineEdit(m_frame4);
    named(m_cmdFile.fileName, QStringLiteral("Filename"));
    m_cmdFile.fileName->setPlaceholderText(QStringLiteral("*.cmd"));
    m_cmdFile.fileList = new QListWidget(m_frame4);
    named(m_cmdFile.fileList, QStringLiteral("Filelist"));
    m_cmdFile.fileList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_cmdFile.newFileButton = button(m_frame4, QStringLiteral("Command3"), QStringLiteral("New"),
        QStringLiteral("Creates a New TYX Command file"));
    m_cmdFile.editButton = button(m_frame4, QStringLiteral("EditCmd"), QStringLiteral("Edit"));
    m_cmdFile.deleteButton = button(m_frame4, QStringLiteral("DeleteCmd"), QStringLiteral("Delete"),
        QStringLiteral("Deletes selected file"));
    m_cmdFile.executeButton
        = button(m_frame4, QStringLiteral("ExecuteCmdFile"), QStringLiteral("Execute"));
    m_cmdFile.pauseButton = button(m_frame4, QStringLiteral("PauseCmd"), QStringLiteral("Pause"));
    m_cmdFile.cancelButton
        = button(m_frame4, QStringLiteral("CancelCmd"), QStringLiteral("Cancel"));
    m_cmdFile.downloadFileButton
        = button(m_frame4, QStringLiteral("Command2"), QStringLiteral("Download File"));
    auto* command1 = button(m_frame4, QStringLiteral("Command1"), QStringLiteral("Status Wizard"));
    {
        auto* files = new QVBoxLayout;
        files->addWidget(m_cmdFile.fileName);
        files->addWidget(m_cmdFile.fileList, 1);
        auto* buttons = new QGridLayout;
        buttons->addWidget(m_cmdFile.newFileButton, 0, 0);
        buttons->addWidget(m_cmdFile.editButton, 1, 0);
        buttons->addWidget(m_cmdFile.deleteButton, 2, 0);
        buttons->addWidget(m_cmdFile.executeButton, 0, 1);
        buttons->addWidget(m_cmdFile.pauseButton, 1, 1);
        buttons->addWidget(m_cmdFile.cancelButton, 2, 1);
        buttons->setRowStretch(3, 1);
        buttons->addWidget(m_cmdFile.downloadFileButton, 4, 0, 1, 2);
        buttons->addWidget(command1, 5, 0, 1, 2);
        auto* l = new QHBoxLayout(m_frame4);
        l->addLayout(files, 1);
        l->addLayout(buttons);
    }
    m_cmdFile.fileList->setMinimumHeight(rowsHeight(m_cmdFile.fileList, 5));

    // ---- Send frame
    m_sendFrame = new QGroupBox(QStringLiteral("Send Commands"), m_frame8);
    named(m_sendFrame, QStringLiteral("SendFrame"));
    m_transmitText = new QLineEdit(m_sendFrame);
    named(m_transmitText, QStringLiteral("TransmitText"));
    m_transmitText->setToolTip(QStringLiteral("Enter TYX Command here and hit ENTER key"));
    m_transmitText->setFont(fixed);
    auto* enterLabel = new QLabel(QStringLiteral("Enter Command"), m_sendFrame);
    enterLabel->setBuddy(m_transmitText);
    m_commandHistory = new QListWidget(m_sendFrame);
    named(m_commandHistory, QStringLiteral("CommandHistory"));
    m_commandHistory->setFont(fixed);
    m_commandHistory->setSelectionMode(QAbstractItemView::NoSelection);
    m_commandHistory->setFocusPolicy(Qt::NoFocus);
    m_commandHistory->setMinimumHeight(rowsHeight(m_commandHistory, 6));
    auto* historyLabel = new QLabel(QStringLiteral("Command History"), m_sendFrame);
    auto* cmdHome = button(m_sendFrame, QStringLiteral("CmdHome"), QStringLiteral("Home/Enable"),
        QStringLiteral("Sends Home and Enable Commands"));
    auto* cmdDisable = button(m_sendFrame, QStringLiteral("CmdDisable"), QStringLiteral("Disable"),
        QStringLiteral("Sends Disable command"));
    auto* cmdAbort = button(m_sendFrame, QStringLiteral("CmdAbort"), QStringLiteral("Abort"),
        QStringLiteral("Aborts Command file execution and sends \"Abort\""));
    {
        auto* l = new QVBoxLayout(m_sendFrame);
        l->addWidget(enterLabel);
        l->addWidget(m_transmitText);
        l->addWidget(historyLabel);
        l->addWidget(m_commandHistory, 1);
        auto* row = new QHBoxLayout;
        row->addWidget(cmdHome);
        row->addWidget(cmdDisable);
        row->addWidget(cmdAbort);
        l->addLayout(row);
    }

    // ---- Status description
    m_frame7 = new QGroupBox(QStringLiteral("Status Description"), m_frame8);
    named(m_frame7, QStringLiteral("Frame7"));
    m_textRecv = new QLineEdit(m_frame7);
    named(m_textRecv, QStringLiteral("TextRecv"));
    m_textRecv->setReadOnly(true);
    m_textRecv->setFont(fixed);
    m_textRecv->setToolTip(QStringLiteral("TYX's response"));
    auto* receivedLabel = new QLabel(QStringLiteral("Received Data"), m_frame7);
    receivedLabel->setBuddy(m_textRecv);
    m_list1 = new QListWidget(m_frame7);
    named(m_list1, QStringLiteral("List1"));
    m_list2 = new QListWidget(m_frame7);
    named(m_list2, QStringLiteral("List2"));
    for (QListWidget* list : { m_list1, m_list2 }) {
        list->setToolTip(QStringLiteral("Displays Status description when Queried"));
        list->setSelectionMode(QAbstractItemView::NoSelection);
        list->setFocusPolicy(Qt::NoFocus);
        list->setMinimumHeight(rowsHeight(list, 7));
    }
    {
        auto* l = new QVBoxLayout(m_frame7);
        l->addWidget(receivedLabel);
        l->addWidget(m_textRecv);
        auto* lists = new QHBoxLayout;
        lists->addWidget(m_list1);
        lists->addWidget(m_list2);
        l->addLayout(lists, 1);
    }

    // ---- Receive window
    m_frame2 = new QGroupBox(QStringLiteral("Receive Window"), m_frame8);
    named(m_frame2, QStringLiteral("Frame2"));
    m_frame2->setToolTip(QStringLiteral("To view Status Description, select mode in Setup menu"));
    m_listRecv = new QListWidget(m_frame2);
    named(m_listRecv, QStringLiteral("ListRecv"));
    m_listRecv->setFont(fixed);
    m_listRecv->setMinimumHeight(rowsHeight(m_listRecv, 5));
    auto* clearRecv
        = button(m_frame2, QStringLiteral("CmdClearRecv"), QStringLiteral("Clear Window"));
    {
        auto* l = new QVBoxLayout(m_frame2);
        l->addWidget(m_listRecv, 1);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(clearRecv);
        l->addLayout(row);
    }

    // ---- Terminal
    m_frame3 = new QGroupBox(QStringLiteral("Terminal"), m_frame8);
    named(m_frame3, QStringLiteral("Frame3"));
    m_textTerminal = new QPlainTextEdit(m_frame3);
    named(m_textTerminal, QStringLiteral("TextTerminal"));
    m_textTerminal->setFont(fixed);
    // Keys go to the controller, not into the box: the core echoes them into the text.
    m_textTerminal->setReadOnly(true);
    m_textTerminal->setTextInteractionFlags(
        Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_textTerminal->setUndoRedoEnabled(false);
    m_textTerminal->installEventFilter(this);
    auto* clearTerm
        = button(m_frame3, QStringLiteral("CmdClearTerm"), QStringLiteral("Clear Terminal"));
    {
        auto* l = new QVBoxLayout(m_frame3);
        l->addWidget(m_textTerminal, 1);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        row->addWidget(clearTerm);
        l->addLayout(row);
    }

    // ---- Mode and window buttons
    auto* cmdTerminal = modeButton(
        QStringLiteral("CmdTerminal"), QStringLiteral("Terminal"), QStyle::SP_TitleBarMaxButton);
    auto* cmdManual = modeButton(
        QStringLiteral("CmdManual"), QStringLiteral("Manual"), QStyle::SP_FileDialogDetailedView);
    auto* cmdSetup = modeButton(
        QStringLiteral("CmdSetup"), QStringLiteral("Setup"), QStyle::SP_FileDialogListView);
    auto* download = modeButton(
        QStringLiteral("DownloadButton"), QStringLiteral("Download "), QStyle::SP_ArrowDown);
    download->setToolTip(QStringLiteral("Switches Mode to Download"));
    auto* cmdHelp = modeButton(
        QStringLiteral("CmdHelp"), QStringLiteral("Help"), QStyle::SP_MessageBoxQuestion);
    auto* cmdExit
        = modeButton(QStringLiteral("CmdExit"), QStringLiteral("Exit"), QStyle::SP_BrowserStop);

    // ---- The whole: the command file and send frames on the left, the answers on
    // the right; the terminal takes all of it in terminal mode.
    {
        auto* left = new QVBoxLayout;
        left->addWidget(m_frame4, 1);
        left->addWidget(m_sendFrame, 1);
        auto* right = new QVBoxLayout;
        right->addWidget(m_frame7, 1);
        right->addWidget(m_frame2, 1);
        auto* top = new QHBoxLayout;
        top->addLayout(left, 3);
        top->addLayout(right, 2);
        auto* modes = new QHBoxLayout;
        modes->addStretch(1);
        for (QToolButton* b : { cmdTerminal, cmdManual, cmdSetup, download, cmdHelp, cmdExit })
            modes->addWidget(b);
        modes->addStretch(1);
        auto* l = new QVBoxLayout(m_frame8);
        l->addLayout(top, 1);
        l->addWidget(m_frame3, 1);
        l->addLayout(modes);
    }
    m_frame2->hide();
    m_frame3->hide();
    m_frame7->hide();

    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    statusBar()->addWidget(m_statusLine, 1);

    // ---- Wiring
    connect(m_transmitText, &QLineEdit::returnPressed, this, &MainWindow::commandEntered);
    connect(cmdHome, &QPushButton::clicked, &m_core, &TerminalCore::home);
    connect(cmdDisable, &QPushButton::clicked, &m_core, &TerminalCore::disable);
    connect(cmdAbort, &QPushButton::clicked, &m_core, &TerminalCore::abort);
    connect(clearRecv, &QPushButton::clicked, &m_core, &TerminalCore::clearReceived);
    connect(clearTerm, &QPushButton::clicked, &m_core, &TerminalCore::clearTerminal);
    connect(command1, &QPushButton::clicked, this, &MainWindow::openStatusWizard);
    connect(cmdTerminal, &QToolButton::clicked, &m_core, &TerminalCore::terminalMode);
    connect(cmdManual, &QToolButton::clicked, &m_core, &TerminalCore::commandMode);
    connect(cmdSetup, &QToolButton::clicked, &m_core, &TerminalCore::openConfiguration);
    connect(download, &QToolButton::clicked, &m_core, &TerminalCore::openDownloadWindow);
    connect(cmdExit, &QToolButton::clicked, &m_core, &TerminalCore::exitProgram);
    connect(cmdHelp, &QToolButton::clicked, this, [this] { showHelp(); });
    // The core keeps the file name and the list's selection; the operator edits both here.
    connect(m_cmdFile.fileName, &QLineEdit::textEdited, this,
        [this](const QString& text) { m_core.setFileName(text); });
    connect(m_cmdFile.fileList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_refreshing)
            return;
        const QStringList& entries = m_core.fileList().entries;
        if (row >= 0 && row < entries.size())
            m_core.selectFile(row, entries.at(row));
        else
            m_core.setFilelistIndex(row);
    });
}

QAbstractButton* MainWindow::downloadButton() const
{
    return qobject_cast<QAbstractButton*>(m_controls.value(QStringLiteral("DownloadButton")));
}

QAbstractButton* MainWindow::helpButton() const
{
    return qobject_cast<QAbstractButton*>(m_controls.value(QStringLiteral("CmdHelp")));
}

void MainWindow::showHelp()
{
    showHelp(!m_core.windowEnabled());
}

void MainWindow::showHelp(bool downloadWindowInUse)
{
    if (!m_form2) {
        // No parent: a child window would be disabled with this one while the
        // download window is in use.
        m_form2 = new HelpWindow(m_core.prompter);
        m_form2->setAttribute(Qt::WA_DeleteOnClose);
        m_form2->load(downloadWindowInUse);
    }
    WindowPlacement::showOver(m_form2, this);
}

HelpWindow* MainWindow::helpWindow() const
{
    return m_form2;
}

void MainWindow::openStatusWizard()
{
    if (!m_form5)
        m_form5 = new StatusMaskWizard(this);
    WindowPlacement::showOver(m_form5, this);
}

void MainWindow::onViewChanged()
{
    // A control a procedure disables takes no click from now on, not a frame later.
    if (m_core.enabled() != m_enabledShown || m_frame8->isEnabled() != m_core.windowEnabled())
        applyEnabledStates();
    m_viewPacer->request();
}

void MainWindow::applyEnabledStates()
{
    // Disabled, the window stays on screen and takes no input; the windows it opened
    // are not children of the frame and stay usable.
    if (m_frame8->isEnabled() != m_core.windowEnabled())
        m_frame8->setEnabled(m_core.windowEnabled());
    m_enabledShown = m_core.enabled();
    for (const auto& [control, member] : std::as_const(m_enabledBy)) {
        const bool enabled = member == nullptr || m_core.enabled().*member;
        if (control->testAttribute(Qt::WA_ForceDisabled) == enabled)
            control->setEnabled(enabled);
    }
}

void MainWindow::refreshView()
{
    if (m_refreshing)
        return;
    m_viewPacer->drawn();
    m_refreshing = true;
    const TerminalCore& c = m_core;

    if (windowTitle() != c.caption())
        setWindowTitle(c.caption());
    setShown(m_frame4, c.panels().commandFile);
    setShown(m_sendFrame, c.panels().send);
    setShown(m_frame7, c.panels().status);
    setShown(m_frame2, c.panels().receive);
    setShown(m_frame3, c.panels().terminal);

    syncList(m_commandHistory, c.commandHistory());
    if (syncList(m_listRecv, c.recentAnswers()))
        m_listRecv->scrollToBottom();
    syncList(m_list1, c.statusLines().low);
    syncList(m_list2, c.statusLines().high);
    applyListColour();
    if (m_textRecv->text() != c.receivedText())
        m_textRecv->setText(c.receivedText());
    if (m_cmdFile.fileName->text() != c.fileName())
        m_cmdFile.fileName->setText(c.fileName());
    refreshFilelistWidget();
    refreshTerminal();

    applyEnabledStates();

    const QString status = c.link().statusText()
        + (c.waitingForPort() ? QStringLiteral("  (waiting for it to come back)") : QString());
    if (m_statusLine->text() != status)
        m_statusLine->setText(status);
    m_refreshing = false;
}

void MainWindow::applyListColour()
{
    const QColor colour = m_core.statusLines().alert
        ? QColor(255, 0, 0)
        : QApplication::palette(m_list1).color(QPalette::ButtonText);
    for (QListWidget* list : { m_list1, m_list2 }) {
        if (list->palette().color(QPalette::Text) == colour)
            continue;
        QPalette p = list->palette();
        p.setColor(QPalette::Text, colour);
        list->setPalette(p);
    }
}

void MainWindow::refreshFilelistWidget()
{
    QListWidget* list = m_cmdFile.fileList;
    const QStringList& entries = m_core.fileList().entries;
    syncList(list, entries);
    // The name box is the one truth: the highlight shows the file it names, or none.
    const QString& name = m_core.fileName();
    int row = int(entries.indexOf(name));
    for (int i = 0; row < 0 && !name.isEmpty() && i < entries.size(); ++i) {
        if (entries.at(i).compare(name, Qt::CaseInsensitive) == 0)
            row = i;
    }
    if (list->currentRow() != row)
        list->setCurrentRow(row);
}

void MainWindow::refreshTerminal()
{
    // Unchanged in command mode, where the answers come: nothing to convert.
    if (m_core.terminalText() == m_terminalRaw)
        return;
    m_terminalRaw = m_core.terminalText();
    QString shown = m_core.terminalText();
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (shown == m_terminalShown)
        return;
    QScrollBar* bar = m_textTerminal->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    if (shown.startsWith(m_terminalShown)) {
        // New text at the end: the operator's selection and view stay where they are.
        QTextCursor end(m_textTerminal->document());
        end.movePosition(QTextCursor::End);
        end.insertText(shown.mid(m_terminalShown.size()));
    } else {
        m_textTerminal->setPlainText(shown);
        m_textTerminal->moveCursor(QTextCursor::End);
    }
    m_terminalShown = shown;
    if (atBottom)
        bar->setValue(bar->maximum());
}

void MainWindow::onFocusRequested(const QString& control)
{
    if (QWidget* w = m_controls.value(control))
        w->setFocus(Qt::OtherFocusReason);
}

void MainWindow::onTerminalTextChanged()
{
    m_terminalPacer->request();
}

void MainWindow::onTerminalCursorToEnd()
{
    m_terminalToEnd = true;
    onTerminalTextChanged();
}

void MainWindow::showReceivedLines()
{
    refreshTerminal();
    if (m_terminalToEnd) {
        m_terminalToEnd = false;
        // The cursor follows text added at the end by itself; moving it (and the
        // layout that asks for) is needed only after the operator put it elsewhere.
        if (!m_textTerminal->textCursor().atEnd())
            m_textTerminal->moveCursor(QTextCursor::End);
        QScrollBar* bar = m_textTerminal->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}

void MainWindow::commandEntered()
{
    if (m_core.enterCommand(m_transmitText->text()))
        m_transmitText->clear();
}

void MainWindow::sendTerminalText(const QString& text)
{
    QString keys = text;
    keys.replace(QLatin1String("\r\n"), QLatin1String("\r"))
        .replace(QLatin1Char('\n'), QLatin1Char('\r'));
    for (QChar ch : keys) {
        // The line carries Latin-1 only; other characters cannot be sent.
        if (ch.unicode() <= 0xFF && ch.unicode() != 0x7F)
            m_core.terminalKey(ch);
    }
}

bool MainWindow::terminalKey(QKeyEvent* key)
{
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll))
        return false;
    if (key->matches(QKeySequence::Paste)) {
        sendTerminalText(QApplication::clipboard()->text());
        return true;
    }
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_core.terminalKey(QLatin1Char('\r'));
        return true;
    case Qt::Key_Backspace:
        m_core.terminalKey(QLatin1Char('\b'));
        return true;
    default:
        break;
    }
    const QString text = key->text();
    if (text.isEmpty() || text == QStringLiteral("\x7f"))
        return false; // navigation keys scroll the box
    sendTerminalText(text);
    return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_textTerminal && e->type() == QEvent::KeyPress)
        return terminalKey(static_cast<QKeyEvent*>(e));
    if (watched == m_frame8 && e->type() == QEvent::MouseButtonDblClick) {
        m_core.toggleDirectoryCaption();
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

bool MainWindow::event(QEvent* e)
{
    // Files made meanwhile (by the editor, say) show up when the window is painted
    // again after the operator comes back to it, or leaves it.
    if ((e->type() == QEvent::WindowActivate || e->type() == QEvent::WindowDeactivate)
        && m_core.panels().commandFile) {
        m_core.showFiles(m_core.fileList().path, QStringLiteral("*.Cmd"));
    }
    return QMainWindow::event(e);
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    if (m_closing) {
        e->accept();
        return;
    }
    // A disabled window does not close: the configuration or download window has
    // the operator's attention.
    if (!m_core.windowEnabled()) {
        e->ignore();
        return;
    }
    m_closing = true;
    m_core.exitProgram();
    e->accept();
}
