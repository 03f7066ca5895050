#pragma once
// RC4 (ARCFOUR). The state after key scheduling depends only on the key, so
// it is computed once and every message starts from a copy of it.

#include <cstddef>
#include <cstdint>

// The 256-entry permutation; held in 32-bit entries, which index and add
// faster than bytes on the processors we build for.
struct TRc4State {
    uint32_t s[256];
};

// Standard key scheduling, i and j starting at 0; len > 0.
void Rc4Schedule(const uint8_t* key, size_t len, TRc4State* st);

// One keystream, XORed over data in as many pieces as the caller likes.
class CRc4Stream {
public:
    explicit CRc4Stream(const TRc4State& start);
    void Xor(uint8_t* data, size_t len);

private:
    TRc4State m_State;
    uint32_t m_nCount;  // bytes done so far, mod 256 (i is m_nCount + 1)
    uint32_t m_nJ;      // j, never masked: only its low 8 bits are used
};

// XORs the keystream of a fresh copy of init over data, from its first byte.
void Rc4Xor(const TRc4State& init, uint8_t* data, size_t len);
