#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class DownloadController;

// The progress window of downloads and reads: progressLabel, progressPercent and Cancel.
// It opens over its owner (the download window) with a caption that says what runs.
class ProgressDialog : public QWidget
{
    Q_OBJECT
public:
    explicit ProgressDialog(DownloadController& core, QWidget* owner = nullptr);
    // "Downloading", "Clearing" or "Reading", from the label the operation starts with.
    static QString captionFor(const QString& label);
    void refreshView();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    DownloadController& m_core;
    QPointer<QWidget> m_owner;
    QLabel* m_label1 = nullptr;
    QProgressBar* m_bar = nullptr;
};
