#pragma once

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class DownloadController;

// The download settings window: node address, delay and verification. OK (or Enter)
// and the title bar save them; Escape closes it and drops what was typed.
class DownloadSettingsDialog : public QWidget
{
    Q_OBJECT
public:
    explicit DownloadSettingsDialog(DownloadController& core, QWidget* owner = nullptr);
    void refreshView();

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    DownloadController& m_core;
    QPointer<QWidget> m_owner;
    QLineEdit* m_node = nullptr;
    QLineEdit* m_delay = nullptr;
    QCheckBox* m_verify = nullptr;
    QLabel* m_port = nullptr;
    QLabel* m_baud = nullptr;
};
