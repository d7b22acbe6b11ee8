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
    // Each file holds RTF whose text is its own relative path.
    void make(const QStringList& files) const
    {
        for (const QString& f : files)
            writeFixture(path(f), "{\\rtf1 " + f.toUtf8() + "}");
    }
    QStringList files() const
    {
        QStringList out;
        QDirIterator it(tmp.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << QDir(tmp.path()).relativeFilePath(it.next());
        out.sort();
        return out;
    }
    QTextEdit* text1() { return form.findChild<QTextEdit*>(QStringLiteral("Text1")); }
    QString shown() { return text1()->toPlainText(); }
    void save()
    {
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    Form2 form { prompter };
};

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void window();
    void choice_data();
    void choice();
    void save_data();
    void save();
    void saveFails_data();
    void saveFails();
    void shippedDocuments_data();
    void shippedDocuments();
};

void TestForm2::window()
{
    Rig rig;
    QCOMPARE(rig.form.windowTitle(), QStringLiteral("Help "));
    QVERIFY(rig.form.isWindow());
    QVERIFY(!rig.text1()->isReadOnly());
    QCOMPARE(rig.form.findChild<QPushButton*>(QStringLiteral("Command1"))->text(),
        QStringLiteral("Save"));
}

void TestForm2::choice_data()
{
    QTest::addColumn<bool>("downloadWindowInUse");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("shown");
    const QStringList shipped { "a/help.rtf", "a/helpEEloader.rtf" };
    QTest::newRow("main window") << false << shipped << "a/help.rtf";
    QTest::newRow("download window") << true << shipped << "a/helpEEloader.rtf";
    QTest::newRow("second shipped directory")
        << false << QStringList { "b/help.rtf" } << "b/help.rtf";
    QTest::newRow("user's copy wins")
        << false << shipped + QStringList { "user/help.rtf" } << "user/help.rtf";
    QTest::newRow("user's copy of the other document")
        << true << shipped + QStringList { "user/help.rtf" } << "a/helpEEloader.rtf";
    QTest::newRow("none: empty, nothing created") << true << QStringList { "b/help.rtf" } << "";
}

void TestForm2::choice()
{
    QFETCH(bool, downloadWindowInUse);
    QFETCH(QStringList, files);
    QFETCH(QString, shown);
    Rig rig;
    rig.make(files);
    rig.form.Form_Load(downloadWindowInUse);
    QCOMPARE(rig.shown(), shown);
    QCOMPARE(rig.form.loadedFrom(), shown.isEmpty() ? QString() : rig.path(shown));
    files.sort();
    QCOMPARE(rig.files(), files);
}

void TestForm2::save_data()
{
    QTest::addColumn<bool>("downloadWindowInUse");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("saved");
    const QStringList shipped { "a/help.rtf", "a/helpEEloader.rtf" };
    QTest::newRow("main window, first save") << false << shipped << "user/help.rtf";
    QTest::newRow("download window, first save") << true << shipped << "user/helpEEloader.rtf";
    QTest::newRow("longer old copy")
        << false << shipped + QStringList { "user/help.rtf" } << "user/help.rtf";
    QTest::newRow("nothing shipped") << true << QStringList() << "user/helpEEloader.rtf";
}

void TestForm2::save()
{
    QFETCH(bool, downloadWindowInUse);
    QFETCH(QStringList, files);
    QFETCH(QString, saved);
    Rig rig;
    rig.make(files);
    if (files.contains(saved))
        writeFixture(rig.path(saved), "{\\rtf1 " + QByteArray(5000, 'x') + "}");
    QHash<QString, QByteArray> before;
    for (const QString& f : rig.files())
        before.insert(f, readFile(rig.path(f)));
    rig.form.Form_Load(downloadWindowInUse);
    rig.text1()->setHtml(QStringLiteral("<b>Edited</b> é"));
    rig.save();
    QCOMPARE(rig.prompter.texts(), QStringList { QStringLiteral("changes saved") });
    // Exactly the document: no bytes of a longer old copy after it.
    QCOMPARE(readFile(rig.path(saved)), rtf::write(*rig.text1()->document()));
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (it.key() != saved)
            QCOMPARE(readFile(rig.path(it.key())), it.value());
    }
    QCOMPARE(rig.form.loadedFrom(), rig.path(saved));
    Form2 again(rig.prompter);
    again.shippedDirectories = rig.form.shippedDirectories;
    again.Form_Load(downloadWindowInUse);
    QCOMPARE(again.findChild<QTextEdit*>(QStringLiteral("Text1"))->toPlainText(),
        QStringLiteral("Edited é"));
}

void TestForm2::saveFails_data()
{
    QTest::addColumn<QString>("userDir");
    QTest::addColumn<QString>("blocker");
    QTest::newRow("data directory is a file") << "a/help.rtf"
                                              << "a/help.rtf";
    QTest::newRow("document is a folder") << "user"
                                          << "user/help.rtf/x";
}

void TestForm2::saveFails()
{
    QFETCH(QString, userDir);
    QFETCH(QString, blocker);
    Rig rig;
    QDir().mkpath(QFileInfo(rig.path(blocker)).path());
    rig.make({ blocker });
    qputenv("ZAZIRUV_DATA_DIR", rig.path(userDir).toLocal8Bit());
    const QStringList files = rig.files();
    rig.form.Form_Load(false);
    rig.save();
    QCOMPARE(rig.prompter.shown.size(), 1);
    QVERIFY2(rig.prompter.shown[0].text.startsWith(
                 QStringLiteral("The changes were not saved to \"%1").arg(rig.path(userDir))),
        qPrintable(rig.prompter.shown[0].text));
    QCOMPARE(rig.prompter.shown[0].icon, PromptIcon::Exclamation);
    QCOMPARE(rig.files(), files);
    QCOMPARE(readFile(rig.path(blocker)), "{\\rtf1 " + blocker.toUtf8() + "}");
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
    const QString text = rig.shown();
    for (const QString& t : topics)
        QVERIFY2(text.contains(t), qPrintable(t));
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
