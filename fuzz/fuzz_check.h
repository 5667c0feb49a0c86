#pragma once
// A failed property in a fuzz target: print what broke and abort, which both
// libFuzzer and the corpus replay report as a crash with this input.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                               \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
            std::fprintf(stderr, __VA_ARGS__);                                                   \
            std::fprintf(stderr, "\n");                                                          \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)
