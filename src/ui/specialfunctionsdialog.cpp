#include "specialfunctionsdialog.h"

#include "ui/windowplacement.h"
#include "utility/specialfunctions.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
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

SpecialFunctionsDialog::SpecialFunctionsDialog(SpecialFunctions& core, QWidget* owner)
    : QWidget(nullptr, Qt::Window)
    , m_core(core)
    , m_owner(owner)
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
    m_status = named(new QLabel(this), "StatusText");
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    SpecialFunctions& c = m_core;
    connect(start, &QPushButton::clicked, &c, &SpecialFunctions::manualUpload);
    connect(edit, &QPushButton::clicked, &c, &SpecialFunctions::editUploadFile);
    connect(clear, &QPushButton::clicked, &c, &SpecialFunctions::confirmClearMacros);
    connect(stop, &QPushButton::clicked, &c, &SpecialFunctions::stopMacros);
    connect(m_text1, &QLineEdit::textEdited, this,
        [this](const QString& t) { m_core.setStartText(t); });
    connect(m_text2, &QLineEdit::textEdited, this,
        [this](const QString& t) { m_core.setCountText(t); });
    connect(m_filename3, &QLineEdit::textEdited, this,
        [this](const QString& t) { m_core.setUploadFile(t); });
    connect(m_ascii, &QRadioButton::toggled, this, [this](bool on) { m_core.setReadAscii(on); });
}

void SpecialFunctionsDialog::refreshView()
{
    const DownloadController& u = m_core.controller;
    setText(m_text1, m_core.startText());
    setText(m_text2, m_core.countText());
    setText(m_filename3, m_core.uploadFile());
    m_frame3->setVisible(m_core.readModeShown());
    if (m_ascii->isChecked() != m_core.readsAscii()) {
        const QSignalBlocker blockAscii(m_ascii);
        const QSignalBlocker blockNumber(m_number);
        m_ascii->setChecked(m_core.readsAscii());
        m_number->setChecked(!m_core.readsAscii());
    }
    // While an upload or a clear runs, only the progress window answers.
    setEnabled(!u.progress().visible);
    if (m_status->text() != m_core.statusText())
        m_status->setText(m_core.statusText());
    if (isVisible() == u.specialVisible())
        return;
    if (u.specialVisible())
        WindowPlacement::showOver(this, m_owner);
    else
        hide();
}

void SpecialFunctionsDialog::closeEvent(QCloseEvent* e)
{
    if (m_core.controller.progress().visible) {
        e->ignore();
        return;
    }
    if (m_core.controller.specialVisible())
        m_core.unload();
    e->accept();
}

void SpecialFunctionsDialog::mouseDoubleClickEvent(QMouseEvent* e)
{
    m_core.toggleReadMode();
    QWidget::mouseDoubleClickEvent(e);
}
