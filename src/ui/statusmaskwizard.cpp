#include "statusmaskwizard.h"

#include "terminal/statusdecoder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

StatusMaskWizard::StatusMaskWizard(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Status Mask Wizard"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* label1 = new QLabel(QStringLiteral("Status Value"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_text1 = new QLineEdit(QStringLiteral("10"), this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setToolTip(QStringLiteral("Enter a number and Hit enter to display Status"));
    label1->setBuddy(m_text1);

    m_option1 = new QRadioButton(QStringLiteral("Dec"), this);
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option2 = new QRadioButton(QStringLiteral("Hex"), this);
    m_option2->setObjectName(QStringLiteral("Option2"));
    auto* radixGroup = new QButtonGroup(this);
    radixGroup->addButton(m_option1);
    radixGroup->addButton(m_option2);
    m_option1->setChecked(true);

    auto* command2 = new QPushButton(QStringLiteral("Display Above"), this);
    command2->setObjectName(QStringLiteral("Command2"));
    command2->setToolTip(
        QStringLiteral("Updates Top Display with Status value currently showing in Box"));
    command2->setAutoDefault(false);

    auto* frame1 = new QGroupBox(QStringLiteral("Status Mask Description"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto* bitsLayout = new QGridLayout(frame1);
    for (int k = 0; k < 16; ++k) {
        auto* box = new QCheckBox(statusBitCaption(k), frame1);
        box->setObjectName(QStringLiteral("Bit%1Check").arg(k));
        m_bits[size_t(k)] = box;
        // Two columns: bits 0-7 on the left, 8-15 on the right.
        bitsLayout->addWidget(box, k % 8, k / 8);
    }

    auto* command1 = new QPushButton(QStringLiteral("Convert"), this);
    command1->setObjectName(QStringLiteral("Command1"));
    command1->setToolTip(QStringLiteral("Converts Status bits selected to Decimal Status Value"));
    command1->setAutoDefault(false);
    m_text2 = new QLineEdit(this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setReadOnly(true);

    auto* top = new QHBoxLayout;
    top->addWidget(label1);
    top->addWidget(m_text1, 1);
    top->addWidget(m_option1);
    top->addWidget(m_option2);
    top->addWidget(command2);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(command1);
    bottom->addWidget(m_text2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(frame1, 1);
    layout->addLayout(bottom);

    connect(m_text1, &QLineEdit::returnPressed, this, &StatusMaskWizard::showValueAsBits);
    connect(command2, &QPushButton::clicked, this, &StatusMaskWizard::showValueAsBits);
    connect(command1, &QPushButton::clicked, this, &StatusMaskWizard::convertBitsToValue);
    // Only the operator's clicks couple the two bits; showValueAsBits shows a value's
    // bits exactly as they are.
    connect(m_bits[11], &QCheckBox::clicked, this, &StatusMaskWizard::bit11Clicked);
    connect(m_bits[8], &QCheckBox::clicked, this, &StatusMaskWizard::bit8Clicked);

    // Load: the bits of the start value 10.
    m_bits[1]->setChecked(true);
    m_bits[3]->setChecked(true);
}

MaskRadix StatusMaskWizard::radix() const
{
    return m_option2->isChecked() ? MaskRadix::Hexadecimal : MaskRadix::Decimal;
}

quint16 StatusMaskWizard::tickedBits() const
{
    quint16 v = 0;
    for (int k = 0; k < 16; ++k) {
        if (m_bits[size_t(k)]->isChecked())
            v |= quint16(1u << k);
    }
    return v;
}

void StatusMaskWizard::showValueAsBits()
{
    const quint16 v = statusMaskFromText(m_text1->text(), radix());
    for (int k = 0; k < 16; ++k)
        m_bits[size_t(k)]->setChecked((v >> k) & 1u);
}

void StatusMaskWizard::convertBitsToValue()
{
    m_text2->setText(statusMaskText(tickedBits(), radix()));
}

void StatusMaskWizard::bit11Clicked()
{
    // An emergency stop disables the drive: bit 11 implies bit 8.
    if (m_bits[11]->isChecked())
        m_bits[8]->setChecked(true);
}

void StatusMaskWizard::bit8Clicked()
{
    if (m_bits[11]->isChecked() && !m_bits[8]->isChecked())
        m_bits[8]->setChecked(true);
}
