#include "form6.h"

#include "utility/specialcore.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void setText(QLineEdit* box, const QString& text)
{
    if (box->text() != text) {
        const QSignalBlocker block(box);
        box->setText(text);
    }
}

} // namespace

Form6::Form6(SpecialCore& core, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_core(core)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Special Functions"));
    auto* layout = new QVBoxLayout(this);

    auto* frame1 = named(new QGroupBox(QStringLiteral("Manual Upload"), this), "Frame1");
    auto* upload = new QFormLayout(frame1);
    m_text1 = named(new QLineEdit(frame1), "Text1");
    m_text2 = named(new QLineEdit(frame1), "Text2");
    m_filename3 = named(new QLineEdit(frame1), "Filename3");
    auto* edit = named(new QPushButton(QStringLiteral("Edit"), frame1), "Command4");
    auto* start = named(new QPushButton(QStringLiteral("Upload"), frame1), "Command2");
    upload->addRow(QStringLiteral("Start at Location"), m_text1);
    upload->addRow(QStringLiteral("Number of Characters to Read"), m_text2);
    upload->addRow(QStringLiteral("Upload to:"), m_filename3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(edit);
    buttons->addWidget(start);
    upload->addRow(buttons);
    layout->addWidget(frame1);

    m_frame3 = named(new QGroupBox(this), "Frame3");
    auto* choice = new QHBoxLayout(m_frame3);
    m_ascii = named(new QRadioButton(QStringLiteral("Read Ascii"), m_frame3), "AsciiOpt");
    m_number = named(new QRadioButton(QStringLiteral("Read Number"), m_frame3), "ReadNumberOpt");
    choice->addWidget(m_ascii);
    choice->addWidget(m_number);
    layout->addWidget(m_frame3);

    auto* frame2 = named(new QGroupBox(QStringLiteral("Misc."), this), "Frame2");
    auto* misc = new QVBoxLayout(frame2);
    auto* clear = named(new QPushButton(QStringLiteral("Clear Macros"), frame2), "Command1");
    auto* stop = named(new QPushButton(QStringLiteral("Stop Macro Execution"), frame2), "Command3");
    misc->addWidget(clear);
    misc->addWidget(stop);
    layout->addWidget(frame2);

    SpecialCore& c = m_core;
    connect(start, &QPushButton::clicked, &c, &SpecialCore::Command2_Click);
    connect(edit, &QPushButton::clicked, &c, &SpecialCore::Command4_Click);
    connect(clear, &QPushButton::clicked, &c, &SpecialCore::Command1_Click);
    connect(stop, &QPushButton::clicked, &c, &SpecialCore::Command3_Click);
    connect(m_text1, &QLineEdit::textEdited, this, [this](const QString& t) { m_core.Text1 = t; });
    connect(m_text2, &QLineEdit::textEdited, this, [this](const QString& t) { m_core.Text2 = t; });
    connect(m_filename3, &QLineEdit::textEdited, this,
        [this](const QString& t) { m_core.Filename3 = t; });
    connect(m_ascii, &QRadioButton::toggled, this, [this](bool on) { m_core.AsciiOpt = on; });
}

void Form6::refreshView()
{
    const UtilityCore& u = m_core.utility;
    setText(m_text1, m_core.Text1);
    setText(m_text2, m_core.Text2);
    setText(m_filename3, m_core.Filename3);
    m_frame3->setVisible(m_core.Frame3Visible);
    if (m_ascii->isChecked() != m_core.AsciiOpt) {
        const QSignalBlocker blockAscii(m_ascii);
        const QSignalBlocker blockNumber(m_number);
        m_ascii->setChecked(m_core.AsciiOpt);
        m_number->setChecked(!m_core.AsciiOpt);
    }
    // While an upload or a clear runs, only the progress window answers.
    setEnabled(!u.Form1Visible);
    if (isVisible() != u.Form6Visible)
        setVisible(u.Form6Visible);
}

void Form6::closeEvent(QCloseEvent* e)
{
    if (m_core.utility.Form1Visible) {
        e->ignore();
        return;
    }
    if (m_core.utility.Form6Visible)
        m_core.Form_Unload();
    e->accept();
}

void Form6::mouseDoubleClickEvent(QMouseEvent* e)
{
    m_core.Form_DblClick();
    QWidget::mouseDoubleClickEvent(e);
}
