#pragma once

// One line per data row and per column list in QTest `_data` functions.
// Values pass by value, so a string literal reaches a QString column as QTest expects.

#include <QTest>

template <typename... Types, typename... Names> void addColumns(Names... names)
{
    static_assert(sizeof...(Types) == sizeof...(Names), "one name per column");
    (QTest::addColumn<Types>(names), ...);
}

template <typename... Values> void addRow(const char* name, Values... values)
{
    (QTest::newRow(name) << ... << values);
}
