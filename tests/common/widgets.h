#pragma once

// Controls found by objectName, and clicked, as the operator would.

#include <QAbstractButton>
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
