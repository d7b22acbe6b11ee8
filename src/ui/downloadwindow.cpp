#include "downloadwindow.h"

#include "ui/downloadsettingsdialog.h"
#include "ui/progressdialog.h"
#include "ui/specialfunctionsdialog.h"
#include "ui/windowplacement.h"

#include "utility/combinationcontroller.h"
#include "utility/downloadcontroller.h"
#include "utility/specialfunctions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

void setList(QListWidget* list, const QStringList& items)
{
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->item(i)->text();
    if (shown != items) {
        list->clear();
        list->addItems(items);
    }
}

void setText(QLineEdit* box, const QString& text)
{
    if (box->text() != text) {
        const QSignalBlocker block(box);
        box->setText(text);
    }
}

} // namespace

template <typename T> T* DownloadWindow::named(T* widget, const QString& name)
{
    widget->setObjectName(name);
    m_controls.insert(name, widget);
    return widget;
}

DownloadWindow::DownloadWindow(DownloadController& core, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_core(core)
{
    setObjectName(QStringLiteral("utility"));
    setWindowTitle(QStringLiteral("TYX EEprom Download utility"));
    buildUi();
    // Top-level windows of their own, transient for this one: disabling this window
    // must leave Cancel usable.
    m_form1 = new ProgressDialog(core, this);
    m_form3 = new DownloadSettingsDialog(core, this);
    m_special = new SpecialFunctions(core, this);
    m_form6 = new SpecialFunctionsDialog(*m_special, this);
    // An operator watches this window: a cancelled download says what it left behind.
    m_core.setTellsOperator(true);
    connect(&m_core, &DownloadController::changed, this, &DownloadWindow::refreshView);
    connect(&m_core, &DownloadController::closed, this, &QWidget::hide);
    connect(&m_core, &DownloadController::focusRequested, this, [this](const QString& name) {
        if (QWidget* w = control(name))
            w->setFocus();
    });
    refreshView();
}

DownloadWindow::~DownloadWindow()
{
    delete m_form1;
    delete m_form3;
    delete m_form6;
}

void DownloadWindow::buildUi()
{
    auto* top = new QVBoxLayout(this);
    auto* modes = new QHBoxLayout;
    const ButtonMaker button
        = [this](QWidget* parent, const QString& name, const QString& label, const QString& tip) {
              auto* b = named(new QPushButton(label, parent), name);
              if (!tip.isEmpty())
                  b->setToolTip(tip);
              return b;
          };
    auto* download = button(this, QStringLiteral("Command2"), QStringLiteral("Download"),
        QStringLiteral("Switches Mode to Download"));
    auto* upload = button(this, QStringLiteral("Command1"), QStringLiteral("Upload"),
        QStringLiteral("Switches Mode to Upload"));
    auto* combination = button(this, QStringLiteral("Command7"), QStringLiteral("Combination"),
        QStringLiteral("Chains several macros into one stored sequence"));
    auto* help = button(this, QStringLiteral("Command4"), QStringLiteral("Help"),
        QStringLiteral("Pops up Help file"));
    auto* setup = button(this, QStringLiteral("CmdSetup"), QStringLiteral("Setup"), QString());
    auto* special = button(this, QStringLiteral("Command15"), QStringLiteral("Special"), QString());
    auto* exitButton = button(this, QStringLiteral("Command3"), QStringLiteral("Exit"),
        QStringLiteral("Terminates this program"));
    for (QPushButton* b : { download, upload, combination, help, setup, special, exitButton })
        modes->addWidget(b);
    top->addLayout(modes);
    m_panels = new QStackedWidget(this);

    // Download panel.
    m_downFrame = named(
        new QGroupBox(QStringLiteral("Download File "), m_panels), QStringLiteral("DownFrame"));
    auto* down = new QGridLayout(m_downFrame);
    m_filelist = named(new QListWidget(m_downFrame), QStringLiteral("Filelist"));
    m_filelist->setToolTip(QStringLiteral("Click to select file"));
    m_filename = named(new QLineEdit(m_downFrame), QStringLiteral("Filename"));
    auto* edit = button(m_downFrame, QStringLiteral("EditCmd"), QStringLiteral("Edit"), QString());
    auto* del = button(m_downFrame, QStringLiteral("CmdDelete"), QStringLiteral("Delete"),
        QStringLiteral("Deletes selected file"));
    auto* dnload = button(
        m_downFrame, QStringLiteral("DnloadButton"), QStringLiteral("Download File"), QString());
    m_boot = named(new QCheckBox(QStringLiteral("Execute On Boot"), m_downFrame),
        QStringLiteral("BootExecute"));
    down->addWidget(m_filelist, 0, 0, 6, 1);
    down->addWidget(m_filename, 0, 1);
    down->addWidget(edit, 1, 1);
    down->addWidget(del, 2, 1);
    down->addWidget(dnload, 3, 1);
    down->addWidget(m_boot, 4, 1);
    down->setRowStretch(5, 1);
    down->setColumnStretch(0, 1);
    m_panels->addWidget(m_downFrame);

    // Upload panel: its frame, the directory and the read-back target for now.
    m_upFrame = named(
        new QGroupBox(QStringLiteral("Upload to File"), m_panels), QStringLiteral("UpFrame"));
    auto* up = new QGridLayout(m_upFrame);
    auto* dirFrame = named(
        new QGroupBox(QStringLiteral("TYX Directory"), m_upFrame), QStringLiteral("Frame1"));
    auto* dirLayout = new QVBoxLayout(dirFrame);
    m_comboMacro1 = named(new QListWidget(dirFrame), QStringLiteral("ComboMacro1"));
    dirLayout->addWidget(m_comboMacro1);
    auto* totals = new QHBoxLayout;
    totals->addWidget(new QLabel(QStringLiteral("Total Bytes Stored"), dirFrame));
    m_labelTotBytes = named(new QLabel(dirFrame), QStringLiteral("LabelTotBytes"));
    totals->addWidget(m_labelTotBytes);
    dirLayout->addLayout(totals);
    auto* readDir = button(
        m_upFrame, QStringLiteral("Command6"), QStringLiteral("Read TYX Directory"), QString());
    m_filename2 = named(new QLineEdit(m_upFrame), QStringLiteral("Filename2"));
    auto* edit2 = button(m_upFrame, QStringLiteral("Command5"), QStringLiteral("Edit"),
        QStringLiteral("Edit File selected"));
    m_comboFileList2 = named(new QListWidget(m_upFrame), QStringLiteral("ComboFileList2"));
    auto* add = button(m_upFrame, QStringLiteral("Command14"), QStringLiteral("Add"), QString());
    auto* remove
        = button(m_upFrame, QStringLiteral("Command9"), QStringLiteral("Delete"), QString());
    auto* readAll
        = button(m_upFrame, QStringLiteral("CmdReadAll"), QStringLiteral("Select All"), QString());
    auto* readBack
        = button(m_upFrame, QStringLiteral("CmdReadBack"), QStringLiteral("Read Back"), QString());
    m_readAsNumbers = named(new QCheckBox(QStringLiteral("Read as numbers"), m_upFrame),
        QStringLiteral("ReadAsNumbers"));
    m_readAsNumbers->setToolTip(
        QStringLiteral("Read Back writes one decimal code a line instead of the text"));
    up->addWidget(dirFrame, 0, 0, 5, 1);
    up->addWidget(readDir, 0, 1);
    up->addWidget(new QLabel(QStringLiteral("Upload to :"), m_upFrame), 1, 1);
    up->addWidget(m_filename2, 2, 1);
    up->addWidget(edit2, 3, 1);
    up->addWidget(m_readAsNumbers, 4, 1, Qt::AlignTop);
    up->addWidget(new QLabel(QStringLiteral("Read Back List:"), m_upFrame), 5, 0);
    up->addWidget(m_comboFileList2, 6, 0, 5, 1);
    up->addWidget(add, 6, 1);
    up->addWidget(remove, 7, 1);
    up->addWidget(readAll, 8, 1);
    up->addWidget(readBack, 9, 1);
    up->setRowStretch(4, 1);
    up->setRowStretch(10, 1);
    up->setColumnStretch(0, 1);
    m_panels->addWidget(m_upFrame);

    m_comboFrame = named(
        new QGroupBox(QStringLiteral("Combination"), m_panels), QStringLiteral("ComboFrame"));
    buildComboFrame(button);
    m_panels->addWidget(m_comboFrame);
    top->addWidget(m_panels, 1);

    m_hiddenFrame
        = named(new QGroupBox(QStringLiteral("Checksum"), this), QStringLiteral("HiddenFrame"));
    auto* sums = new QFormLayout(m_hiddenFrame);
    m_text3 = named(new QLineEdit(m_hiddenFrame), QStringLiteral("Text3"));
    m_text4 = named(new QLineEdit(m_hiddenFrame), QStringLiteral("Text4"));
    sums->addRow(QStringLiteral("Calc."), m_text3);
    sums->addRow(QStringLiteral("Recvd"), m_text4);
    top->addWidget(m_hiddenFrame);
    m_status = named(new QLabel(this), QStringLiteral("StatusText"));
    top->addWidget(m_status);

    DownloadController& c = m_core;
    connect(download, &QPushButton::clicked, &c, &DownloadController::showDownloadPanel);
    connect(upload, &QPushButton::clicked, &c, &DownloadController::showUploadPanel);
    connect(combination, &QPushButton::clicked, &c, &DownloadController::showCombinationPanel);
    connect(help, &QPushButton::clicked, &c, &DownloadController::showHelp);
    connect(setup, &QPushButton::clicked, &c, &DownloadController::openDownloadSettings);
    connect(exitButton, &QPushButton::clicked, &c, &DownloadController::exitall);
    connect(edit, &QPushButton::clicked, &c, &DownloadController::editDownloadFile);
    connect(edit2, &QPushButton::clicked, &c, &DownloadController::editReadBackFile);
    connect(del, &QPushButton::clicked, &c, &DownloadController::deleteDownloadFile);
    connect(dnload, &QPushButton::clicked, &c, &DownloadController::downloadFile);
    connect(readDir, &QPushButton::clicked, &c, &DownloadController::readDirectory);
    connect(add, &QPushButton::clicked, &c, &DownloadController::addToReadBackList);
    connect(remove, &QPushButton::clicked, &c, &DownloadController::removeFromReadBackList);
    connect(readAll, &QPushButton::clicked, &c, &DownloadController::selectAllForReadBack);
    connect(readBack, &QPushButton::clicked, &c, &DownloadController::readBack);
    connect(special, &QPushButton::clicked, this, [this] {
        m_special->load();
        m_core.openSpecialFunctions();
    });
    connect(m_comboMacro1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_refreshing)
            m_core.setStoredIndex(row);
    });
    connect(m_comboFileList2, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_refreshing)
            m_core.setReadBackIndex(row);
    });
    connect(m_comboMacro1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_core.setStoredIndex(m_comboMacro1->row(item));
        m_core.addToReadBackList();
    });
    connect(m_comboFileList2, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_core.setReadBackIndex(m_comboFileList2->row(item));
        m_core.removeFromReadBackList();
    });
    connect(m_filelist, &QListWidget::itemClicked, this,
        [this](QListWidgetItem* item) { m_core.selectDownloadFile(m_filelist->row(item)); });
    connect(m_filename, &QLineEdit::textEdited, this,
        [this](const QString& t) { m_core.setDownloadFileName(t); });
    connect(m_filename2, &QLineEdit::textEdited, this,
        [this](const QString& t) { m_core.setReadBackFile(t); });
    connect(m_boot, &QCheckBox::toggled, this, [this](bool on) { m_core.setExecuteOnBoot(on); });
    connect(m_readAsNumbers, &QCheckBox::toggled, this,
        [this](bool on) { m_core.setReadBackAsText(!on); });
}

