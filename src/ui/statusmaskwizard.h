#pragma once

#include "terminal/statusmask.h"

#include <QWidget>
#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The status mask wizard: turns a status value into the 16 bit boxes and ticked bits
// into the value to write in a command file's status wait. It never talks to the
// controller. Shown modeless; closing it discards it, so the next opening starts
// afresh ("10", "Dec", bits 1 and 3).
class StatusMaskWizard : public QWidget
{
    Q_OBJECT
public:
    explicit StatusMaskWizard(QWidget* parent = nullptr);

    // Value to bits, from the value box in the selected radix.
    void showValueAsBits();
    // Bits to value, into countText.
    void convertBitsToValue();

    MaskRadix radix() const;
    quint16 tickedBits() const;
    QCheckBox* bitCheck(int bit) const { return m_bits[size_t(bit)]; }

private:
    void bit11Clicked();
    void bit8Clicked();

    QLineEdit* m_text1 = nullptr;
    QRadioButton* m_option1 = nullptr; // "Dec"
    QRadioButton* m_option2 = nullptr; // "Hex"
    QLineEdit* m_text2 = nullptr;
    std::array<QCheckBox*, 16> m_bits {};
};
