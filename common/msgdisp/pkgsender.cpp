#include "common/msgdisp/pkgsender.h"

#include "common/bytes/byteorder.h"
#include "common/msgsocket/msgsocket.h"

#include <cstring>
#include <new>

CPkgSender::CPkgSender()
    : m_pSocket(nullptr), m_pBuffer(m_Inline), m_nCapacity(kInlineSize), m_pFilter(nullptr)
{
}

CPkgSender::~CPkgSender()
{
    if (m_pBuffer != m_Inline)
        delete[] m_pBuffer;
}

void CPkgSender::SetSocket(CMsgSocket* socket) { m_pSocket = socket; }

IMsgSender* CPkgSender::SetFilter(IMsgSender* filter)
{
    IMsgSender* old = m_pFilter;
    m_pFilter = filter;
    return old;
}

bool CPkgSender::Send(const char* data, unsigned int len)
{
    CAutoLock lock(&m_Lock);
    if (m_pFilter && m_pFilter->Send(data, len))
        return true;
    if (!m_pSocket)
        return false;
    // A body whose package size would not fit in 32 bits cannot be framed.
    if (len > 0xFFFFFFFFu - 4)
        return false;
    if (len + 4 > m_nCapacity) {
        char* grown = new (std::nothrow) char[len + 4];
        if (!grown)
            return false;
        if (m_pBuffer != m_Inline)
            delete[] m_pBuffer;
        m_pBuffer = grown;
        m_nCapacity = len + 4;
    }
    WriteU32LE(m_pBuffer, len);
    if (len)
        memcpy(m_pBuffer + 4, data, len);
    m_pSocket->Send(m_pBuffer, len + 4);
    return true;
}
