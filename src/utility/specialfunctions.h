#pragma once

#include "utility/downloadcontroller.h"

#include <QObject>
#include <QString>

// The special functions window (SpecialFunctionsDialog) without its widgets: the manual upload of
// any run of the controller's memory into a file, as text or as numbers, "Clear Macros" and "Stop
// Macro Execution". It works through the download window's logic and its progress window; the
// window binds its controls to these members and redraws on the download window's changed().
class SpecialFunctions : public QObject
{
    Q_OBJECT
public:
    explicit SpecialFunctions(DownloadController& controller, QObject* parent = nullptr);

    DownloadController& controller;

    // ---- "Manual Upload" ----
    QString startText; // "Start at Location"
    QString countText; // "Number of Characters to Read"
    QString uploadFile = QStringLiteral("Temporary.cmd");
    // ---- The read mode choice: "Read Ascii" when set, else "Read Number" ----
    bool readModeShown = false;
    bool AsciiOpt = true;

    using Outcome = DownloadController::Outcome;

    // The window's state when it opens.
    void load();
    void manualUpload();
    Outcome lastUpload;
    void editUploadFile();
    void clearMacros();
    Outcome lastClear;
    void stopMacros();
    void toggleReadMode();
    void unload();

    // A count of characters above this does not fit the 16-bit count of a read.
    static constexpr int MaxCount = 32767;
    static inline const QString PortText = QStringLiteral("Serial Port not configured properly!");
    static inline const QString CountText
        = QStringLiteral("The Number of Characters to Read must not be more than 32767.");
    static inline const QString StartText
        = QStringLiteral("The Start Location must be from 0 to 32767.");

private:
    class Upload;
    class Clear;

    bool portReady();
    void update() { Q_EMIT controller.changed(); }
};
