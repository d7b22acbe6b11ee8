#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class DownloadController;

// The download settings window: node address, delay and verification.
class DownloadSettingsDialog : public QWidget
{
    Q_OBJECT
public:
    explicit DownloadSettingsDialog(DownloadController& core, QWidget* parent = nullptr);
    void refreshView();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    DownloadController& m_core;
    QLineEdit* m_node = nullptr;
    QLineEdit* m_delay = nullptr;
    QCheckBox* m_verify = nullptr;
    QLabel* m_port = nullptr;
    QLabel* m_baud = nullptr;
};
