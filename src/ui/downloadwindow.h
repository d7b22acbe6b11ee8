#pragma once

#include <QHash>
#include <QWidget>
#include <functional>

class ProgressDialog;
class DownloadSettingsDialog;
class SpecialFunctionsDialog;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class SpecialFunctions;
class DownloadController;

// The download window: the mode buttons and the three panels in one place, the
// checksum frame, and its two dialogs, bound to DownloadController. Every control's
// objectName is its name in the procedures. The panels share one place as large as
// the largest, so the buttons stay where they are when the panel changes. `parent`
// is the window that opens it (a window of its own, transient for that one).
class DownloadWindow : public QWidget
{
    Q_OBJECT
public:
    explicit DownloadWindow(DownloadController& core, QWidget* parent = nullptr);
    ~DownloadWindow() override;

    DownloadController& core() const { return m_core; }
    ProgressDialog* progressWindow() const { return m_form1; }
    DownloadSettingsDialog* settingsWindow() const { return m_form3; }
    SpecialFunctionsDialog* specialWindow() const { return m_form6; }

    // The main window's "Download": loads the window's state and shows it over its parent.
    void showWindow();
    void refreshView();

protected:
    void closeEvent(QCloseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;

private:
    using ButtonMaker = std::function<QPushButton*(
        QWidget* parent, const QString& name, const QString& label, const QString& tip)>;
    void buildUi();
    void buildComboFrame(const ButtonMaker& button);
    void refreshComboFrame();
    QWidget* control(const QString& name) const { return m_controls.value(name); }
    template <typename T> T* named(T* widget, const QString& name);

    DownloadController& m_core;
    QHash<QString, QWidget*> m_controls;
    QGroupBox* m_downFrame = nullptr;
    QGroupBox* m_upFrame = nullptr;
    QGroupBox* m_comboFrame = nullptr;
    QGroupBox* m_hiddenFrame = nullptr;
    QStackedWidget* m_panels = nullptr;
    QCheckBox* m_readAsNumbers = nullptr;
    QLabel* m_status = nullptr;
    QListWidget* m_filelist = nullptr;
    QLineEdit* m_filename = nullptr;
    QLineEdit* m_filename2 = nullptr;
    QCheckBox* m_boot = nullptr;
    QListWidget* m_comboMacro1 = nullptr;
    QListWidget* m_comboFileList2 = nullptr;
    QLabel* m_labelTotBytes = nullptr;
    QLineEdit* m_text3 = nullptr;
    QLineEdit* m_text4 = nullptr;
    QComboBox* m_comboActive = nullptr;
    QListWidget* m_comboFileList = nullptr;
    QLineEdit* m_text1 = nullptr;
    QListWidget* m_file2 = nullptr;
    QListWidget* m_comboDirList = nullptr;
    ProgressDialog* m_form1 = nullptr;
    DownloadSettingsDialog* m_form3 = nullptr;
    SpecialFunctions* m_special = nullptr;
    SpecialFunctionsDialog* m_form6 = nullptr;
    bool m_refreshing = false;
};
