#pragma once

#include "eeprom/combofile.h"
#include "utility/utilitycore.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

// The download window's combination panel without its widgets: the chooser of the
// "*.CMB" files of the working directory, the combination list, the boot macro box,
// the file selection list, their buttons, "Download Combination" and "Execute Macro
// Selected". Owned by the UtilityCore it works through (port, progress window,
// protocol); the window binds its controls to these members and redraws on the core's
// changed().
class ComboPanel : public QObject
{
    Q_OBJECT
public:
    explicit ComboPanel(UtilityCore& utility, QObject* parent = nullptr);

    UtilityCore& u;

    // ---- Controls ----
    QStringList ComboActive; // the chooser's list: the combination files
    int comboActiveIndex = -1;
    QString comboActiveText = QStringLiteral("Use extension   *.CMB");
    QStringList ComboFileList; // the combination, in macro order
    int comboFileListIndex = -1;
    QString Text1; // "Boot Macro"
    QStringList File2; // "File Selection": the command files
    QString SelectedName; // the file last clicked in File2

    // ---- Chooser ----
    // Lists the combination files, empties the combination list and loads the first.
    void fillChooser();
    // Lists the combination files and loads `name`; false when it is not one of them.
    bool select(const QString& name);
    void ComboActive_Click(int index);
    void Command13_Click(); // New
    void Command12_Click(); // Clear List
    void Command11_Click(); // Edit Selected File
    void Command8_Click(); // Save
    void Command10_Click(); // Delete (the combination file)

    // ---- Lists ----
    void refreshFile2();
    void File2_Click(int index);
    void File2_DblClick(int index);
    void AddFileCmd_Click();
    void DelFileCmd_Click();
    void ComboFileList_Click(int index);
    void ComboFileList_DblClick();
    void Text1_Change(const QString& text);

    // ---- The controller ----
    void DnLdCombo_Click();
    UtilityCore::Outcome lastDownload = UtilityCore::Outcome::NotStarted;
    // The listed files the last download left out (missing or empty), upper-cased.
    QStringList leftOut;
    void MacExeCmd_Click();
    // Tells the controller to run macro n (from 1); false after a message when the
    // port is closed.
    bool executeMacro(int n);

    // Save's checks and its atomic write of combination `name` in `dir`; false after
    // the message.
    static bool save(Prompter& prompter, const QString& dir, const QString& name,
        const QStringList& files, const QString& bootBox);
    // Reads combination `name` of `dir`; nothing (after a message) when it cannot be read
    // or is refused.
    static std::optional<ComboFile::Contents> readCombination(
        Prompter& prompter, const QString& dir, const QString& name);

    // Values of the last combination download, entry n for macro n (entry 0 unused).
    int MacroIndex = 1;
    int MacroEndTotal = 0;
    int MacroSize = 0;
    QList<int> macroSizes;
    QStringList macroNames;

    static inline const QString SelectText
        = QStringLiteral("Be sure to select a file/macro by clicking on it and highlighting it");

private:
    // How each listed file will be handled, found before anything is sent.
    enum class Plan
    {
        Store,
        Missing, // left out after the "File Not Found" message
        Empty, // left out after its own message: PrepFile would keep the earlier macro
    };
    // Prepares every listed file as the download will, with the running base address,
    // and refuses the combination (after the message) when one would stop the download
    // part way or would not be stored as prepared. Empty when refused.
    // `bytes` is what the stored macros will take.
    QList<Plan> plan(const QStringList& files, qsizetype& bytes);
    // The download once it may send: header, macros, table, names.
    UtilityCore::Outcome download(const QStringList& files, const QList<Plan>& plans);
    // A message box with an OK button.
    void tell(const QString& text, PromptIcon icon);
    QString path(const QString& name) const;
    QStringList listCombinations() const;
    // A chooser text that names a file of the working directory itself; false after
    // a message.
    static bool plainName(Prompter& prompter, const QString& name);
    void update() { Q_EMIT u.changed(); }
};
