#pragma once
// A 128-bit XMM register, or a 64-bit MMX register in its low half, and
// access to its lanes. Lanes are numbered from the least significant, as
// in memory: lane i of size s holds bytes i*s .. i*s+s-1.

#include <cstdint>

struct TX86Vec {
    uint64_t q[2];
};

inline uint64_t X86LaneMask(unsigned size) { return size == 8 ? ~0ull : (1ull << (8 * size)) - 1; }

inline uint64_t X86Lane(const TX86Vec& v, unsigned size, unsigned i)
{
    const unsigned bit = i * size * 8;
    return (v.q[bit >> 6] >> (bit & 63)) & X86LaneMask(size);
}

inline void X86SetLane(TX86Vec* v, unsigned size, unsigned i, uint64_t x)
{
    const unsigned bit = i * size * 8;
    const uint64_t mask = X86LaneMask(size) << (bit & 63);
    uint64_t& w = v->q[bit >> 6];
    w = (w & ~mask) | ((x << (bit & 63)) & mask);
}

// The lane's value as a signed number.
inline int64_t X86SignedLane(const TX86Vec& v, unsigned size, unsigned i)
{
    const uint64_t x = X86Lane(v, size, i);
    if (size == 8) {
        return (x >> 63) ? -static_cast<int64_t>(~x) - 1 : static_cast<int64_t>(x);
    }
    const uint64_t sign = 1ull << (8 * size - 1);
    return static_cast<int64_t>(x & (sign - 1)) - static_cast<int64_t>(x & sign);
}

inline TX86Vec X86VecZero()
{
    TX86Vec v = {{0, 0}};
    return v;
}
