#include "common/msgdisp/pkgsender.h"

#include "common/msgsocket/msgsocket.h"

CPkgSender::CPkgSender() : m_pSocket(nullptr), m_bBuilding(false), m_pFilter(nullptr) {}

CPkgSender::~CPkgSender() {}

void CPkgSender::SetSocket(CMsgSocket* socket)
{
    // Waits for a Send in progress on another thread: once this returns, no
    // thread writes into the previous socket through this sender.
    CAutoLock lock(&m_Lock);
    m_pSocket = socket;
}

IMsgSender* CPkgSender::SetFilter(IMsgSender* filter)
{
    CAutoLock lock(&m_Lock);
    IMsgSender* old = m_pFilter;
    m_pFilter = filter;
    return old;
}

bool CPkgSender::Send(const char* data, unsigned int len)
{
    CAutoLock lock(&m_Lock);
    if (m_pFilter && m_pFilter->Send(data, len))
        return true;
    // A connection an overflow ended on another thread takes nothing more,
    // though its owner hears of the close only on the window's next turn.
    if (!m_pSocket || m_pSocket->IsSendClosed())
        return false;
    CPkgBufferLease lease(m_Buffer, m_bBuilding);
    CPkgBufferBase& pkg = lease.Get();
    if (!BuildPkg(pkg, data, len))
        return false;
    // A send that overflows closes the socket inside this call, and its
    // owner may let go of it there: it stays alive until the call returns.
    CMsgSocket* socket = m_pSocket;
    socket->EnterCall();
    socket->Send(pkg.GetData(), pkg.GetLength());
    socket->LeaveCall();
    return true;
}
