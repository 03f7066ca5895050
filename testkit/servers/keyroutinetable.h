#pragma once
// The gate server's key routines, each with its native copy (what the server
// computes) and its 32-bit x86 code (what the reply carries).

#include <cstddef>
#include <cstdint>

struct TKeyRoutine {
    const char* name;
    void (*native)(uint8_t* block, uint8_t param);
    const unsigned char* code;
    size_t len;
};

extern const TKeyRoutine kKeyRoutines[];
extern const size_t kKeyRoutineCount;
