#pragma once

#include <QWidget>
#include <array>

class ConfigurationCore;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

// The configuration window "Configuration": serial port and speed with the device
// each port stands for, display and checksum options, the home/enable delay and the
// working directory, with Auto Configure and DEBUG. Its controls show and set the
// settings in force; "Save and Exit" stores them. Created hidden at start, shown by
// the main window's Setup button, hidden again (not destroyed) when done.
class ConfigurationWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ConfigurationWindow(ConfigurationCore& config, QWidget* parent = nullptr);

    // Shows the window with the settings in force (the Setup button).
    void showWindow();
    // Brings every control up to the settings in force.
    void refreshControls();

    QComboBox* comDeviceBox(int n) const { return m_comDevice[size_t(n)]; }

protected:
    void closeEvent(class QCloseEvent* e) override;

private:
    void buildUi();
    void fillDeviceLists();
    void fillDirectoryList();
    void onDirectoryActivated(QListWidgetItem* item);
    void onDriveActivated(int index);

    ConfigurationCore& m_config;
    std::array<QRadioButton*, 9> m_optCom {}; // index 1..8
    std::array<QComboBox*, 9> m_comDevice {}; // index 1..8
    std::array<QRadioButton*, 4> m_optBaud {}; // 9600, 19200, 38400, 57600
    QPushButton* m_autoConfigure = nullptr;
    QLineEdit* m_txDelay = nullptr;
    QCheckBox* m_chkStatus = nullptr;
    QCheckBox* m_chkDecimal = nullptr;
    QCheckBox* m_chkRS232 = nullptr;
    QCheckBox* m_checkSumChk = nullptr;
    QPushButton* m_debug = nullptr;
    QComboBox* m_drive1 = nullptr;
    QListWidget* m_dir1 = nullptr;
    QPushButton* m_saveAndExit = nullptr;
    QString m_dirShown; // the directory the list was last filled for
    bool m_refreshing = false;
};
