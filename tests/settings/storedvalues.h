#pragma once

#include "../common/testfiles.h"

#include <QJsonDocument>
#include <QJsonObject>

// The "values" object of a settings store file as the program left it; empty when the
// file is missing or not a store.
inline QJsonObject storedValues(const QString& path)
{
    return QJsonDocument::fromJson(readFile(path)).object().value("values").toObject();
}