void DownloadWindow::buildComboFrame(const ButtonMaker& button)
{
    QGroupBox* frame = m_comboFrame;
    auto* grid = new QGridLayout(frame);
    m_comboActive = named(new QComboBox(frame), QStringLiteral("ComboActive"));
    m_comboActive->setEditable(true);
    m_comboActive->setInsertPolicy(QComboBox::NoInsert);
    m_comboFileList = named(new QListWidget(frame), QStringLiteral("ComboFileList"));
    m_comboFileList->setToolTip(
        QStringLiteral("Double click on file to remove it from Combination"));
    m_text1 = named(new QLineEdit(frame), QStringLiteral("Text1"));
    m_text1->setToolTip(
        QStringLiteral("Sets which macro in the Combination will execute on Boot (0 = none)"));
    auto* selection = named(
        new QGroupBox(QStringLiteral("File Selection"), frame), QStringLiteral("File2Frame"));
    m_file2 = named(new QListWidget(selection), QStringLiteral("File2"));
    m_file2->setToolTip(QStringLiteral("Double click on file to add it to combination list"));
    (new QVBoxLayout(selection))->addWidget(m_file2);
    m_comboDirList = named(new QListWidget(frame), QStringLiteral("ComboDirList"));
    m_comboDirList->setVisible(false);

    auto* add = button(frame, QStringLiteral("AddFileCmd"), QStringLiteral("Add"), QString());
    auto* remove = button(frame, QStringLiteral("DelFileCmd"), QStringLiteral("Delete"), QString());
    auto* fresh = button(frame, QStringLiteral("Command13"), QStringLiteral("New"), QString());
    auto* clear
        = button(frame, QStringLiteral("Command12"), QStringLiteral("Clear List"), QString());
    auto* edit = button(
        frame, QStringLiteral("Command11"), QStringLiteral("Edit Selected File"), QString());
    auto* save = button(frame, QStringLiteral("Command8"), QStringLiteral("Save"), QString());
    auto* erase = button(frame, QStringLiteral("Command10"), QStringLiteral("Delete"), QString());
    auto* download = button(
        frame, QStringLiteral("DnLdCombo"), QStringLiteral("Download Combination"), QString());
    auto* execute = button(
        frame, QStringLiteral("MacExeCmd"), QStringLiteral("Execute Macro Selected"), QString());

    auto* chooser = new QHBoxLayout;
    chooser->addWidget(m_comboActive, 1);
    for (QPushButton* b : { fresh, save, erase })
        chooser->addWidget(b);
    grid->addLayout(chooser, 0, 0, 1, 3);
    auto* listed = new QLabel(QStringLiteral("Macros in this Combination:"), frame);
    listed->setBuddy(m_comboFileList);
    auto* bootLabel = new QLabel(QStringLiteral("Boot Macro"), frame);
    bootLabel->setBuddy(m_text1);
    auto* boot = new QHBoxLayout;
    boot->addWidget(bootLabel);
    boot->addWidget(m_text1);
    grid->addWidget(listed, 1, 0);
    grid->addWidget(m_comboFileList, 2, 0, 6, 1);
    grid->addWidget(add, 2, 1);
    grid->addWidget(remove, 3, 1);
    grid->addWidget(clear, 4, 1);
    grid->addWidget(edit, 5, 1);
    grid->addLayout(boot, 6, 1);
    grid->addWidget(selection, 1, 2, 7, 1);
    grid->addWidget(download, 8, 0);
    grid->addWidget(execute, 8, 1);
    grid->addWidget(m_comboDirList, 9, 0);
    grid->setRowStretch(7, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);

    CombinationController& c = m_core.combo;
    connect(m_comboActive, &QComboBox::activated, &c, &CombinationController::chooseCombination);
    connect(m_comboActive->lineEdit(), &QLineEdit::textEdited, &c,
        &CombinationController::typeCombinationName);
    connect(m_comboFileList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        m_core.combo.selectListedFile(m_comboFileList->row(item));
    });
    connect(m_comboFileList, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_core.combo.selectListedFile(m_comboFileList->row(item));
        m_core.combo.removeSelectedFile();
    });
    connect(m_text1, &QLineEdit::textEdited, &c, &CombinationController::setBootMacroText);
    connect(m_file2, &QListWidget::itemClicked, this,
        [this](QListWidgetItem* item) { m_core.combo.pickFile(m_file2->row(item)); });
    connect(m_file2, &QListWidget::itemDoubleClicked, this,
        [this](QListWidgetItem* item) { m_core.combo.addFile(m_file2->row(item)); });
    connect(add, &QPushButton::clicked, &c, &CombinationController::addSelectedFile);
    connect(remove, &QPushButton::clicked, &c, &CombinationController::removeSelectedFile);
    connect(fresh, &QPushButton::clicked, &c, &CombinationController::newCombination);
    connect(clear, &QPushButton::clicked, &c, &CombinationController::clearCombinationList);
    connect(edit, &QPushButton::clicked, &c, &CombinationController::editSelectedFile);
    connect(save, &QPushButton::clicked, &c, &CombinationController::saveCombination);
    connect(erase, &QPushButton::clicked, &c, &CombinationController::deleteCombination);
    connect(download, &QPushButton::clicked, &c, &CombinationController::downloadCombination);
    connect(execute, &QPushButton::clicked, &c, &CombinationController::executeSelectedMacro);
}

