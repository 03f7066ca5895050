#include "common/serialization/bufferreader.h"

CBufferReader::CBufferReader(const char* data, uint32_t len) : m_pCur(data), m_pEnd(data + len)
{
    IsValid();
}

bool CBufferReader::IsValid()
{
    if (m_pCur && m_pCur < m_pEnd)
        return true;
    m_pCur = nullptr;
    m_pEnd = nullptr;
    return false;
}

bool CBufferReader::HasBytes(uint32_t n)
{
    return IsValid() && static_cast<size_t>(m_pEnd - m_pCur) >= n;
}

void CBufferReader::ReadBytes(void* dst, uint32_t n)
{
    if (!HasBytes(n))
        throw CBufferError(TXT_OUT_OF_BUFFER);
    if (n) {
        memcpy(dst, m_pCur, n);
        m_pCur += n;
    }
}

void CBufferReader::ReadScalar(unsigned char* bytes, uint32_t width)
{
    try {
        ReadBytes(bytes, width);
    } catch (...) {
        throw CBufferError(TXT_OBJECT_NOT_VALID);
    }
}

CBufferReader& CBufferReader::operator>>(uint8_t& value)
{
    unsigned char b[1];
    ReadScalar(b, 1);
    value = b[0];
    return *this;
}

CBufferReader& CBufferReader::operator>>(uint16_t& value)
{
    unsigned char b[2];
    ReadScalar(b, 2);
    value = LoadLE<uint16_t>(b);
    return *this;
}

CBufferReader& CBufferReader::operator>>(uint32_t& value)
{
    unsigned char b[4];
    ReadScalar(b, 4);
    value = LoadLE<uint32_t>(b);
    return *this;
}

CBufferReader& CBufferReader::operator>>(int32_t& value)
{
    unsigned char b[4];
    ReadScalar(b, 4);
    value = LoadLE<int32_t>(b);
    return *this;
}

CBufferReader& CBufferReader::operator>>(TBigStringJoined& text)
{
    text.bytes.clear();
    TBigStringAppended to{&text.bytes};
    return *this >> to;
}

CBufferReader& CBufferReader::operator>>(TBigStringAppended& text)
{
    std::string& bytes = *text.bytes;
    const size_t before = bytes.size();
    uint8_t count = 0;
    *this >> count;
    // The pieces' reader asks this before reserving: a reader at its end
    // empties itself here in both forms.
    HasBytes(count);
    // A file arrives as tens of thousands of pieces: each is checked and
    // joined here in place, with the errors of reading it field by field.
    const char* cur = m_pCur;
    const char* const end = m_pEnd;
    for (uint32_t i = 0; i < count; ++i) {
        if (!cur || cur >= end) {
            bytes.resize(before);
            m_pCur = m_pEnd = nullptr;
            throw CBufferError(TXT_OBJECT_NOT_VALID);
        }
        const uint8_t n = static_cast<uint8_t>(*cur++);
        if (n && (cur >= end || static_cast<size_t>(end - cur) < n)) {
            bytes.resize(before);
            m_pCur = cur;
            IsValid();
            throw CBufferError(TXT_OUT_OF_BUFFER);
        }
        bytes.append(cur, n);
        cur += n;
    }
    m_pCur = cur;
    return *this;
}
