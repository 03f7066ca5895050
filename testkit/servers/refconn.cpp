#include "refconn.h"

#include "platform/sockaddr.h"
#include "reflog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {

std::atomic<unsigned> g_nConnIds{0};

}  // namespace

CRefConn::CRefConn(const char* server, unsigned int sendCapacity) : CMsgSocket(16384, sendCapacity)
{
    m_strWho = std::string(server) + " #" + std::to_string(++g_nConnIds);
}

void CRefConn::SetPeer(const char* addr, unsigned short port)
{
    Log("accepted from %s:%u", addr, port);
}

void CRefConn::OnClose()
{
    Log(m_bDropped ? "closed" : "closed by the client");
    DeleteLater();
}

unsigned int CRefConn::OnRecv(const char* data, unsigned int len)
{
    if (!m_bDropped) {
        m_strIn.append(data, len);
        m_bInInput = true;
        OnInput();
        m_bInInput = false;
        FlushOut();
    }
    return len;
}

void CRefConn::Out(const char* data, size_t len)
{
    // Nothing waits before it: straight to the socket, without a copy here.
    if (!m_bInInput && m_strOut.empty()) {
        if (!m_bDropped && len)
            CMsgSocket::Send(data, static_cast<unsigned int>(len));
        return;
    }
    m_strOut.append(data, len);
    if (!m_bInInput)
        FlushOut();
}

size_t CRefConn::Room()
{
    size_t room = SendRoom();
    return room > m_strOut.size() ? room - m_strOut.size() : 0;
}

void CRefConn::FlushOut()
{
    std::string out;
    out.swap(m_strOut);
    if (!m_bDropped && !out.empty())
        CMsgSocket::Send(out.data(), static_cast<unsigned int>(out.size()));
}

void CRefConn::Log(const char* fmt, ...)
{
    if (!RefLogShown())
        return;
    char text[400];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    RefLog(m_strWho.c_str(), "%s", text);
}

void CRefConn::Fault(const char* what)
{
    CountRefFault();
    Log("fault on purpose: %s", what);
}

void CRefConn::Drop(const char* why)
{
    if (m_bDropped)
        return;
    Log("closing: %s", why);
    FlushOut();  // what was answered before goes out first
    m_bDropped = true;
    m_strIn.clear();
    Shutdown();
}

CRefListener::CRefListener(const char* server, TMake make)
    : CMsgSocket(0, 0), m_pServer(server), m_Make(std::move(make))
{
}

bool CRefListener::Start(unsigned short port)
{
    if (!Listen(port))
        return false;
    m_nPort = BoundPort(GetHandle());
    RefLog(m_pServer, "listening on TCP port %u", m_nPort);
    return m_nPort != 0;
}

CMsgSocket* CRefListener::OnAcceptSocket(const char* peerAddr, unsigned short peerPortNet)
{
    CRefConn* conn = m_Make();
    if (!conn)
        return nullptr;
    conn->SetPeer(peerAddr, qxplat::SwapFromNet16(peerPortNet));
    ++m_nAccepted;
    if (m_nFaultEvery > 0 && m_nFaultKinds > 0 && m_nAccepted % m_nFaultEvery == 0)
        conn->SetFault(1 + (m_nAccepted / m_nFaultEvery) % m_nFaultKinds);
    return conn;
}

unsigned short BoundPort(qxplat::SockHandle h)
{
    qxplat::TSockAddrV4 a;
    return qxplat::SockLocalAddr(h, &a) ? a.portHostOrder : 0;
}
