// Message boxes: icon, buttons, default, title, and the answer given.

#include "ui/qtprompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(PromptIcon)
Q_DECLARE_METATYPE(PromptButtons)
Q_DECLARE_METATYPE(PromptAnswer)

class TestQtPrompter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void box_data();
    void box();
    void lineBreaks();
    void answers_data();
    void answers();
    void escape_data();
    void escape();
    void shownModal();
};

void TestQtPrompter::box_data()
{
    QTest::addColumn<PromptIcon>("icon");
    QTest::addColumn<PromptButtons>("buttons");
    QTest::addColumn<PromptAnswer>("defaultAnswer");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("boxIcon");
    QTest::addColumn<int>("boxButtons");
    QTest::addColumn<int>("boxDefault");
    QTest::addColumn<QString>("boxTitle");

    QTest::newRow("plain message")
        << PromptIcon::None << PromptButtons::Ok << PromptAnswer::Ok << QString()
        << int(QMessageBox::NoIcon) << int(QMessageBox::Ok) << int(QMessageBox::Ok) << "ZAZIRUV";
    QTest::newRow("warning") << PromptIcon::Exclamation << PromptButtons::Ok << PromptAnswer::Ok
                             << QString() << int(QMessageBox::Warning) << int(QMessageBox::Ok)
                             << int(QMessageBox::Ok) << "ZAZIRUV";
    QTest::newRow("critical") << PromptIcon::Critical << PromptButtons::Ok << PromptAnswer::Ok
                              << QString() << int(QMessageBox::Critical) << int(QMessageBox::Ok)
                              << int(QMessageBox::Ok) << "ZAZIRUV";
    QTest::newRow("question, No by default")
        << PromptIcon::Question << PromptButtons::YesNo << PromptAnswer::No << "Registry Corrupted"
        << int(QMessageBox::Question) << int(QMessageBox::Yes | QMessageBox::No)
        << int(QMessageBox::No) << "Registry Corrupted";
    QTest::newRow("information, ok/cancel")
        << PromptIcon::Information << PromptButtons::OkCancel << PromptAnswer::Cancel << QString()
        << int(QMessageBox::Information) << int(QMessageBox::Ok | QMessageBox::Cancel)
        << int(QMessageBox::Cancel) << "ZAZIRUV";
    QTest::newRow("three buttons")
        << PromptIcon::Question << PromptButtons::YesNoCancel << PromptAnswer::Cancel << QString()
        << int(QMessageBox::Question)
        << int(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) << int(QMessageBox::Cancel)
        << "ZAZIRUV";
    QTest::newRow("default not among the buttons")
        << PromptIcon::None << PromptButtons::YesNo << PromptAnswer::Ok << QString()
        << int(QMessageBox::NoIcon) << int(QMessageBox::Yes | QMessageBox::No)
        << int(QMessageBox::Yes) << "ZAZIRUV";
}

void TestQtPrompter::box()
{
    QFETCH(PromptIcon, icon);
    QFETCH(PromptButtons, buttons);
    QFETCH(PromptAnswer, defaultAnswer);
    QFETCH(QString, title);
    QFETCH(int, boxIcon);
    QFETCH(int, boxButtons);
    QFETCH(int, boxDefault);
    QFETCH(QString, boxTitle);

    const auto b
        = QtPrompter::makeBox({ QStringLiteral("Text"), title, icon, buttons, defaultAnswer });
    QCOMPARE(int(b->icon()), boxIcon);
    QCOMPARE(int(b->standardButtons()), boxButtons);
    QCOMPARE(int(b->standardButton(b->defaultButton())), boxDefault);
    QCOMPARE(b->windowTitle(), boxTitle);
    QCOMPARE(b->text(), QStringLiteral("Text"));
}

void TestQtPrompter::lineBreaks()
{
    const auto b = QtPrompter::makeBox(
        { QStringLiteral("Please use the '*.CMD' extension\rwhen saving\r\nthe file <b>"), {},
            PromptIcon::Information, PromptButtons::Ok, PromptAnswer::Ok });
    QCOMPARE(
        b->text(), QStringLiteral("Please use the '*.CMD' extension\nwhen saving\nthe file <b>"));
    QCOMPARE(b->textFormat(), Qt::PlainText);
}

void TestQtPrompter::answers_data()
{
    QTest::addColumn<PromptButtons>("buttons");
    QTest::addColumn<int>("click");
    QTest::addColumn<PromptAnswer>("answer");
    QTest::newRow("ok") << PromptButtons::Ok << int(QMessageBox::Ok) << PromptAnswer::Ok;
    QTest::newRow("yes") << PromptButtons::YesNo << int(QMessageBox::Yes) << PromptAnswer::Yes;
    QTest::newRow("no") << PromptButtons::YesNo << int(QMessageBox::No) << PromptAnswer::No;
    QTest::newRow("cancel") << PromptButtons::OkCancel << int(QMessageBox::Cancel)
                            << PromptAnswer::Cancel;
    QTest::newRow("cancel of three")
        << PromptButtons::YesNoCancel << int(QMessageBox::Cancel) << PromptAnswer::Cancel;
}

void TestQtPrompter::answers()
{
    QFETCH(PromptButtons, buttons);
    QFETCH(int, click);
    QFETCH(PromptAnswer, answer);
    const auto b = QtPrompter::makeBox(
        { QStringLiteral("?"), {}, PromptIcon::Question, buttons, PromptAnswer::Ok });
    b->show();
    b->button(QMessageBox::StandardButton(click))->click();
    QCOMPARE(QtPrompter::answerOf(*b), answer);
}

void TestQtPrompter::escape_data()
{
    QTest::addColumn<PromptButtons>("buttons");
    QTest::addColumn<PromptAnswer>("answer");
    QTest::newRow("message") << PromptButtons::Ok << PromptAnswer::Ok;
    QTest::newRow("yes/no") << PromptButtons::YesNo << PromptAnswer::No;
    QTest::newRow("ok/cancel") << PromptButtons::OkCancel << PromptAnswer::Cancel;
    QTest::newRow("yes/no/cancel") << PromptButtons::YesNoCancel << PromptAnswer::Cancel;
}

void TestQtPrompter::escape()
{
    QFETCH(PromptButtons, buttons);
    QFETCH(PromptAnswer, answer);
    QtPrompter prompter;
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(prompter.show(
                 { QStringLiteral("?"), {}, PromptIcon::Question, buttons, PromptAnswer::Yes }),
        answer);
}

void TestQtPrompter::shownModal()
{
    // The box is modal, and Enter takes the default button.
    QtPrompter prompter;
    QString seenText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenText = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    const PromptAnswer a = prompter.ask(QStringLiteral("Are you sure you want to delete A.CMD?"),
        PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::No);
    QCOMPARE(seenText, QStringLiteral("Are you sure you want to delete A.CMD?"));
    QCOMPARE(a, PromptAnswer::No);
}

QTEST_MAIN(TestQtPrompter)
#include "tst_qtprompter.moc"
