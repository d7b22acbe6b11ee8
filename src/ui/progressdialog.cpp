#include "progressdialog.h"

#include "ui/windowplacement.h"
#include "utility/downloadcontroller.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

ProgressDialog::ProgressDialog(DownloadController& core, QWidget* owner)
    : QWidget(nullptr, Qt::Window)
    , m_core(core)
    , m_owner(owner)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(captionFor(core.progress().label));
    setMinimumWidth(320);
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
    const DownloadController::Progress& p = m_core.progress();
    m_label1->setText(p.label);
    m_bar->setValue(p.percent);
    if (isVisible() == p.visible)
        return;
    if (p.visible) {
        // The caption stays while it runs: "Reading back.." and "cancelling.." are
        // steps of the operation the window opened for.
        setWindowTitle(captionFor(p.label));
        WindowPlacement::showOver(this, m_owner);
    } else {
        hide();
    }
}

QString ProgressDialog::captionFor(const QString& label)
{
    if (label.startsWith(QLatin1String("Download")))
        return QStringLiteral("Downloading");
    if (label.startsWith(QLatin1String("Clearing")))
        return QStringLiteral("Clearing");
    return QStringLiteral("Reading");
}

void ProgressDialog::closeEvent(QCloseEvent* e)
{
    // Closing the progress window is its Cancel.
    if (m_core.progress().visible) {
        e->ignore();
        m_core.cancelOperation();
        return;
    }
    e->accept();
}
