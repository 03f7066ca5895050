#pragma once
// The pseudo-random generator of the Windows C runtime's rand(), written out
// so every target draws the same numbers from the same seed: key halves and
// request fillers must not depend on the platform's own rand().

#include <cstdint>

class CRandGen {
public:
    // Largest value Next returns, like RAND_MAX of that runtime.
    static const int kMax = 0x7FFF;

    // The runtime starts every thread as if seeded with 1.
    explicit CRandGen(uint32_t seed = 1) : m_nState(seed) {}

    void Seed(uint32_t seed) { m_nState = seed; }

    // 0 .. kMax: bits 16 to 30 of the advanced state.
    int Next()
    {
        m_nState = m_nState * 214013u + 2531011u;
        return static_cast<int>((m_nState >> 16) & 0x7FFF);
    }

    // The calling thread's own generator, as srand/rand keep one per thread.
    static CRandGen& ForThread();

private:
    uint32_t m_nState;
};
