#include "trafficview.h"

#include "core/wholefile.h"
#include "link/seriallink.h"
#include "settings/settingsstore.h"
#include "ui/trafficmodel.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QPushButton* button(QWidget* parent, const QString& name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// How long a failed log's message stays in the main window's status bar, in ms.
constexpr int StatusMessageMs = 30000;

} // namespace

TrafficView::TrafficView(SerialLink& link, QWidget* parent)
    : QWidget(parent)
    , m_link(link)
{
    m_model = new TrafficModel(this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("TrafficTable"));
    m_table->setModel(m_model);
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->verticalHeader()->hide();
    // One fixed height for every row: the table never measures 50,000 rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    QHeaderView* header = m_table->horizontalHeader();
    header->setStretchLastSection(true);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    header->resizeSection(TrafficModel::TimeColumn, digit * 14);
    header->resizeSection(TrafficModel::DirectionColumn, digit * 4);
    header->resizeSection(TrafficModel::TextColumn, digit * 48);
    m_table->setColumnHidden(TrafficModel::HexColumn, true);

    auto* relative = new QCheckBox(QStringLiteral("Relative time"), this);
    relative->setObjectName(QStringLiteral("TrafficRelative"));
    auto* hex = new QCheckBox(QStringLiteral("Hex"), this);
    hex->setObjectName(QStringLiteral("TrafficHex"));
    auto* pause = button(this, QStringLiteral("TrafficPause"), QStringLiteral("Pause"));
    pause->setCheckable(true);
    auto* clear = button(this, QStringLiteral("TrafficClear"), QStringLiteral("Clear"));
    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("TrafficFind"));
    m_find->setPlaceholderText(QStringLiteral("Find"));
    auto* findNextButton
        = button(this, QStringLiteral("TrafficFindNext"), QStringLiteral("Find Next"));
    auto* save = button(this, QStringLiteral("TrafficSave"), QStringLiteral("Save..."));
    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("TrafficCounts"));

    m_logBox = new QCheckBox(QStringLiteral("Log to file"), this);
    m_logBox->setObjectName(QStringLiteral("TrafficLog"));
    m_logPath = new QLineEdit(this);
    m_logPath->setObjectName(QStringLiteral("TrafficLogFile"));
    auto* choose = button(this, QStringLiteral("TrafficLogChoose"), QStringLiteral("..."));
    choose->setMaximumWidth(choose->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("TrafficMessage"));

    auto* tools = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*> {
             relative, hex, pause, clear, m_find, findNextButton, save })
        tools->addWidget(w);
    tools->addStretch(1);
    tools->addWidget(m_counts);
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(m_logBox);
    logRow->addWidget(m_logPath, 1);
    logRow->addWidget(choose);
    logRow->addWidget(m_message, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(tools);
    layout->addLayout(logRow);
    layout->addWidget(m_table, 1);

    connect(relative, &QCheckBox::toggled, m_model, &TrafficModel::setRelativeTime);
    connect(hex, &QCheckBox::toggled, this,
        [this](bool on) { m_table->setColumnHidden(TrafficModel::HexColumn, !on); });
    connect(pause, &QPushButton::toggled, m_model, &TrafficModel::setPaused);
    connect(clear, &QPushButton::clicked, m_model, &TrafficModel::clear);
    connect(m_find, &QLineEdit::returnPressed, findNextButton, &QPushButton::click);
    connect(findNextButton, &QPushButton::clicked, this, [this] { findNext(m_find->text()); });
    connect(save, &QPushButton::clicked, this, &TrafficView::chooseSaveFile);
    connect(choose, &QPushButton::clicked, this, &TrafficView::chooseLogFile);
    connect(m_logBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) {
            stopLog();
            return;
        }
        if (m_logPath->text().trimmed().isEmpty())
            chooseLogFile();
        else
            startLog(m_logPath->text().trimmed());
    });
    connect(&m_log, &TrafficLog::failed, this, [this](const QString& text) {
        const QSignalBlocker block(m_logBox);
        m_logBox->setChecked(false);
        setMessage(text);
    });

    // The table follows the newest row unless the operator has scrolled away from it.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = m_table->verticalScrollBar();
        m_follow = bar->value() == bar->maximum();
    });
    connect(m_model, &TrafficModel::rowsChanged, this, [this] {
        if (m_follow)
            m_table->scrollToBottom();
        refreshCounts();
    });
    refreshCounts();
}

TrafficView::~TrafficView()
{
    setListening(false);
}

