#include "common/msgsocket/sockbuffer.h"

#include <cstring>

CSockBuffer::CSockBuffer(unsigned int capacity)
    : m_nUsed(0), m_nCapacity(capacity), m_pData(capacity ? new char[capacity] : nullptr)
{
}

CSockBuffer::~CSockBuffer() { delete[] m_pData; }

bool CSockBuffer::Commit(unsigned int n)
{
    if (n > m_nCapacity - m_nUsed)
        return false;
    m_nUsed += n;
    return true;
}

bool CSockBuffer::Append(const char* p, unsigned int n)
{
    if (n > m_nCapacity - m_nUsed)
        return false;
    if (n)
        memcpy(m_pData + m_nUsed, p, n);
    m_nUsed += n;
    return true;
}

void CSockBuffer::Consume(unsigned int n)
{
    if (n >= m_nUsed) {
        m_nUsed = 0;
    } else if (n > 0) {
        m_nUsed -= n;
        memmove(m_pData, m_pData + n, m_nUsed);
    } else if (m_nUsed >= m_nCapacity) {
        m_nUsed = 0;
    }
}
