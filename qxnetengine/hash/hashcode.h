#pragma once

#include <cstdint>

// SHA-1 of len bytes of data followed by the 8 salt bytes "mq_flute".
// *digestLen is the capacity of digest on entry and 20 on return. Returns 0
// with the 20-byte digest written, or -1 with nothing written to digest: the
// buffer is too small or missing, or data is missing while len is not 0.
int32_t ComputeHashCode(const void* data, uint32_t len, uint8_t* digest, uint32_t* digestLen);
