#pragma once
// Counts heap allocations made by the calling thread while counting is on:
// malloc and its kin are replaced in the benchmark program and forward to
// glibc, so operator new inside the loaded engine library is seen too.
// Other threads (the reference servers' own) are never counted.

#include <cstdint>

struct TAllocCount {
    uint64_t calls = 0;  // malloc, calloc and realloc calls
    int64_t bytes = 0;   // bytes allocated minus bytes freed, by usable size
};

class CAllocCounter {
public:
    CAllocCounter();  // starts counting on this thread
    ~CAllocCounter();
    TAllocCount Count() const;

private:
    CAllocCounter(const CAllocCounter&) = delete;
    CAllocCounter& operator=(const CAllocCounter&) = delete;
};
