#pragma once

#include "eeprom/combofile.h"
#include "utility/downloadcontroller.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

// The download window's combination panel without its widgets: the chooser of the
// "*.CMB" files of the working directory, the combination list, the boot macro box,
// the file selection list, their buttons, "Download Combination" and "Execute Macro
// Selected". Owned by the DownloadController it works through (port, progress window,
// protocol); the window shows its state and redraws on the DownloadController's changed().
class CombinationController : public QObject
{
    Q_OBJECT
public:
    explicit CombinationController(DownloadController& controller, QObject* parent = nullptr);

    DownloadController& u;

    // ---- Controls ----
    // The chooser's list: the combination files of the working directory.
    const QStringList& combinationFiles() const { return m_combinationFiles; }
    int combinationIndex() const { return m_combinationIndex; } // -1: none chosen
    const QString& combinationName() const { return m_combinationName; }
    // A name typed into the chooser, not chosen: Save writes it, Download needs a chosen one.
    void typeCombinationName(const QString& name);
    const QStringList& combinationList() const { return m_combinationList; } // macro order
    void setCombinationList(const QStringList& files);
    int combinationListIndex() const { return m_combinationListIndex; }
    const QString& bootMacroText() const { return m_bootMacroText; } // "Boot Macro"
    // "File Selection": the command files, and the one last clicked.
    const QStringList& commandFiles() const { return m_commandFiles; }
    const QString& selectedFile() const { return m_selectedFile; }

    // ---- Chooser ----
    // Lists the combination files, empties the combination list and loads the first.
    void fillChooser();
    // Lists the combination files and loads `name`; false when it is not one of them.
    bool select(const QString& name);
    void chooseCombination(int index);
    void newCombination();
    void clearCombinationList();
    void editSelectedFile();
    void saveCombination();
    void deleteCombination();

    // ---- Lists ----
    void relistCommandFiles();
    void pickFile(int index);
    void addFile(int index);
    void addSelectedFile();
    void removeSelectedFile();
    void selectListedFile(int index);
    void setBootMacroText(const QString& text);

    // ---- The controller ----
    void downloadCombination();
    const Outcome& lastDownload() const { return m_lastDownload; }
    // The listed files the last download left out (missing or empty), upper-cased.
    const QStringList& leftOut() const { return m_leftOut; }
    void executeSelectedMacro();
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

    static const QString SelectText;

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
    class Download;
    // A message box with an OK button.
    void tell(const QString& text, PromptIcon icon);
    QString path(const QString& name) const;
    QStringList listCombinations() const;
    // A chooser text that names a file of the working directory itself; false after
    // a message.
    static bool plainName(Prompter& prompter, const QString& name);
    void update() { Q_EMIT u.changed(); }

    QStringList m_combinationFiles;
    int m_combinationIndex = -1;
    QString m_combinationName = QStringLiteral("Use extension   *.CMB");
    QStringList m_combinationList;
    int m_combinationListIndex = -1;
    QString m_bootMacroText;
    QStringList m_commandFiles;
    QString m_selectedFile;
    Outcome m_lastDownload;
    QStringList m_leftOut;
};
