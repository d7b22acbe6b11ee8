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

using A = PromptAnswer;
using B = QMessageBox;

class TestQtPrompter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void box_data();
    void box();
    void shownModal_data();
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
    QTest::addColumn<PromptAnswer>("escape"); // closed by Escape or the title bar
    QTest::newRow("plain message") << PromptIcon::None << PromptButtons::Ok << A::Ok << QString()
                                   << int(B::NoIcon) << int(B::Ok) << int(B::Ok) << A::Ok;
    QTest::newRow("question, No by default")
        << PromptIcon::Question << PromptButtons::YesNo << A::No << "Registry Corrupted"
        << int(B::Question) << int(B::Yes | B::No) << int(B::No) << A::No;
    QTest::newRow("information, ok/cancel")
        << PromptIcon::Information << PromptButtons::OkCancel << A::Cancel << QString()
        << int(B::Information) << int(B::Ok | B::Cancel) << int(B::Cancel) << A::Cancel;
    QTest::newRow("critical, three buttons")
        << PromptIcon::Critical << PromptButtons::YesNoCancel << A::Cancel << QString()
        << int(B::Critical) << int(B::Yes | B::No | B::Cancel) << int(B::Cancel) << A::Cancel;
    QTest::newRow("warning, default not among the buttons")
        << PromptIcon::Exclamation << PromptButtons::YesNo << A::Ok << QString() << int(B::Warning)
        << int(B::Yes | B::No) << int(B::Yes) << A::No;
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
    QFETCH(PromptAnswer, escape);
    const auto b = QtPrompter::makeBox({ QStringLiteral("Use '*.CMD'\rwhen saving\r\nthe file <b>"),
        title, icon, buttons, defaultAnswer });
    QCOMPARE(int(b->icon()), boxIcon);
    QCOMPARE(int(b->standardButtons()), boxButtons);
    QCOMPARE(int(b->standardButton(b->defaultButton())), boxDefault);
    QCOMPARE(b->windowTitle(), title.isEmpty() ? QStringLiteral("ZAZIRUV") : title);
    QCOMPARE(b->text(), QStringLiteral("Use '*.CMD'\nwhen saving\nthe file <b>"));
    QCOMPARE(b->textFormat(), Qt::PlainText);
    QCOMPARE(QtPrompter::answerOf(*b), escape);
    // Each button gives its own answer.
    const QMap<int, PromptAnswer> answers { { B::Ok, A::Ok }, { B::Cancel, A::Cancel },
        { B::Yes, A::Yes }, { B::No, A::No } };
    b->show();
    for (QAbstractButton* button : b->buttons()) {
        button->click();
        QCOMPARE(QtPrompter::answerOf(*b), answers.value(b->standardButton(button)));
    }
}

// The box is modal: Enter takes the default button, Escape the escape button.
void TestQtPrompter::shownModal_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<PromptAnswer>("answer");
    QTest::newRow("enter") << int(Qt::Key_Return) << PromptAnswer::No;
    QTest::newRow("escape") << int(Qt::Key_Escape) << PromptAnswer::Cancel;
}

void TestQtPrompter::shownModal()
{
    QFETCH(int, key);
    QFETCH(PromptAnswer, answer);
    QtPrompter prompter;
    QString seenText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenText = box->text();
        QTest::keyClick(box, Qt::Key(key));
    });
    const PromptAnswer a = prompter.ask(QStringLiteral("Are you sure you want to delete A.CMD?"),
        PromptButtons::YesNoCancel, PromptIcon::Question, PromptAnswer::No);
    QCOMPARE(seenText, QStringLiteral("Are you sure you want to delete A.CMD?"));
    QCOMPARE(a, answer);
}

QTEST_MAIN(TestQtPrompter)
#include "tst_qtprompter.moc"
