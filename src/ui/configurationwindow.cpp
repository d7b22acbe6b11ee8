#include "configurationwindow.h"

#include "ui/windowplacement.h"

#include "config/configuration.h"
#include "link/seriallink.h"
#include "terminal/terminalcore.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int PathRole = Qt::UserRole;

void setChecked(QAbstractButton* box, bool checked)
{
    const QSignalBlocker block(box);
    box->setChecked(checked);
}

// The directories from the root down to path: "/", "/home", "/home/me".
QStringList ancestors(const QString& path)
{
    QStringList out;
    QDir dir(QDir::fromNativeSeparators(path));
    for (;;) {
        out.prepend(QDir::toNativeSeparators(dir.absolutePath()));
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    return out;
}

QString shownName(const QString& path)
{
    const QString name = QFileInfo(QDir::fromNativeSeparators(path)).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

ConfigurationWindow::ConfigurationWindow(ConfigurationCore& config, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_config(config)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Configuration"));
    buildUi();
    connect(&m_config, &ConfigurationCore::controlsChanged, this,
        &ConfigurationWindow::refreshControls);
    connect(&m_config, &ConfigurationCore::hideRequested, this, &QWidget::hide);
    refreshControls();
}

void ConfigurationWindow::buildUi()
{
    SettingsInForce& cfg = m_config.cfg;
    auto* top = new QVBoxLayout(this);

    // Communications: the ports with their devices, the speeds, Auto Configure.
    auto* frame1 = new QGroupBox(QStringLiteral("Communications"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto* comms = new QHBoxLayout(frame1);
    auto* frame5 = new QGroupBox(QStringLiteral("Port"), frame1);
    frame5->setObjectName(QStringLiteral("Frame5"));
    auto* ports = new QGridLayout(frame5);
    for (int n = 1; n <= 8; ++n) {
        auto* option = new QRadioButton(QStringLiteral("Com%1").arg(n), frame5);
        option->setObjectName(
            n == 1 ? QStringLiteral("OptCom1") : QStringLiteral("Optcom%1").arg(n));
        auto* device = new QComboBox(frame5);
        device->setObjectName(QStringLiteral("ComDevice%1").arg(n));
        device->setEditable(true);
        device->setInsertPolicy(QComboBox::NoInsert);
        device->setMinimumContentsLength(14);
        device->lineEdit()->setPlaceholderText(SerialLink::defaultDevice(n));
        device->setToolTip(QStringLiteral("The serial device that Com%1 stands for (empty: %2)")
                               .arg(n)
                               .arg(SerialLink::defaultDevice(n)));
        ports->addWidget(option, n - 1, 0);
        ports->addWidget(device, n - 1, 1);
        m_optCom[size_t(n)] = option;
        m_comDevice[size_t(n)] = device;
        connect(option, &QRadioButton::toggled, this, [this, n](bool on) {
            if (on && !m_refreshing)
                m_config.cfg.comPort = n;
        });
        connect(device, &QComboBox::editTextChanged, this, [this, n](const QString& text) {
            if (!m_refreshing)
                m_config.cfg.comDevice[size_t(n)] = text.trimmed();
        });
    }
    comms->addWidget(frame5);

    auto* speedColumn = new QVBoxLayout;
    auto* frame6 = new QGroupBox(QStringLiteral("Baud"), frame1);
    frame6->setObjectName(QStringLiteral("Frame6"));
    auto* speeds = new QVBoxLayout(frame6);
    for (size_t i = 0; i < m_optBaud.size(); ++i) {
        const int baud = ConfigurationCore::Bauds[i];
        auto* option = new QRadioButton(QString::number(baud), frame6);
        option->setObjectName(QStringLiteral("Opt%1").arg(baud));
        speeds->addWidget(option);
        m_optBaud[i] = option;
        connect(option, &QRadioButton::toggled, this, [this, baud](bool on) {
            if (on && !m_refreshing)
                m_config.cfg.baudRate = baud;
        });
    }
    speedColumn->addWidget(frame6);
    m_autoConfigure = new QPushButton(QStringLiteral("Auto Configure"), frame1);
    m_autoConfigure->setObjectName(QStringLiteral("AutoConfigure"));
    m_autoConfigure->setToolTip(
        QStringLiteral("Configures automatically the Serial Port and Baud rate"));
    connect(m_autoConfigure, &QPushButton::clicked, this, [this] { m_config.autoConfigure(); });
    speedColumn->addWidget(m_autoConfigure);
    speedColumn->addStretch();
    comms->addLayout(speedColumn);
    top->addWidget(frame1);

    // Options.
    auto* frame2 = new QGroupBox(QStringLiteral("Options"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto* options = new QGridLayout(frame2);
    m_chkStatus = new QCheckBox(QStringLiteral("Show Status Description"), frame2);
    m_chkStatus->setObjectName(QStringLiteral("ChkStatus"));
    m_chkStatus->setToolTip(QStringLiteral("Activates Status display for debugging"));
    m_chkDecimal = new QCheckBox(QStringLiteral("Show Decimal Numbers"), frame2);
    m_chkDecimal->setObjectName(QStringLiteral("ChkDecimal"));
    m_chkDecimal->setToolTip(QStringLiteral(
        "Translates the TYX's HEX response to a Decimal number in the Receive Data window"));
    m_chkRS232 = new QCheckBox(QStringLiteral("RS232 Version"), frame2);
    m_chkRS232->setObjectName(QStringLiteral("ChkRS232"));
    m_checkSumChk = new QCheckBox(QStringLiteral("Checksum Enabled"), frame2);
    m_checkSumChk->setObjectName(QStringLiteral("CheckSumChk"));
    m_checkSumChk->setToolTip(QStringLiteral(
        "Activates Checksum option please see the \"CK\" command in the help command section"));
    options->addWidget(m_chkStatus, 0, 0);
    options->addWidget(m_chkDecimal, 1, 0);
    options->addWidget(m_chkRS232, 2, 0);
    options->addWidget(m_checkSumChk, 3, 0);

    auto* frame4 = new QFrame(frame2);
    frame4->setObjectName(QStringLiteral("Frame4"));
    auto* delayRow = new QHBoxLayout(frame4);
    delayRow->setContentsMargins(0, 0, 0, 0);
    auto* label2 = new QLabel(QStringLiteral("Delay"), frame4);
    label2->setObjectName(QStringLiteral("Label2"));
    m_txDelay = new QLineEdit(frame4);
    m_txDelay->setObjectName(QStringLiteral("TXdelay"));
    m_txDelay->setMaximumWidth(80);
    label2->setBuddy(m_txDelay);
    delayRow->addWidget(label2);
    delayRow->addWidget(m_txDelay);
    delayRow->addStretch();
    options->addWidget(frame4, 0, 1);
    m_debug = new QPushButton(QStringLiteral("DEBUG"), frame2);
    m_debug->setObjectName(QStringLiteral("Debug"));
    m_debug->setToolTip(
        QStringLiteral("Creates a Debug File  (TYXLOG) you can email to TYX technical support"));
    options->addWidget(m_debug, 3, 1);
    top->addWidget(frame2);

    connect(m_chkStatus, &QCheckBox::clicked, this, [this](bool on) {
        m_config.cfg.ChkStatus = on ? 1 : 0;
        m_config.statusDescriptionChanged();
    });
    connect(
        m_chkDecimal, &QCheckBox::toggled, this, [&cfg](bool on) { cfg.ChkDecimal = on ? 1 : 0; });
    connect(m_chkRS232, &QCheckBox::toggled, this, [&cfg](bool on) { cfg.ChkRS232 = on ? 1 : 0; });
    connect(m_checkSumChk, &QCheckBox::toggled, this,
        [&cfg](bool on) { cfg.CheckSumChk = on ? 1 : 0; });
    connect(m_txDelay, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_refreshing)
            m_config.cfg.TXdelay = text;
    });
    connect(m_debug, &QPushButton::clicked, this, [this] { m_config.writeDiagnosticLog(); });

    // Directory: the drive (file system root) and the directory within it.
    auto* frame3 = new QGroupBox(QStringLiteral("Directory"), this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    auto* dirBox = new QVBoxLayout(frame3);
    auto* driveRow = new QHBoxLayout;
    auto* label1 = new QLabel(QStringLiteral("Drive"), frame3);
    label1->setObjectName(QStringLiteral("Label1"));
    m_drive1 = new QComboBox(frame3);
    m_drive1->setObjectName(QStringLiteral("Drive1"));
    label1->setBuddy(m_drive1);
    driveRow->addWidget(label1);
    driveRow->addWidget(m_drive1, 1);
    dirBox->addLayout(driveRow);
    m_dir1 = new QListWidget(frame3);
    m_dir1->setObjectName(QStringLiteral("Dir1"));
    m_dir1->setMinimumHeight(140);
    dirBox->addWidget(m_dir1);
    top->addWidget(frame3);
    connect(m_drive1, &QComboBox::activated, this, &ConfigurationWindow::onDriveActivated);
    connect(m_dir1, &QListWidget::itemActivated, this, &ConfigurationWindow::onDirectoryActivated);

    m_saveAndExit = new QPushButton(QStringLiteral("Save and Exit"), this);
    m_saveAndExit->setObjectName(QStringLiteral("SaveAndExit"));
    m_saveAndExit->setDefault(true);
    connect(m_saveAndExit, &QPushButton::clicked, this, [this] { m_config.saveAndExit(); });
    top->addWidget(m_saveAndExit);
}

void ConfigurationWindow::fillDeviceLists()
{
    const QList<PortEntry> ports = m_config.serialPorts();
    m_refreshing = true;
    for (int n = 1; n <= 8; ++n) {
        QComboBox* box = m_comDevice[size_t(n)];
        const QSignalBlocker block(box);
        box->clear();
        // The stable name goes into the mapping; the node, ids and state show as a tip.
        for (const PortEntry& port : ports) {
            box->addItem(port.preferredName());
            box->setItemData(box->count() - 1, port.summary(), Qt::ToolTipRole);
        }
        box->setEditText(m_config.cfg.comDevice[size_t(n)]);
    }
    m_refreshing = false;
}

void ConfigurationWindow::fillDirectoryList()
{
    const QString current = m_config.cfg.chosenDir;
    m_dirShown = current;
    const QSignalBlocker block(m_dir1);
    m_dir1->clear();
    if (current.isEmpty())
        return;
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList up = ancestors(current);
    int depth = 0;
    QListWidgetItem* currentItem = nullptr;
    for (const QString& path : up) {
        auto* item = new QListWidgetItem(
            open, QString(depth * 2, QLatin1Char(' ')) + shownName(path), m_dir1);
        item->setData(PathRole, path);
        currentItem = item;
        ++depth;
    }
    const QDir dir(QDir::fromNativeSeparators(current));
    for (const QString& name : ConfigurationCore::subdirectories(current)) {
        auto* item
            = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + name, m_dir1);
        item->setData(PathRole, QDir::toNativeSeparators(dir.filePath(name)));
    }
    m_dir1->setCurrentItem(currentItem);
}

void ConfigurationWindow::refreshControls()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    const SettingsInForce& cfg = m_config.cfg;
    for (int n = 1; n <= 8; ++n) {
        setChecked(m_optCom[size_t(n)], cfg.comPort == n);
        QComboBox* box = m_comDevice[size_t(n)];
        if (box->currentText() != cfg.comDevice[size_t(n)]) {
            const QSignalBlocker block(box);
            box->setEditText(cfg.comDevice[size_t(n)]);
        }
    }
    for (size_t i = 0; i < m_optBaud.size(); ++i)
        setChecked(m_optBaud[i], cfg.baudRate == ConfigurationCore::Bauds[i]);
    setChecked(m_chkStatus, cfg.ChkStatus == 1);
    setChecked(m_chkDecimal, cfg.ChkDecimal == 1);
    setChecked(m_chkRS232, cfg.ChkRS232 == 1);
    setChecked(m_checkSumChk, cfg.CheckSumChk == 1);
    if (m_txDelay->text() != cfg.TXdelay) {
        const QSignalBlocker block(m_txDelay);
        m_txDelay->setText(cfg.TXdelay);
    }

    {
        const QSignalBlocker block(m_drive1);
        const QStringList drives = ConfigurationCore::drives();
        QStringList shown;
        for (int i = 0; i < m_drive1->count(); ++i)
            shown.append(m_drive1->itemText(i));
        if (shown != drives) {
            m_drive1->clear();
            m_drive1->addItems(drives);
        }
        int at = m_drive1->findText(cfg.chosenDrive);
        if (at < 0 && !cfg.chosenDrive.isEmpty()) {
            m_drive1->addItem(cfg.chosenDrive);
            at = m_drive1->count() - 1;
        }
        m_drive1->setCurrentIndex(at);
    }
    if (m_dirShown != cfg.chosenDir || m_dir1->count() == 0)
        fillDirectoryList();

    setEnabled(m_config.enabled());
    const bool idle = !m_config.busy();
    m_autoConfigure->setEnabled(idle);
    m_debug->setEnabled(idle);
    m_saveAndExit->setEnabled(idle);
    m_refreshing = false;
}

void ConfigurationWindow::showWindow()
{
    fillDeviceLists();
    m_dirShown.clear(); // the directory may have changed on disk since
    refreshControls();
    WindowPlacement::showOver(this, parentWidget());
}

void ConfigurationWindow::onDirectoryActivated(QListWidgetItem* item)
{
    if (!item)
        return;
    const QString path = item->data(PathRole).toString();
    if (path.isEmpty())
        return;
    if (!m_config.directoryChosen(path)) {
        m_dirShown.clear(); // list it afresh: what was listed is no longer so
        refreshControls();
    }
}

void ConfigurationWindow::onDriveActivated(int index)
{
    const QString drive = m_drive1->itemText(index);
    if (drive.isEmpty() || drive == m_config.cfg.chosenDrive)
        return;
    if (!m_config.driveChosen(drive))
        refreshControls();
}

void ConfigurationWindow::closeEvent(QCloseEvent* e)
{
    // While Auto Configure or the log is talking to the controller the window stays:
    // the main window must not come back and change the settings under it.
    if (m_config.busy()) {
        e->ignore();
        return;
    }
    m_config.windowClosed();
    e->accept();
}
