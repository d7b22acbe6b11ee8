#pragma once

#include "utility/utilitycore.h"

#include <QObject>
#include <QString>

// The special functions window (Form6) without its widgets: the manual upload of any
// run of the controller's memory into a file, as text or as numbers, "Clear Macros"
// and "Stop Macro Execution". It works through the download window's logic and its
// progress window; the window binds its controls to these members and redraws on the
// download window's changed().
class SpecialCore : public QObject
{
    Q_OBJECT
public:
    explicit SpecialCore(UtilityCore& utility, QObject* parent = nullptr);

    UtilityCore& utility;

    // ---- Frame1 "Manual Upload" ----
    QString Text1; // "Start at Location"
    QString Text2; // "Number of Characters to Read"
    QString Filename3 = QStringLiteral("Temporary.cmd");
    // ---- Frame3: "Read Ascii" when set, else "Read Number" ----
    bool Frame3Visible = false;
    bool AsciiOpt = true;

    using Outcome = UtilityCore::Outcome;

    // The window's state when it opens.
    void Form_Load();
    void Command2_Click(); // Upload
    Outcome lastUpload = Outcome::NotStarted;
    void Command4_Click(); // Edit
    void Command1_Click(); // Clear Macros
    Outcome lastClear = Outcome::NotStarted;
    void Command3_Click(); // Stop Macro Execution
    void Form_DblClick();
    void Form_Unload();

    // A count of characters above this does not fit the 16-bit count of a read.
    static constexpr int MaxCount = 32767;
    static inline const QString PortText = QStringLiteral("Serial Port not configured properly!");
    static inline const QString CountText
        = QStringLiteral("The Number of Characters to Read must not be more than 32767.");
    static inline const QString StartText
        = QStringLiteral("The Start Location must be from 0 to 32767.");

private:
    bool portReady();
    void update() { Q_EMIT utility.changed(); }
};
