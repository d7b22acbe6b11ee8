#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class DownloadController;

// The progress window of downloads and reads: progressLabel, progressPercent and Cancel.
class ProgressDialog : public QWidget
{
    Q_OBJECT
public:
    explicit ProgressDialog(DownloadController& core, QWidget* parent = nullptr);
    void refreshView();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    DownloadController& m_core;
    QLabel* m_label1 = nullptr;
    QProgressBar* m_bar = nullptr;
};
