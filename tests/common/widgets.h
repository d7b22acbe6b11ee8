#pragma once

// Controls found by objectName, clicked as the operator would, and their captions.

#include <QAbstractButton>
#include <QGroupBox>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

// A missing control ends the test program: the window under test is incomplete.
template <typename T = QWidget> T* child(const QObject* parent, const QString& name)
{
    T* w = parent->findChild<T*>(name);
    if (!w)
        qFatal("no control %s", qPrintable(name));
    return w;
}

inline void click(const QObject* parent, const QString& name)
{
    QTest::mouseClick(child<QAbstractButton>(parent, name), Qt::LeftButton);
}

// The captions and tooltips of the controls named in `entries`, each written as
// "name=caption?tooltip" (the caption is a group box's title, otherwise the text), for
// the test to compare with `entries`. Without "=" the caption is left out; without "?"
// the control has no tooltip.
inline QStringList captionsOf(const QWidget* parent, const QStringList& entries)
{
    QStringList out;
    for (const QString& e : entries) {
        const QString name = e.section(QRegularExpression("[=?]"), 0, 0);
        const QWidget* w = child(parent, name);
        QString found = name;
        if (e.mid(name.size()).startsWith('='))
            found += '='
                + w->property(qobject_cast<const QGroupBox*>(w) ? "title" : "text").toString();
        if (!w->toolTip().isEmpty())
            found += '?' + w->toolTip();
        out << found;
    }
    return out;
}
