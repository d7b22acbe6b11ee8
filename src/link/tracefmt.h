#pragma once

#include <QByteArray>
#include <QString>

// Bytes as readable text: printable characters as they are, CR, LF and TAB as
// \r \n \t, a backslash doubled, every other byte as \xHH.
QString escapeBytes(const QByteArray& bytes);
