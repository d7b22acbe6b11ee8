#pragma once

#include "utility/downloadcontroller.h"

#include <QObject>
#include <QString>

// The special functions window (SpecialFunctionsDialog) without its widgets: the manual upload of
// any run of the controller's memory into a file, as text or as numbers, "Clear Macros" and "Stop
// Macro Execution". It works through the download window's logic and its progress window; the
// window shows its state and redraws on the download window's changed().
class SpecialFunctions : public QObject
{
    Q_OBJECT
public:
    explicit SpecialFunctions(DownloadController& controller, QObject* parent = nullptr);

    DownloadController& controller;

    // ---- "Manual Upload" ----
    const QString& startText() const { return m_startText; } // "Start at Location"
    void setStartText(const QString& text);
    // "Number of Characters to Read"
    const QString& countText() const { return m_countText; }
    void setCountText(const QString& text);
    const QString& uploadFile() const { return m_uploadFile; } // "Upload to:"
    void setUploadFile(const QString& name);
    // ---- The read mode choice: "Read Ascii" when set, else "Read Number" ----
    bool readModeShown() const { return m_readModeShown; }
    bool readsAscii() const { return m_readAscii; }
    void setReadAscii(bool on);

    using Outcome = DownloadController::Outcome;

    // The window's state when it opens.
    void load();
    void manualUpload();
    const Outcome& lastUpload() const { return m_lastUpload; }
    void editUploadFile();
    void clearMacros();
    // The window's "Clear Macros": asks first, then says how it ended.
    void confirmClearMacros();
    const Outcome& lastClear() const { return m_lastClear; }
    void stopMacros();
    void toggleReadMode();
    void unload();

    // A count of characters above this does not fit the 16-bit count of a read.
    static constexpr int MaxCount = 32767;
    static const QString CountText;
    static const QString StartText;
    static const QString ClearQuestion;
    static const QString ClearedText;
    static const QString ClearUnconfirmedText;
    // What the window's status line says after each action.
    const QString& statusText() const { return m_statusText; }

private:
    class Upload;
    class Clear;

    bool portReady();
    void update() { Q_EMIT controller.changed(); }

    QString m_startText;
    QString m_countText;
    QString m_uploadFile = QStringLiteral("Temporary.cmd");
    bool m_readModeShown = false;
    bool m_readAscii = true;
    Outcome m_lastUpload;
    Outcome m_lastClear;
    QString m_statusText;
};
