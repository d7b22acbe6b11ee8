#include "commands.h"

int runSettings(CliContext&, QStringList&)
{
    return 1;
}
