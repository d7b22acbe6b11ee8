#include "jsonoutput.h"

#include "clicontext.h"

#include <QJsonDocument>
#include <cstdio>

bool takeJson(QStringList& args)
{
    return takeFlag(args, QStringLiteral("--json"));
}

void printJson(const QJsonObject& object)
{
    std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}
