#pragma once
// A property that fails stops the run with a crash report and the input saved.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                        \
    do {                                                                        \
        if (!(cond)) {                                                          \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                       \
        }                                                                       \
    } while (0)
