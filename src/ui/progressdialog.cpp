#include "progressdialog.h"

#include "utility/downloadcontroller.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

ProgressDialog::ProgressDialog(DownloadController& core, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_core(core)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    auto* layout = new QVBoxLayout(this);
    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("ProgressBar1"));
    m_bar->setRange(0, 100);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CmdEEAbort"));
    layout->addWidget(m_label1);
    layout->addWidget(m_bar);
    layout->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, &m_core, &DownloadController::cancelOperation);
}

void ProgressDialog::refreshView()
{
    m_label1->setText(m_core.progressLabel);
    m_bar->setValue(m_core.progressPercent);
    if (isVisible() != m_core.progressVisible)
        setVisible(m_core.progressVisible);
}

void ProgressDialog::closeEvent(QCloseEvent* e)
{
    // Closing the progress window is its Cancel.
    if (m_core.progressVisible) {
        e->ignore();
        m_core.cancelOperation();
        return;
    }
    e->accept();
}