void DownloadWindow::refreshComboFrame()
{
    const CombinationController& c = m_core.combo;
    QStringList listed;
    for (int i = 0; i < m_comboActive->count(); ++i)
        listed << m_comboActive->itemText(i);
    if (listed != c.combinationFiles()) {
        const QSignalBlocker block(m_comboActive);
        m_comboActive->clear();
        m_comboActive->addItems(c.combinationFiles());
    }
    if (m_comboActive->currentIndex() != c.combinationIndex()) {
        const QSignalBlocker block(m_comboActive);
        m_comboActive->setCurrentIndex(c.combinationIndex());
    }
    if (m_comboActive->currentText() != c.combinationName()) {
        const QSignalBlocker block(m_comboActive);
        m_comboActive->setEditText(c.combinationName());
    }
    setList(m_comboDirList, c.combinationFiles());
    setList(m_comboFileList, c.combinationList());
    if (m_comboFileList->currentRow() != c.combinationListIndex())
        m_comboFileList->setCurrentRow(c.combinationListIndex());
    setText(m_text1, c.bootMacroText());
    setList(m_file2, c.commandFiles());
}

void DownloadWindow::showWindow()
{
    m_core.load();
    WindowPlacement::showOver(this, parentWidget());
}

void DownloadWindow::refreshView()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    const DownloadController& c = m_core;
    setEnabled(c.windowEnabled());
    QWidget* panel = c.panels().combination ? m_comboFrame
        : c.panels().upload                 ? m_upFrame
                                            : m_downFrame;
    if (m_panels->currentWidget() != panel)
        m_panels->setCurrentWidget(panel);
    m_hiddenFrame->setVisible(c.checksumFrame().visible);
    m_downFrame->setEnabled(c.panelsEnabled());
    m_upFrame->setEnabled(c.panelsEnabled());
    setList(m_filelist, c.downloadFiles());
    if (m_filelist->currentRow() != c.downloadFileIndex())
        m_filelist->setCurrentRow(c.downloadFileIndex());
    setText(m_filename, c.downloadFileName());
    setText(m_filename2, c.readBackFile());
    if (m_boot->isChecked() != c.executesOnBoot()) {
        const QSignalBlocker block(m_boot);
        m_boot->setChecked(c.executesOnBoot());
    }
    setList(m_comboMacro1, c.storedMacros());
    setList(m_comboFileList2, c.readBackList());
    if (m_comboMacro1->currentRow() != c.storedIndex())
        m_comboMacro1->setCurrentRow(c.storedIndex());
    if (m_comboFileList2->currentRow() != c.readBackIndex())
        m_comboFileList2->setCurrentRow(c.readBackIndex());
    m_labelTotBytes->setText(c.bytesStoredText());
    if (m_readAsNumbers->isChecked() == c.readsBackAsText()) {
        const QSignalBlocker block(m_readAsNumbers);
        m_readAsNumbers->setChecked(!c.readsBackAsText());
    }
    if (m_status->text() != c.statusText())
        m_status->setText(c.statusText());
    setText(m_text3, c.checksumFrame().calculated);
    setText(m_text4, c.checksumFrame().received);
    refreshComboFrame();
    m_form1->refreshView();
    m_form3->refreshView();
    m_form6->refreshView();
    m_refreshing = false;
}

void DownloadWindow::closeEvent(QCloseEvent* e)
{
    // A download or read in progress ends with its own window; closing waits for it.
    if (!m_core.windowEnabled()) {
        e->ignore();
        return;
    }
    m_core.exitall();
    e->accept();
}

void DownloadWindow::mouseDoubleClickEvent(QMouseEvent* e)
{
    m_core.toggleChecksumFrame();
    QWidget::mouseDoubleClickEvent(e);
}

bool DownloadWindow::event(QEvent* e)
{
    // The file list follows the directory whenever the window comes to the front.
    if (e->type() == QEvent::WindowActivate && m_core.isShown()) {
        m_core.relistFiles();
        m_core.combo.relistCommandFiles();
    }
    return QWidget::event(e);
}
