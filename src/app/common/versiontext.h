#pragma once

// What --version prints, the same for the three programs: name, version (with the
// commit when built from a checkout) and the Qt library in use.

#include "zaziruvversion.h"

#include <QtGlobal>
#include <cstdio>
#include <cstring>

inline void printVersion(const char* program)
{
    const char* describe = ZAZIRUV_GIT_DESCRIBE;
    if (std::strlen(describe) > 0)
        std::printf("%s %s (%s)\n", program, ZAZIRUV_VERSION, describe);
    else
        std::printf("%s %s\n", program, ZAZIRUV_VERSION);
    std::printf("Qt %s\n", qVersion());
}
