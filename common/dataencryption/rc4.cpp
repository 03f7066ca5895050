#include "common/dataencryption/rc4.h"

#include <cstring>

namespace {

// One RC4 step with S[i] at si; returns the keystream byte (entries are
// always below 256). j is kept unmasked so its update is a single add on the
// critical path.
inline uint32_t Step(uint32_t* s, uint32_t* si, uint32_t& j)
{
    const uint32_t x = *si;
    j += x;
    const uint32_t jj = j & 0xFF;
    const uint32_t y = s[jj];
    *si = y;
    s[jj] = x;
    return s[(x + y) & 0xFF];
}

#if defined(__x86_64__) || defined(__i386__)
// Four steps with S[i] at si[0..3]; j lives in the low byte of jr (its other
// bits stay zero), so the byte add wraps j for free and jr indexes directly.
// The four keystream bytes come back first byte lowest. Same steps as Step,
// in fewer instructions than the compiler finds.
inline uint32_t Steps4(uint32_t* s, uint32_t* si, uintptr_t& jr)
{
    uintptr_t x, y;
    uint32_t ks;
    asm(".irp k,0,1,2,3\n\t"
        "movl 4*\\k(%[si]), %k[x]\n\t"
        "addb %b[x], %b[j]\n\t"
        "movl (%[s],%[j],4), %k[y]\n\t"
        "movl %k[x], (%[s],%[j],4)\n\t"
        "movl %k[y], 4*\\k(%[si])\n\t"
        "addb %b[x], %b[y]\n\t"
        "movb (%[s],%[y],4), %b[ks]\n\t"
        "rorl $8, %[ks]\n\t"
        ".endr"
        : [ks] "=&q"(ks), [x] "=&q"(x), [y] "=&q"(y), [j] "+q"(jr)
        : [s] "r"(s), [si] "r"(si)
        : "memory", "cc");
    return ks;
}
#define QX_RC4_STEPS4 1
#endif

// data[0..7] ^= the eight keystream bytes in ks, first byte lowest.
inline void Xor8(uint8_t* data, uint64_t ks)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    memcpy(&v, data, 8);
    v ^= ks;
    memcpy(data, &v, 8);
#else
    for (int k = 0; k < 8; ++k) data[k] ^= static_cast<uint8_t>(ks >> (8 * k));
#endif
}

}  // namespace

void Rc4Schedule(const uint8_t* key, size_t len, TRc4State* st)
{
    for (uint32_t i = 0; i < 256; ++i) st->s[i] = i;
    uint32_t j = 0;
    for (size_t i = 0; i < 256; ++i) {
        const uint32_t x = st->s[i];
        j = (j + x + key[i % len]) & 0xFF;
        st->s[i] = st->s[j];
        st->s[j] = x;
    }
}

CRc4Stream::CRc4Stream(const TRc4State& start) : m_nCount(0), m_nJ(0)
{
    memcpy(&m_State, &start, sizeof(m_State));
}

void CRc4Stream::Xor(uint8_t* data, size_t len)
{
    uint32_t* s = m_State.s;
    uint32_t j = m_nJ;
    uint32_t count = m_nCount;
    size_t n = 0;
    // Single steps until the next eight i values are 8k+1 .. 8k+8.
    for (; n < len && (count & 7) != 0; ++n) {
        count = (count + 1) & 0xFF;
        data[n] ^= static_cast<uint8_t>(Step(s, s + count, j));
    }
    for (; n + 8 <= len; n += 8) {
        uint64_t ks = 0;
        if (count != 248) {
            // i runs through count+1 .. count+8 without wrapping: fixed offsets.
            uint32_t* si = s + count + 1;
#ifdef QX_RC4_STEPS4
            uintptr_t jr = j & 0xFF;
            ks = Steps4(s, si, jr);
            ks |= static_cast<uint64_t>(Steps4(s, si + 4, jr)) << 32;
            j = static_cast<uint32_t>(jr);
#else
            for (int k = 0; k < 8; ++k) ks |= static_cast<uint64_t>(Step(s, si + k, j)) << (8 * k);
#endif
        } else {
            for (int k = 0; k < 8; ++k)
                ks |= static_cast<uint64_t>(Step(s, s + ((count + 1 + k) & 0xFF), j)) << (8 * k);
        }
        count = (count + 8) & 0xFF;
        Xor8(data + n, ks);
    }
    for (; n < len; ++n) {
        count = (count + 1) & 0xFF;
        data[n] ^= static_cast<uint8_t>(Step(s, s + count, j));
    }
    m_nJ = j;
    m_nCount = count;
}

void Rc4Xor(const TRc4State& init, uint8_t* data, size_t len) { CRc4Stream(init).Xor(data, len); }
