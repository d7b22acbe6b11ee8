// The help window: which document it shows, where Save puts it, and the two
// documents the program ships.

#include "../common/testfiles.h"

#include "core/prompter.h"
#include "rtf/rtfwriter.h"
#include "ui/form2.h"

#include <QDir>
#include <QDirIterator>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

namespace {

// A user data directory and two shipped directories, "a" and "b", in a temporary
// folder; the user's is "user".
struct Rig
{
    Rig()
    {
        for (const char* d : { "user", "a", "b" })
            QDir(tmp.path()).mkdir(QLatin1String(d));
        qputenv("ZAZIRUV_DATA_DIR", path(QStringLiteral("user")).toLocal8Bit());
        form.shippedDirectories = { path(QStringLiteral("a")), path(QStringLiteral("b")) };
    }
    QString path(const QString& relative) const { return QDir(tmp.path()).filePath(relative); }
    // Each file holds RTF whose text is its own relative path, padded with a skipped
    // group so that it is longer than any document the test saves over it.
    void make(const QStringList& files) const
    {
        for (const QString& f : files) {
            QDir().mkpath(QFileInfo(path(f)).path());
            writeFixture(
                path(f), "{\\rtf1 " + f.toUtf8() + "{\\*\\pad " + QByteArray(5000, 'x') + "}}");
        }
    }
    // Every file under the folder, by relative path.
    QMap<QString, QByteArray> contents() const
    {
        QMap<QString, QByteArray> out;
        QDirIterator it(tmp.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            out.insert(QDir(tmp.path()).relativeFilePath(f), readFile(f));
        }
        return out;
    }
    QTextEdit* text1() { return form.findChild<QTextEdit*>(QStringLiteral("Text1")); }
    QString shown() { return text1()->toPlainText(); }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    Form2 form { prompter };
};

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void loadThenSave_data();
    void loadThenSave();
    void shippedDocuments_data();
    void shippedDocuments();
};

// Form_Load shows the user's copy, else the first shipped one, and creates nothing.
// Save then writes the operator's copy and nothing else; when it cannot, it says why
// and leaves every file as it was.
void TestForm2::loadThenSave_data()
{
    QTest::addColumn<bool>("downloadWindowInUse");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("userDir");
    QTest::addColumn<QString>("shown"); // the file shown; empty: none
    QTest::addColumn<QString>("saved"); // empty: the save fails
    auto row = [](const char* name, bool download, const QStringList& files, const char* userDir,
                   const char* shown, const char* saved) {
        QTest::newRow(name) << download << files << QString::fromLatin1(userDir)
                            << QString::fromLatin1(shown) << QString::fromLatin1(saved);
    };
    const QStringList shipped { "a/help.rtf", "a/helpEEloader.rtf" };
    const QStringList withUserCopy = shipped + QStringList { "user/help.rtf" };
    row("main window", false, shipped, "user", "a/help.rtf", "user/help.rtf");
    row("download window", true, shipped, "user", "a/helpEEloader.rtf", "user/helpEEloader.rtf");
    row("second shipped directory", false, { "b/help.rtf" }, "user", "b/help.rtf", "user/help.rtf");
    row("user's copy wins, longer old copy", false, withUserCopy, "user", "user/help.rtf",
        "user/help.rtf");
    row("user's copy of the other document", true, withUserCopy, "user", "a/helpEEloader.rtf",
        "user/helpEEloader.rtf");
    row("none, no data directory yet", true, { "b/help.rtf" }, "user/new/dir", "",
        "user/new/dir/helpEEloader.rtf");
    row("data directory is a file", false, shipped, "a/help.rtf", "a/help.rtf", "");
    row("document is a folder", false, { "user/help.rtf/x" }, "user", "", "");
}

void TestForm2::loadThenSave()
{
    QFETCH(bool, downloadWindowInUse);
    QFETCH(QStringList, files);
    QFETCH(QString, userDir);
    QFETCH(QString, shown);
    QFETCH(QString, saved);
    Rig rig;
    rig.make(files);
    qputenv("ZAZIRUV_DATA_DIR", rig.path(userDir).toLocal8Bit());
    QMap<QString, QByteArray> before = rig.contents();
    rig.form.Form_Load(downloadWindowInUse);
    QCOMPARE(rig.shown(), shown);
    QCOMPARE(rig.form.loadedFrom(), shown.isEmpty() ? QString() : rig.path(shown));
    QCOMPARE(rig.contents(), before);

    rig.text1()->setHtml(QStringLiteral("<b>Edited</b> é"));
    QTest::mouseClick(rig.form.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    QCOMPARE(rig.prompter.shown.size(), 1);
    const PromptMessage& m = rig.prompter.shown[0];
    if (saved.isEmpty()) {
        QVERIFY2(m.text.startsWith(
                     QStringLiteral("The changes were not saved to \"%1/").arg(rig.path(userDir))),
            qPrintable(m.text));
        QCOMPARE(m.icon, PromptIcon::Exclamation);
    } else {
        QCOMPARE(m.text, QStringLiteral("changes saved"));
        // Exactly the document: no bytes of a longer old copy after it.
        QCOMPARE(readFile(rig.path(saved)), rtf::write(*rig.text1()->document()));
        QCOMPARE(rig.form.loadedFrom(), rig.path(saved));
        rig.form.Form_Load(downloadWindowInUse);
        QCOMPARE(rig.shown(), QStringLiteral("Edited é"));
    }
    QMap<QString, QByteArray> after = rig.contents();
    before.remove(saved);
    after.remove(saved);
    QCOMPARE(after, before);
}

// The documents copied beside the executable at build time, as an installed program
// finds them in its data directory.
void TestForm2::shippedDocuments_data()
{
    QTest::addColumn<bool>("downloadWindowInUse");
    QTest::addColumn<QStringList>("topics");
    QTest::newRow("help.rtf") << false
                              << QStringList { "Command mode", "Terminal", "Setup",
                                     "Auto Configure", "Status Wizard", "DELAY", "MESSAGE", "PAUSE",
                                     "REPEAT", "dialout", "/dev/ttyS0", "Download File" };
    QTest::newRow("helpEEloader.rtf")
        << true
        << QStringList { "Download File", "Combination", "Read Back", "Special Functions",
               "Download settings", "macro", "Boot", "e2prom.dat", "checksum", "Cancel" };
}

void TestForm2::shippedDocuments()
{
    QFETCH(bool, downloadWindowInUse);
    QFETCH(QStringList, topics);
    Rig rig;
    rig.form.shippedDirectories = { QStringLiteral(ZZ_BINARY_DIR "/src/app") };
    rig.form.Form_Load(downloadWindowInUse);
    QVERIFY(readFile(rig.form.loadedFrom()).startsWith("{\\rtf1"));
    QCOMPARE(rig.form.windowTitle(), QStringLiteral("Help "));
    QVERIFY(!rig.text1()->isReadOnly());
    const QString text = rig.shown();
    for (const QString& t : topics)
        QVERIFY2(text.contains(t), qPrintable(t));
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
