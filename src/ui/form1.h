#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class UtilityCore;

// The progress window of downloads and reads: Label1, ProgressBar1 and Cancel.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(UtilityCore& core, QWidget* parent = nullptr);
    void refreshView();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    UtilityCore& m_core;
    QLabel* m_label1 = nullptr;
    QProgressBar* m_bar = nullptr;
};
