#pragma once
// Integer vectors go over the wire as one block of raw host bytes when the
// host is little-endian; elsewhere each element is converted byte by byte.

#include <cstddef>
#include <type_traits>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
const bool kHostIsLittleEndian = false;
#else
const bool kHostIsLittleEndian = true;
#endif

template <typename T>
void StoreLE(unsigned char* out, T value)
{
    typedef typename std::make_unsigned<T>::type U;
    U u = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<unsigned char>(u >> (8 * i));
}

template <typename T>
T LoadLE(const unsigned char* in)
{
    typedef typename std::make_unsigned<T>::type U;
    U u = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        u = static_cast<U>(u | (static_cast<U>(in[i]) << (8 * i)));
    return static_cast<T>(u);
}
