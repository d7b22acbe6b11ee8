#pragma once

#include <QPointer>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class SpecialFunctions;

// The special functions window: the manual upload, the text-or-number choice that a
// double click shows, "Clear Macros" and "Stop Macro Execution", bound to SpecialFunctions.
// It opens over its owner (the download window); a status line says what the last
// action did.
class SpecialFunctionsDialog : public QWidget
{
    Q_OBJECT
public:
    explicit SpecialFunctionsDialog(SpecialFunctions& core, QWidget* owner = nullptr);
    void refreshView();

protected:
    void closeEvent(QCloseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    SpecialFunctions& m_core;
    QPointer<QWidget> m_owner;
    QLabel* m_status = nullptr;
    QLineEdit* m_text1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QLineEdit* m_filename3 = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QRadioButton* m_ascii = nullptr;
    QRadioButton* m_number = nullptr;
};
