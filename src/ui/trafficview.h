#pragma once

#include "link/trafficlog.h"

#include <QWidget>

class QAction;
class QCheckBox;
class QDockWidget;
class QLabel;
class QLineEdit;
class QMainWindow;
class QTableView;
class SerialLink;
class SettingsStore;
class TrafficModel;

// What went over the line and when: the traffic rows of the port in a table (time,
// direction, text, hex on demand), with Pause, Clear, Find, Save and a log to file.
// It takes rows only while shown, so a hidden view costs the port nothing; its log
// takes them whether the view is shown or not.
class TrafficView : public QWidget
{
    Q_OBJECT
public:
    TrafficView(SerialLink& link, QWidget* parent = nullptr);
    ~TrafficView() override;

    // Puts a view of `link` into `window` as the dock "TrafficView", with its toggle
    // "Traffic" in the window's View menu. Whether it is shown is kept in `store` as
    // the value TrafficView (1 shown, 0 hidden) whenever the operator changes it.
    static TrafficView* addTo(QMainWindow& window, SerialLink& link, SettingsStore& store);

    // Shows the dock without keeping that in the store (a scripted picture).
    void showForPicture();

    TrafficModel* model() const { return m_model; }
    QTableView* table() const { return m_table; }
    // Takes rows (the view is shown) or not.
    void setListening(bool on);

    // Starts the log to `path`, rotated at maxBytes; false, after a message in the
    // view, when it cannot be opened.
    bool startLog(const QString& path, qint64 maxBytes = TrafficLog::DefaultMaxBytes);
    void stopLog();
    bool isLogging() const { return m_log.isActive(); }
    // The last message of the view (a failed log or save, a find without result).
    QString message() const;

    // Selects the next row after the current one whose text holds `text` (case
    // ignored), from the top once the end is passed; false when no row does.
    bool findNext(const QString& text);
    // Writes every row held to `path` as the log file lines, replacing the file
    // atomically; false, after a message in the view, when it fails.
    bool saveTo(const QString& path);

    static inline const QString StoredShownName = QStringLiteral("TrafficView");

private:
    void setMessage(const QString& text);
    void refreshCounts();
    void chooseLogFile();
    void chooseSaveFile();

    SerialLink& m_link;
    TrafficModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_find = nullptr;
    QCheckBox* m_logBox = nullptr;
    QLineEdit* m_logPath = nullptr;
    QLabel* m_counts = nullptr;
    QLabel* m_message = nullptr;
    TrafficLog m_log;
    QMetaObject::Connection m_listening;
    bool m_remember = true; // the dock's toggle is the operator's, to be kept
    bool m_storedShown = false; // what the store says of the dock
    bool m_follow = true; // the table stays at its last row while the operator leaves it there
};
