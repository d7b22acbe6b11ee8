#pragma once

// Whole-file reads and writes for test fixtures and for checking what the program
// left on disk.

#include <QByteArray>
#include <QFile>
#include <QString>

// The file's bytes; `missing` when it cannot be opened. Tests that compare a file
// with an expected text that may be empty pass "<missing>" so that a file that is
// not there at all never passes for an empty one.
inline QByteArray readFile(const QString& path, const QByteArray& missing = {})
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return missing;
    return f.readAll();
}

inline QByteArray readFileOrMissing(const QString& path)
{
    return readFile(path, QByteArrayLiteral("<missing>"));
}

// Replaces the file with `bytes`; false when it could not be opened or not every
// byte was written.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// For set-up code that cannot report a failed check (helpers returning a value):
// a fixture that cannot be written ends the test program.
inline void writeFixture(const QString& path, const QByteArray& bytes)
{
    if (!writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
}
