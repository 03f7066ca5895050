#pragma once
// Decodes a payload: little-endian scalars and counted values. Throws
// CBufferError when the bytes run short. Never owns the bytes it reads.

#include "common/bytes/byteorder.h"
#include "common/serialization/basictypes.h"
#include "common/serialization/buffererror.h"

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

class CBufferReader {
public:
    // An empty reader: every read fails.
    CBufferReader() : m_pCur(nullptr), m_pEnd(nullptr) {}
    CBufferReader(const char* data, uint32_t len);

    // True while bytes remain; otherwise the reader empties itself for good.
    bool IsValid();
    bool HasBytes(uint32_t n);
    // Throws TXT_OUT_OF_BUFFER, leaving the position unchanged, when fewer
    // than n bytes remain.
    void ReadBytes(void* dst, uint32_t n);

    // Scalars throw TXT_OBJECT_NOT_VALID when they do not fit.
    CBufferReader& operator>>(uint8_t& value);
    CBufferReader& operator>>(uint16_t& value);
    CBufferReader& operator>>(uint32_t& value);
    CBufferReader& operator>>(int32_t& value);
    // Counted values: TVecChar, integer vectors, TBigString, record vectors.
    template <typename T>
    CBufferReader& operator>>(std::vector<T>& items);
    CBufferReader& operator>>(TBigStringJoined& text);
    CBufferReader& operator>>(TBigStringAppended& text);

    const char* GetCur() const { return m_pCur; }
    const char* GetEnd() const { return m_pEnd; }

private:
    void ReadScalar(unsigned char* bytes, uint32_t width);

    const char* m_pCur;
    const char* m_pEnd;
};

template <typename T>
CBufferReader& CBufferReader::operator>>(std::vector<T>& items)
{
    static_assert(!std::is_same<T, bool>::value, "no boolean encoding");
    uint8_t count = 0;
    *this >> count;
    if constexpr (std::is_integral<T>::value) {
        const uint32_t bytes = count * static_cast<uint32_t>(sizeof(T));
        // Checked before resizing so a bogus count costs no allocation.
        if (count && !HasBytes(bytes))
            throw CBufferError(TXT_OUT_OF_BUFFER);
        if constexpr (sizeof(T) == 1) {
            // Straight from the buffer: no zero fill before the copy.
            items.assign(reinterpret_cast<const T*>(m_pCur),
                         reinterpret_cast<const T*>(m_pCur) + count);
            m_pCur += count;
            return *this;
        }
        items.resize(count);
        if (count == 0)
            return *this;
        if constexpr (kHostIsLittleEndian) {
            ReadBytes(items.data(), bytes);
        } else {
            unsigned char raw[kMaxCount * sizeof(T)];
            ReadBytes(raw, bytes);
            for (uint32_t i = 0; i < count; ++i) items[i] = LoadLE<T>(raw + i * sizeof(T));
        }
    } else {
        // Elements are added as they are read, so storage follows the bytes
        // actually present rather than the count.
        items.clear();
        // Every element takes at least its count byte: a count the bytes
        // cannot hold reserves nothing.
        if (HasBytes(count))
            items.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            items.emplace_back();
            *this >> items.back();
        }
    }
    return *this;
}
