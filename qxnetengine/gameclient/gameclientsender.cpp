#include "qxnetengine/gameclient/gameclientsender.h"

#include "common/msgsocket/msgsocket.h"

CGameClientSender::CGameClientSender() : m_nId(0), m_pSocket(nullptr), m_bBuilding(false) {}

CGameClientSender::~CGameClientSender() {}

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
    CPkgBufferLease lease(m_Buffer, m_bBuilding);
    CPkgBufferBase& frame = lease.Get();
    frame.Reset();
    if (!frame.Reserve(contLen + 4) || !frame.AppendU32LE(contLen) || !frame.AppendU32LE(m_nId) ||
        !frame.AppendU32LE(len) || !frame.Append(data, len))
        return false;
    m_pSocket->Send(frame.GetData(), frame.GetLength());
    return true;
}
