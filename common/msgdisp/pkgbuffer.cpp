#include "common/msgdisp/pkgbuffer.h"

#include "common/bytes/byteorder.h"

#include <cstring>
#include <new>

CPkgBufferBase::~CPkgBufferBase()
{
    if (m_pData != m_pInline)
        delete[] m_pData;
}

bool CPkgBufferBase::Reserve(uint32_t size)
{
    if (size <= m_nCapacity)
        return true;
    char* grown = new (std::nothrow) char[size];
    if (!grown)
        return false;
    if (m_nLength)
        memcpy(grown, m_pData, m_nLength);
    if (m_pData != m_pInline)
        delete[] m_pData;
    m_pData = grown;
    m_nCapacity = size;
    return true;
}

bool CPkgBufferBase::Append(const void* bytes, uint32_t n)
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

bool CPkgBufferBase::AppendU32LE(uint32_t value)
{
    char bytes[4];
    WriteU32LE(bytes, value);
    return Append(bytes, 4);
}

bool BuildPkg(CPkgBufferBase& buffer, const char* body, uint32_t len)
{
    if (len > UINT32_MAX - 4)
        return false;
    buffer.Reset();
    return buffer.Reserve(len + 4) && buffer.AppendU32LE(len) && buffer.Append(body, len);
}
