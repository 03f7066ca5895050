#pragma once
// RC4 (ARCFOUR). The state after key scheduling depends only on the key, so
// it is computed once and every message starts from a copy of it.

#include <cstddef>
#include <cstdint>

struct TRc4State {
    uint8_t s[256];
};

// Standard key scheduling, i and j starting at 0; len > 0.
void Rc4Schedule(const uint8_t* key, size_t len, TRc4State* st);

// XORs the keystream of a fresh copy of init over data, from its first byte.
void Rc4Xor(const TRc4State& init, uint8_t* data, size_t len);
