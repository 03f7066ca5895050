#pragma once
// Encodes a payload by appending to a string: little-endian scalars and
// counted values. A counted value above 255 elements throws CBufferError
// with TXT_LENGTH_TOO_LONG before any of its bytes are written.

#include "common/serialization/basictypes.h"
#include "common/serialization/buffererror.h"
#include "common/bytes/byteorder.h"
#include "common/texts/texts.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

class CBufferWriter {
public:
    // Clears the destination; it is not owned.
    explicit CBufferWriter(std::string* dst);

    void WriteBytes(const void* src, uint32_t n);

    CBufferWriter& operator<<(uint8_t value);
    CBufferWriter& operator<<(uint16_t value);
    CBufferWriter& operator<<(uint32_t value);
    CBufferWriter& operator<<(int32_t value);
    // Counted values: TVecChar, integer vectors, TBigString, record vectors.
    template <typename T>
    CBufferWriter& operator<<(const std::vector<T>& items);
    // More than 255 pieces of 255 bytes throws TXT_LENGTH_TOO_LONG.
    CBufferWriter& operator<<(const TBigStringRef& text);

private:
    std::string* m_pDst;
};

template <typename T>
CBufferWriter& CBufferWriter::operator<<(const std::vector<T>& items)
{
    static_assert(!std::is_same<T, bool>::value, "no boolean encoding");
    if (items.size() > kMaxCount)
        throw CBufferError(TXT_LENGTH_TOO_LONG);
    const uint32_t count = static_cast<uint32_t>(items.size());
    *this << static_cast<uint8_t>(count);
    if constexpr (std::is_integral<T>::value) {
        if (count == 0)
            return *this;
        if constexpr (sizeof(T) == 1 || kHostIsLittleEndian) {
            WriteBytes(items.data(), count * static_cast<uint32_t>(sizeof(T)));
        } else {
            unsigned char raw[kMaxCount * sizeof(T)];
            for (uint32_t i = 0; i < count; ++i) StoreLE<T>(raw + i * sizeof(T), items[i]);
            WriteBytes(raw, count * static_cast<uint32_t>(sizeof(T)));
        }
    } else {
        for (const T& item : items) *this << item;
    }
    return *this;
}