TrafficView* TrafficView::addTo(QMainWindow& window, SerialLink& link, SettingsStore& store)
{
    auto* dock = new QDockWidget(QStringLiteral("Traffic"), &window);
    dock->setObjectName(QStringLiteral("TrafficView"));
    auto* view = new TrafficView(link, dock);
    dock->setWidget(view);
    window.addDockWidget(Qt::BottomDockWidgetArea, dock);
    QAction* toggle = dock->toggleViewAction();
    toggle->setObjectName(QStringLiteral("TrafficToggle"));
    window.menuBar()->addMenu(QStringLiteral("&View"))->addAction(toggle);

    const bool shown = store.openForRead() && store.readNumber(StoredShownName).value_or(0) == 1;
    view->m_storedShown = shown;
    dock->setVisible(shown);
    view->setListening(shown);
    connect(toggle, &QAction::toggled, view, [view, &store, &window](bool on) {
        view->setListening(on);
        // A window going away takes its dock along: that is no choice of the operator's.
        // The dock reports itself shown again as the window shows; only a change is kept.
        if (view->m_remember && window.isVisible() && on != view->m_storedShown
            && store.beginWrite()) {
            store.setNumber(StoredShownName, on ? 1 : 0);
            if (store.commit())
                view->m_storedShown = on;
        }
    });
    // A log can fail with the view hidden: the status bar says so too.
    connect(&view->m_log, &TrafficLog::failed, &window, [&window, view](const QString& text) {
        if (!view->isVisible())
            window.statusBar()->showMessage(text, StatusMessageMs);
    });
    return view;
}

void TrafficView::showForPicture()
{
    // A scripted run keeps nothing of the view in the store.
    m_remember = false;
    parentWidget()->show();
    setListening(true);
}

void TrafficView::setListening(bool on)
{
    if (on == bool(m_listening))
        return;
    if (on) {
        m_listening = connect(&m_link.traffic(), &TrafficRecorder::rowReady, m_model,
            [this](const TrafficRow& row) { m_model->add(row); });
    } else {
        disconnect(m_listening);
        m_listening = {};
    }
}

bool TrafficView::startLog(const QString& path, qint64 maxBytes)
{
    QString why;
    const bool started = m_log.start(m_link.traffic(), path, maxBytes, &why);
    const QSignalBlocker block(m_logBox);
    m_logPath->setText(path);
    m_logBox->setChecked(started);
    setMessage(started ? QString() : TrafficLog::NotStartedText.arg(path, why));
    return started;
}

void TrafficView::stopLog()
{
    m_log.stop();
    const QSignalBlocker block(m_logBox);
    m_logBox->setChecked(false);
}

QString TrafficView::message() const
{
    return m_message->text();
}

void TrafficView::setMessage(const QString& text)
{
    m_message->setText(text);
}

void TrafficView::refreshCounts()
{
    QString text = QStringLiteral("%1 rows").arg(m_model->rowCount());
    if (m_model->dropped() > 0)
        text += QStringLiteral(", %1 oldest dropped").arg(m_model->dropped());
    if (m_counts->text() != text)
        m_counts->setText(text);
}

bool TrafficView::findNext(const QString& text)
{
    const int rows = m_model->rowCount();
    if (text.isEmpty() || rows == 0)
        return false;
    const int from = m_table->currentIndex().isValid() ? m_table->currentIndex().row() + 1 : 0;
    for (int k = 0; k < rows; ++k) {
        const int r = (from + k) % rows;
        if (trafficRowText(m_model->rowAt(r)).contains(text, Qt::CaseInsensitive)) {
            m_follow = false;
            const QModelIndex at = m_model->index(r, TrafficModel::TextColumn);
            m_table->setCurrentIndex(at);
            m_table->scrollTo(at);
            setMessage({});
            return true;
        }
    }
    setMessage(QStringLiteral("\"%1\" not found").arg(text));
    return false;
}

bool TrafficView::saveTo(const QString& path)
{
    QString why;
    if (!writeFileAtomically(path, m_model->logText(), &why)) {
        setMessage(QStringLiteral("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), why));
        return false;
    }
    setMessage({});
    return true;
}

void TrafficView::chooseLogFile()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Log Traffic To"),
        m_logPath->text(), QStringLiteral("Log files (*.log);;All files (*)"), nullptr,
        QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) {
        if (!m_log.isActive()) {
            const QSignalBlocker block(m_logBox);
            m_logBox->setChecked(false);
        }
        return;
    }
    m_logPath->setText(path);
    if (m_logBox->isChecked())
        startLog(path);
}

void TrafficView::chooseSaveFile()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Traffic"),
        QString(), QStringLiteral("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty())
        saveTo(path);
}
