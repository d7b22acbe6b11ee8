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
        for (const QString& f : files) {
            QDir().mkpath(QFileInfo(path(f)).path());
            writeFixture(path(f), "{\\rtf1 " + f.toUtf8() + "}");
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
    void choice_data();
    void choice();
    void save_data();
    void save();
    void shippedDocuments_data();
    void shippedDocuments();
};

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
    QCOMPARE(rig.contents().keys(), files);
}

// Save writes the operator's copy and nothing else; when it cannot, it says why and
// leaves every file as it was.
void TestForm2::save_data()
{
    QTest::addColumn<bool>("downloadWindowInUse");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("userDir");
    QTest::addColumn<QString>("saved"); // empty: the save fails
    const QStringList shipped { "a/help.rtf", "a/helpEEloader.rtf" };
    QTest::newRow("main window, first save") << false << shipped << "user"
                                             << "user/help.rtf";
    QTest::newRow("download window, first save") << true << shipped << "user"
                                                 << "user/helpEEloader.rtf";
    QTest::newRow("longer old copy") << false << shipped + QStringList { "user/help.rtf" } << "user"
                                     << "user/help.rtf";
    QTest::newRow("nothing shipped, no data directory yet")
        << true << QStringList() << "user/new/dir"
        << "user/new/dir/helpEEloader.rtf";
    QTest::newRow("data directory is a file") << false << shipped << "a/help.rtf"
                                              << "";
    QTest::newRow("document is a folder") << false << QStringList { "user/help.rtf/x" } << "user"
                                          << "";
}

void TestForm2::save()
{
    QFETCH(bool, downloadWindowInUse);
    QFETCH(QStringList, files);
    QFETCH(QString, userDir);
    QFETCH(QString, saved);
    Rig rig;
    rig.make(files);
    if (files.contains(saved))
        writeFixture(rig.path(saved), "{\\rtf1 " + QByteArray(5000, 'x') + "}");
    qputenv("ZAZIRUV_DATA_DIR", rig.path(userDir).toLocal8Bit());
    QMap<QString, QByteArray> before = rig.contents();
    rig.form.Form_Load(downloadWindowInUse);
    rig.text1()->setHtml(QStringLiteral("<b>Edited</b> é"));
    rig.save();
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
        Form2 again(rig.prompter);
        again.shippedDirectories = rig.form.shippedDirectories;
        again.Form_Load(downloadWindowInUse);
        QCOMPARE(again.findChild<QTextEdit*>(QStringLiteral("Text1"))->toPlainText(),
            QStringLiteral("Edited é"));
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
