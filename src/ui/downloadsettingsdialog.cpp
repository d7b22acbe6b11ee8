#include "downloadsettingsdialog.h"

#include "ui/windowplacement.h"
#include "utility/downloadcontroller.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {
void setText(QLineEdit* box, const QString& text)
{
    if (box->text() != text) {
        const QSignalBlocker block(box);
        box->setText(text);
    }
}
} // namespace

DownloadSettingsDialog::DownloadSettingsDialog(DownloadController& core, QWidget* owner)
    : QWidget(nullptr, Qt::Window)
    , m_core(core)
    , m_owner(owner)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Setup"));
    auto* layout = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QStringLiteral("Download Settings"), this);
    frame->setObjectName(QStringLiteral("ConfigFrame"));
    auto* form = new QFormLayout(frame);
    m_node = new QLineEdit(frame);
    m_node->setObjectName(QStringLiteral("TxTNode"));
    m_delay = new QLineEdit(frame);
    m_delay->setObjectName(QStringLiteral("DelayTxt"));
    m_verify = new QCheckBox(QStringLiteral("Verify Download"), frame);
    m_verify->setObjectName(QStringLiteral("EnableCksumChk"));
    m_port = new QLabel(frame);
    m_port->setObjectName(QStringLiteral("PortLabel"));
    m_baud = new QLabel(frame);
    m_baud->setObjectName(QStringLiteral("BaudLabel"));
    form->addRow(QStringLiteral("Node Addressed"), m_node);
    form->addRow(QStringLiteral("Delay"), m_delay);
    form->addRow(m_verify);
    form->addRow(m_port, m_baud);
    layout->addWidget(frame);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OkButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    connect(m_delay, &QLineEdit::editingFinished, &m_core, &DownloadController::applyDelayText);
    connect(m_node, &QLineEdit::textEdited, this, [this](const QString& t) { m_core.setNode(t); });
    connect(m_delay, &QLineEdit::textEdited, &m_core, &DownloadController::setDelayText);
    connect(
        m_verify, &QCheckBox::toggled, this, [this](bool on) { m_core.setChecksumsEnabled(on); });
}

void DownloadSettingsDialog::refreshView()
{
    setText(m_node, m_core.node());
    setText(m_delay, m_core.delayText());
    if (m_verify->isChecked() != m_core.checksumsEnabled()) {
        const QSignalBlocker block(m_verify);
        m_verify->setChecked(m_core.checksumsEnabled());
    }
    m_port->setText(m_core.portLabel());
    m_baud->setText(m_core.baudLabel());
    if (isVisible() == m_core.settingsVisible())
        return;
    if (m_core.settingsVisible())
        WindowPlacement::showOver(this, m_owner);
    else
        hide();
}

void DownloadSettingsDialog::keyPressEvent(QKeyEvent* e)
{
    // The boxes leave Enter and Escape to the window, as a dialog's would.
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        close();
        return;
    case Qt::Key_Escape:
        m_core.discardDownloadSettings();
        return;
    default:
        QWidget::keyPressEvent(e);
    }
}

void DownloadSettingsDialog::closeEvent(QCloseEvent* e)
{
    if (m_core.settingsVisible())
        m_core.closeDownloadSettings();
    e->accept();
}
