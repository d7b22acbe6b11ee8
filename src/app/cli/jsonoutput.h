#pragma once

#include <QJsonObject>
#include <QStringList>

// --json: a command's result as one JSON object on one line of stdout, for scripts;
// its messages stay on stderr.

// Takes --json out of args.
bool takeJson(QStringList& args);
void printJson(const QJsonObject& object);
