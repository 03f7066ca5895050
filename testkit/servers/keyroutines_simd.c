/* The reference gate server's key routine built as a mainstream compiler
 * builds 32-bit code today: with SSE2 and its loops vectorised. Like the
 * routines of keyroutines.c it runs wherever the reply put it, so every
 * value a vector loop uses comes from the block or the parameter: a vector
 * constant would land in a data section the reply does not carry. */
#include "keyroutines.h"

void KeyRoutineVectorMix(uint8_t* block, uint8_t param)
{
    uint8_t t[16];
    uint8_t k = (uint8_t)(param * 13u + 1u);
    for (int i = 0; i < 16; ++i) {
        t[i] = (uint8_t)(block[i] ^ k);
    }
    for (int i = 0; i < 16; ++i) {
        uint8_t hi = t[i] > block[i] ? t[i] : block[i];
        uint8_t lo = t[i] > block[i] ? block[i] : t[i];
        block[i] = (uint8_t)(hi - lo + param);
    }
    uint32_t w[4];
    for (int i = 0; i < 4; ++i) {
        w[i] = (uint32_t)block[4 * i] | ((uint32_t)block[4 * i + 1] << 8) |
               ((uint32_t)block[4 * i + 2] << 16) | ((uint32_t)block[4 * i + 3] << 24);
    }
    for (int i = 0; i < 4; ++i) {
        w[i] ^= w[i] << 7;
        w[i] += w[3 - i] >> 3;
    }
    for (int i = 0; i < 4; ++i) {
        block[4 * i] = (uint8_t)w[i];
        block[4 * i + 1] = (uint8_t)(w[i] >> 8);
        block[4 * i + 2] = (uint8_t)(w[i] >> 16);
        block[4 * i + 3] = (uint8_t)(w[i] >> 24);
    }
}
