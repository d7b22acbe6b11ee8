#include "form1.h"

#include "utility/utilitycore.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

Form1::Form1(UtilityCore& core, QWidget* parent)
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
    connect(cancel, &QPushButton::clicked, &m_core, &UtilityCore::CmdEEAbort_Click);
}

void Form1::refreshView()
{
    m_label1->setText(m_core.Label1);
    m_bar->setValue(m_core.ProgressBar1);
    if (isVisible() != m_core.Form1Visible)
        setVisible(m_core.Form1Visible);
}

void Form1::closeEvent(QCloseEvent* e)
{
    // Closing the progress window is its Cancel.
    if (m_core.Form1Visible) {
        e->ignore();
        m_core.CmdEEAbort_Click();
        return;
    }
    e->accept();
}
