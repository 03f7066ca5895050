#include "common/protocols/gatehandshake.h"

void ScrambleGate(char* bytes, size_t n)
{
    for (size_t k = 0; k < n; ++k) {
        uint32_t i = static_cast<uint32_t>(k);
        bytes[k] = static_cast<char>(bytes[k] ^ static_cast<char>((i + 1) * (i - 2) + i * i * i));
    }
}
