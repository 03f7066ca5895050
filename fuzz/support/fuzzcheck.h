#pragma once
// A broken expectation inside a harness: reported and turned into a crash,
// which libFuzzer keeps as a finding like any sanitizer report.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                       \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)
