#pragma once
// Integers in a fixed byte order, read and written byte by byte so the code
// is right on any host and never reads unaligned: little-endian on the wire,
// big-endian inside AES and SHA-1.

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
const bool kHostIsLittleEndian = false;
#else
const bool kHostIsLittleEndian = true;
#endif

template <typename T>
inline void StoreLE(void* out, T value)
{
    typedef typename std::make_unsigned<T>::type U;
    unsigned char* b = static_cast<unsigned char*>(out);
    U u = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
}

template <typename T>
inline T LoadLE(const void* in)
{
    typedef typename std::make_unsigned<T>::type U;
    const unsigned char* b = static_cast<const unsigned char*>(in);
    U u = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        u = static_cast<U>(u | (static_cast<U>(b[i]) << (8 * i)));
    return static_cast<T>(u);
}

template <typename T>
inline void StoreBE(void* out, T value)
{
    typedef typename std::make_unsigned<T>::type U;
    unsigned char* b = static_cast<unsigned char*>(out);
    U u = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        b[sizeof(T) - 1 - i] = static_cast<unsigned char>(u >> (8 * i));
}

template <typename T>
inline T LoadBE(const void* in)
{
    typedef typename std::make_unsigned<T>::type U;
    const unsigned char* b = static_cast<const unsigned char*>(in);
    U u = 0;
    for (size_t i = 0; i < sizeof(T); ++i) u = static_cast<U>((u << 8) | b[i]);
    return static_cast<T>(u);
}

inline uint16_t ReadU16LE(const void* p) { return LoadLE<uint16_t>(p); }
inline uint32_t ReadU32LE(const void* p) { return LoadLE<uint32_t>(p); }
inline void WriteU16LE(void* p, uint16_t v) { StoreLE(p, v); }
inline void WriteU32LE(void* p, uint32_t v) { StoreLE(p, v); }
inline uint32_t ReadU32BE(const void* p) { return LoadBE<uint32_t>(p); }
inline void WriteU32BE(void* p, uint32_t v) { StoreBE(p, v); }
