#include "qxnetengine/fakesender/pkgbuffer.h"

#include "common/bytes/byteorder.h"

#include <cstring>
#include <new>

CPkgBuffer::~CPkgBuffer()
{
    if (m_pData != m_Inline)
        delete[] m_pData;
}

bool CPkgBuffer::Reserve(uint32_t size)
{
    if (size <= m_nCapacity)
        return true;
    char* grown = new (std::nothrow) char[size];
    if (!grown)
        return false;
    if (m_nLength)
        memcpy(grown, m_pData, m_nLength);
    if (m_pData != m_Inline)
        delete[] m_pData;
    m_pData = grown;
    m_nCapacity = size;
    return true;
}

bool CPkgBuffer::Append(const void* bytes, uint32_t n)
{
    if (n > UINT32_MAX - m_nLength)
        return false;
    if (!Reserve(m_nLength + n))
        return false;
    if (n)
        memcpy(m_pData + m_nLength, bytes, n);
    m_nLength += n;
    return true;
}

bool BuildPkg(CPkgBuffer& buffer, const char* body, uint32_t len)
{
    if (len > UINT32_MAX - 4)
        return false;
    buffer.Reset();
    if (!buffer.Reserve(len + 4))
        return false;
    char prefix[4];
    WriteU32LE(prefix, len);
    return buffer.Append(prefix, 4) && buffer.Append(body, len);
}
