#pragma once
// The fuzz targets' assertion: names the broken promise before ending the
// run as a finding (assert would vanish in a release-flags build).

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                                               \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition);                               \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
