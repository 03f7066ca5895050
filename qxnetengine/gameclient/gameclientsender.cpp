#include "qxnetengine/gameclient/gameclientsender.h"

#include "common/bytes/byteorder.h"
#include "common/msgsocket/msgsocket.h"

#include <cstring>
#include <new>

CGameClientSender::CGameClientSender()
    : m_nId(0), m_pSocket(nullptr), m_pBuffer(m_Inline), m_nCapacity(kInlineSize)
{
}

CGameClientSender::~CGameClientSender()
{
    if (m_pBuffer != m_Inline)
        delete[] m_pBuffer;
}

bool CGameClientSender::Send(const char* data, unsigned int len)
{
    // An overflow closes the connection inside this call, and the game may
    // release the client from its OnClose: keep the owner alive until we leave.
    CMsgSocket* socket = m_pSocket;
    if (!socket)
        return false;
    socket->EnterCall();
    bool sent = SendFrame(data, len);
    socket->LeaveCall();
    return sent;
}

bool CGameClientSender::SendFrame(const char* data, unsigned int len)
{
    CAutoLock lock(&m_Lock);
    if (!m_pSocket || !m_pSocket->IsConnected())
        return false;
    // No frame can be larger than 32 bits can count.
    if (len > 0xFFFFFFFFu - 12)
        return false;
    unsigned int contLen = len + 8;
    unsigned int totalLen = contLen + 4;
    if (totalLen > m_nCapacity) {
        char* grown = new (std::nothrow) char[totalLen];
        if (!grown)
            return false;
        if (m_pBuffer != m_Inline)
            delete[] m_pBuffer;
        m_pBuffer = grown;
        m_nCapacity = totalLen;
    }
    WriteU32LE(m_pBuffer, contLen);
    WriteU32LE(m_pBuffer + 4, m_nId);
    WriteU32LE(m_pBuffer + 8, len);
    if (len)
        memcpy(m_pBuffer + 12, data, len);
    m_pSocket->Send(m_pBuffer, totalLen);
    return true;
}
