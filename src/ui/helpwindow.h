#pragma once

#include <QStringList>
#include <QWidget>

class Prompter;
class QPushButton;
class QTextEdit;

// The help window: one of the two help documents as editable rich text, with Save.
// The shipped documents are read-only (an installed program's folders are not
// writable), so Save writes the operator's own copy into the per-user data
// directory, and that copy is what later openings show. Closing the window discards
// it; the next opening reads the document afresh.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(Prompter& prompter, QWidget* parent = nullptr);

    // The shipped documents are some 12 KB; 10 MB of RTF takes the text view many
    // seconds and a gigabyte to read, so a larger document is not shown.
    static constexpr qint64 MaxDocumentBytes = 4 * 1024 * 1024;

    // "help.rtf" for the main window, "helpEEloader.rtf" while the download window
    // is in use.
    static QString documentName(bool downloadWindowInUse);
    // Where shipped documents are looked for, in order: beside the executable (the
    // build tree), then the installed data directories (share/zaziruv).
    static QStringList defaultShippedDirectories();
    // The operator's saved copies: $ZAZIRUV_DATA_DIR when set, else the per-user data
    // directory.
    static QString userDirectory();
    // The file to show for `name`: the operator's copy when there is one, else the
    // first shipped one found; empty when there is none.
    static QString documentPath(const QString& name, const QStringList& shippedDirectories);

    // Chooses the document by the window state and shows it (an empty page when
    // there is none, or after a message when it is no regular file or larger than
    // MaxDocumentBytes; no file is created).
    void load(bool downloadWindowInUse);
    // Save: writes the operator's copy atomically; says "changes saved" only once it
    // is written, otherwise why not, and the old copy stays as it was.
    void saveChanges();

    QString documentName() const { return m_name; }
    QString loadedFrom() const { return m_loadedFrom; }

    // Where the shipped documents are looked for, in order (tests point it elsewhere).
    void setShippedDirectories(const QStringList& dirs) { m_shippedDirectories = dirs; }

Q_SIGNALS:
    // Closing: the download window enables itself again.
    void closed();

protected:
    void closeEvent(class QCloseEvent* e) override;

private:
    QStringList m_shippedDirectories = defaultShippedDirectories();
    Prompter& m_prompter;
    QTextEdit* m_text1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QString m_name = documentName(false); // the document chosen by load, for Save
    QString m_loadedFrom; // the file shown; empty when none was found
};
