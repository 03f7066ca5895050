#include "common/serialization/bufferwriter.h"

#include <algorithm>

CBufferWriter::CBufferWriter(std::string* dst) : m_pDst(dst) { m_pDst->clear(); }

void CBufferWriter::WriteBytes(const void* src, uint32_t n)
{
    if (n)
        m_pDst->append(static_cast<const char*>(src), n);
}

CBufferWriter& CBufferWriter::operator<<(uint8_t value)
{
    unsigned char b = value;
    WriteBytes(&b, 1);
    return *this;
}

CBufferWriter& CBufferWriter::operator<<(uint16_t value)
{
    unsigned char b[2];
    StoreLE(b, value);
    WriteBytes(b, 2);
    return *this;
}

CBufferWriter& CBufferWriter::operator<<(uint32_t value)
{
    unsigned char b[4];
    StoreLE(b, value);
    WriteBytes(b, 4);
    return *this;
}

CBufferWriter& CBufferWriter::operator<<(int32_t value)
{
    unsigned char b[4];
    StoreLE(b, value);
    WriteBytes(b, 4);
    return *this;
}

CBufferWriter& CBufferWriter::operator<<(const TBigStringRef& text)
{
    const size_t pieces = (text.size + kMaxCount - 1) / kMaxCount;
    if (pieces > kMaxCount)
        throw CBufferError(TXT_LENGTH_TOO_LONG);
    m_pDst->reserve(m_pDst->size() + 1 + pieces + text.size);
    *this << static_cast<uint8_t>(pieces);
    for (size_t at = 0; at < text.size; at += kMaxCount) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kMaxCount, text.size - at));
        *this << static_cast<uint8_t>(n);
        WriteBytes(text.data + at, n);
    }
    return *this;
}
