#pragma once

// Simulator options from a command line as zaziruv-sim takes it. A line the parser
// refuses ends the test program: it is a fault of the test, not of the simulator.

#include "sim/simoptions.h"

#include <QtGlobal>

inline SimOptions simOptions(const QStringList& args)
{
    QString error;
    const auto o = parseSimOptions(args, &error);
    if (!o)
        qFatal("bad simulator options in test: %s", qPrintable(error));
    return *o;
}

inline SimOptions simOptions(const QString& args)
{
    return simOptions(args.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}
