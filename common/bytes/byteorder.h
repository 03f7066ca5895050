#pragma once
// Little-endian integers on the wire, read and written byte by byte so the
// code is right on any host byte order and never reads unaligned.

#include <cstdint>

inline uint16_t ReadU16LE(const void* p)
{
    const unsigned char* b = static_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t ReadU32LE(const void* p)
{
    const unsigned char* b = static_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void WriteU16LE(void* p, uint16_t v)
{
    unsigned char* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v);
    b[1] = static_cast<unsigned char>(v >> 8);
}

inline void WriteU32LE(void* p, uint32_t v)
{
    unsigned char* b = static_cast<unsigned char*>(p);
    b[0] = static_cast<unsigned char>(v);
    b[1] = static_cast<unsigned char>(v >> 8);
    b[2] = static_cast<unsigned char>(v >> 16);
    b[3] = static_cast<unsigned char>(v >> 24);
}
