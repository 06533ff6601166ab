#pragma once

// What the fuzz targets share: a check that stops the run with a readable reason (libFuzzer then
// saves the input), and a program folder made once per process.

#include "support/TempFolder.h"

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s at %s:%d\n", #condition, __FILE__, __LINE__);   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// One temporary program folder for the whole run: making a folder per input would cost more than
// the input itself. Removed when the process ends normally.
inline const TempFolder &ProgramFolder()
{
    static const TempFolder folder;
    return folder;
}
