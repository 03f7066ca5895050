/* Key routines of the reference gate server. Each rewrites the 16-byte key
 * block in place from the block and the parameter byte. The file is compiled
 * twice: into the server, which so learns the result, and for 32-bit x86,
 * whose bytes travel in the handshake reply and run inside the client. The
 * second copy runs wherever the reply put it, so the routines use no globals,
 * no constant tables and no calls. */
#include "keyroutines.h"

void KeyRoutineXorRotate(uint8_t* block, uint8_t param)
{
    for (int i = 0; i < 16; ++i) {
        uint8_t v = (uint8_t)(block[i] ^ (uint8_t)(param + i * 7));
        block[i] = (uint8_t)((v << 3) | (v >> 5));
    }
}

void KeyRoutineChain(uint8_t* block, uint8_t param)
{
    uint8_t carry = param;
    for (int i = 0; i < 16; ++i) {
        carry = (uint8_t)(block[i] + carry * 31 + 17);
        block[i] = carry;
    }
}

void KeyRoutineFnv(uint8_t* block, uint8_t param)
{
    uint32_t h = 2166136261u ^ param;
    for (int i = 0; i < 16; ++i) {
        h ^= block[i];
        h *= 16777619u;
        block[i] = (uint8_t)(h >> 13);
    }
}

void KeyRoutineSwapHalves(uint8_t* block, uint8_t param)
{
    for (int i = 0; i < 8; ++i) {
        uint8_t a = block[i], b = block[15 - i];
        block[i] = (uint8_t)(b ^ param);
        block[15 - i] = (uint8_t)(a + param);
    }
}
