#include "common/serialization/bufferwriter.h"

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
