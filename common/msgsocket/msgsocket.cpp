#include "common/msgsocket/msgsocket.h"

#include "common/msgsocket/sockregistry.h"

#include <cstring>

using namespace qxplat;

namespace {

const long kConnectEvents = kFdConnect | kFdClose;         // 0x30
const long kStreamEvents = kFdRead | kFdWrite | kFdClose;  // 0x23
const long kListenEvents = kFdAccept | kFdClose;           // 0x28
const unsigned int kReconnectDelayMs = 500;
// Timer ids are socket handles: the reconnect timer uses the handle itself,
// the watchdog the handle with this bit set (no handle value has it).
const size_t kMaxReadPerEvent = 256 * 1024;
const uintptr_t kWatchdogBit = static_cast<uintptr_t>(1) << 30;

}  // namespace

CMsgSocket::CMsgSocket(unsigned int recvCapacity, unsigned int sendCapacity)
    : m_RecvBuf(recvCapacity),
      m_nState(0),
      m_SendBuf(sendCapacity),
      m_bSendClosed(false),
      m_nPort(0),
      m_nAttempts(0),
      m_bClosedBySend(false),
      m_nRefs(1),
      m_bDeletePending(false)
{
}

CMsgSocket::~CMsgSocket()
{
    // The registry must never keep a destroyed object.
    CloseSocket(false);
}

bool CMsgSocket::Listen(unsigned short port)
{
    // A handle still open would stay registered to this object after it is gone.
    CloseSocket(false);
    SetHandle(SockCreateTcp());
    if (m_hSocket == kInvalidSock)
        return false;
    OnSocketCreated();
    m_Addr = TSockAddrV4();  // any local address
    m_Addr.portHostOrder = port;
    if (!SockBind(m_hSocket, m_Addr) ||
        !SockAsyncSelect(m_hSocket, GetSockWnd(), WM_SOCKET_EVENT, kListenEvents) ||
        !SockListen(m_hSocket, 5)) {
        CloseSocket(false);
        return false;
    }
    SockRegistry()[m_hSocket] = this;
    return true;
}

bool CMsgSocket::Close()
{
    if (m_hSocket != kInvalidSock)
        CloseSocket(true);
    return true;
}

bool CMsgSocket::Shutdown()
{
    if (m_hSocket == kInvalidSock)
        return true;
    m_nState = 2;
    SockAsyncSelect(m_hSocket, GetSockWnd(), 0, 0);
    CloseSocket(true);
    return true;
}

bool CMsgSocket::IsConnected()
{
    CAutoLock lock(&m_SendLock);
    return m_hSocket != kInvalidSock && m_nState == 1 && !m_bSendClosed;
}

bool CMsgSocket::IsSendClosed()
{
    CAutoLock lock(&m_SendLock);
    return m_bSendClosed;
}

unsigned int CMsgSocket::GetSendQueued()
{
    CAutoLock lock(&m_SendLock);
    return m_SendBuf.Length();
}

unsigned int CMsgSocket::SendRoom()
{
    CAutoLock lock(&m_SendLock);
    return m_SendBuf.FreeSize();
}

void CMsgSocket::SetHandle(SockHandle h)
{
    CAutoLock lock(&m_SendLock);
    m_hSocket = h;
}

bool CMsgSocket::Connect(const char* addr, unsigned short port)
{
    TSockAddrV4 sa;
    sa.addrNetOrder = InetAddr(addr ? addr : "");
    sa.portHostOrder = port;
    if (sa.addrNetOrder == 0xFFFFFFFFu)
        return false;
    // An owner retrying from OnConnect(false) still holds the failed handle:
    // close it as the reconnect timer would, or it stays open and registered.
    CloseSocket(false);
    SetHandle(SockCreateTcp());
    if (m_hSocket == kInvalidSock)
        return false;
    // A new attempt is neither connected nor failed until it reports.
    m_nState = 0;
    OnSocketCreated();
    if (!SockAsyncSelect(m_hSocket, GetSockWnd(), WM_SOCKET_EVENT, kConnectEvents)) {
        CloseSocket(false);
        return false;
    }
    SockRegistry()[m_hSocket] = this;
    SockConnect(m_hSocket, sa);
    return true;
}

bool CMsgSocket::ConnectEx(const char* addr, unsigned short port, int attempts)
{
    m_nAttempts = attempts;
    m_strAddr = addr ? addr : "";
    m_nPort = port;
    return Connect(m_strAddr.c_str(), m_nPort);
}

void CMsgSocket::CloseSocket(bool notify)
{
    if (m_hSocket == kInvalidSock)
        return;
    SockHandle h = m_hSocket;
    SockRegistry().erase(h);
    // A pending reconnect must not fire for a handle value that may be reused.
    if (GetSockWnd()) {
        KillWndTimer(GetSockWnd(), h);
        KillWndTimer(GetSockWnd(), WatchdogId(h));
    }
    bool closedBySend;
    {
        // A sending thread never sees the handle closed under it, nor its
        // number reused by another socket.
        CAutoLock lock(&m_SendLock);
        SockClose(h);
        m_hSocket = kInvalidSock;
        m_SendBuf.Reset();
        closedBySend = m_bSendClosed;
        m_bSendClosed = false;
    }
    m_RecvBuf.Reset();
    if (notify) {
        // The owner may let go of the object inside OnClose, which may also
        // throw: the object lives until the call has left.
        struct TKeepAlive {
            CMsgSocket* p;
            ~TKeepAlive()
            {
                p->m_bClosedBySend = false;
                p->LeaveCall();
            }
        };
        EnterCall();
        TKeepAlive keep{this};
        m_bClosedBySend = closedBySend;
        OnClose();
    }
}

void CMsgSocket::Send(const char* data, unsigned int len)
{
    bool onSocketThread;
    {
        CAutoLock lock(&m_SendLock);
        if (m_bSendClosed)
            return;  // ended by an earlier Send; the handle is not closed yet
        if (!data && m_SendBuf.Length() == 0)
            return;
        // Nothing waits before it and it would fit: the network takes what it
        // can straight from the caller, and only the rest is copied.
        if (data && len && len <= m_SendBuf.Capacity() && m_SendBuf.Length() == 0 &&
            m_hSocket != kInvalidSock) {
            const int n = SockSend(m_hSocket, data, static_cast<int>(len));
            if (n > 0) {
                data += n;
                len -= static_cast<unsigned int>(n);
                if (len == 0)
                    return;
            }
        }
        if (!data || m_SendBuf.Append(data, len)) {
            if (m_hSocket != kInvalidSock)
                Flush();
            return;  // with no handle it stays queued for the next connection
        }
        if (m_hSocket == kInvalidSock)
            return;  // nothing to close: the message is lost
        onSocketThread = IsSockWndThread();
        if (!onSocketThread) {
            // Only the window's thread closes handles: here the connection
            // ends at once and nothing more leaves, but the handle stays.
            m_bSendClosed = true;
            m_SendBuf.Reset();
            SockShutdown(m_hSocket);
        }
    }
    if (onSocketThread) {
        CloseSocket(true);
        return;
    }
    OnSendClosed();
    // The message holds a reference: the object outlives its own release
    // until the window's thread has closed the handle.
    EnterCall();
    if (!PostWndMessage(GetSockWnd(), WM_SOCKET_SENDCLOSED, reinterpret_cast<uintptr_t>(this), 0))
        LeaveCall();
}

void CMsgSocket::Flush()
{
    while (m_SendBuf.Length() > 0) {
        int n = SockSend(m_hSocket, m_SendBuf.Data(), static_cast<int>(m_SendBuf.Length()));
        if (n < 1)
            break;  // the rest leaves with the next write notification
        m_SendBuf.Consume(static_cast<unsigned int>(n));
    }
}

void CMsgSocket::OnSendClosedEvent()
{
    bool pending;
    {
        CAutoLock lock(&m_SendLock);
        pending = m_bSendClosed;
    }
    // The handle may have been closed meanwhile (the peer's close, a
    // release), and even reopened: then this connection is gone already.
    if (!pending)
        return;
    m_nState = 2;
    CloseSocket(true);
}

void CMsgSocket::OnConnectEvent(bool success)
{
    m_nState = success ? 1 : 2;
    if (success) {
        SockAsyncSelect(m_hSocket, GetSockWnd(), WM_SOCKET_EVENT, kStreamEvents);
        OnConnect(true);
        return;
    }
    if (--m_nAttempts > 0)
        SetWndTimer(GetSockWnd(), m_hSocket, kReconnectDelayMs);
    else
        OnConnect(false);
}

void CMsgSocket::OnReconnectTimer()
{
    KillWndTimer(GetSockWnd(), m_hSocket);
    CloseSocket(false);
    // A reconnect that cannot even start is a failed attempt the owner must hear of.
    if (!Connect(m_strAddr.c_str(), m_nPort))
        OnConnect(false);
}

void CMsgSocket::OnReadEvent()
{
    // Reads until the socket is empty (a read shorter than asked says so),
    // not one buffer per notification, but at most kMaxReadPerEvent bytes so
    // one busy connection cannot hold the others up. Stops as soon as the
    // owner closed or released the socket from inside OnRecv.
    const SockHandle h = m_hSocket;
    size_t total = 0;
    while (total < kMaxReadPerEvent && m_hSocket == h && m_nState != 2 && !IsDeletePending()) {
        const size_t want = m_RecvBuf.FreeSize();
        if (want == 0)
            return;
        int n = SockRecv(m_hSocket, m_RecvBuf.FreePtr(), static_cast<int>(want));
        if (n < 0)
            return;
        if (n == 0) {
            Shutdown();
            return;
        }
        m_RecvBuf.Commit(static_cast<unsigned int>(n));
        unsigned int consumed = 0;
        try {
            consumed = OnRecv(m_RecvBuf.Data(), m_RecvBuf.Length());
        } catch (...) {
            consumed = 0;
        }
        m_RecvBuf.Consume(consumed);
        total += static_cast<size_t>(n);
        if (static_cast<size_t>(n) < want)
            return;
    }
}

void CMsgSocket::ReadRemaining()
{
    const SockHandle h = m_hSocket;
    while (m_hSocket == h && m_nState == 1 && !IsDeletePending()) {
        const size_t want = m_RecvBuf.FreeSize();
        if (want == 0)
            return;
        int n = SockRecv(m_hSocket, m_RecvBuf.FreePtr(), static_cast<int>(want));
        if (n <= 0)
            return;
        m_RecvBuf.Commit(static_cast<unsigned int>(n));
        unsigned int consumed = 0;
        try {
            consumed = OnRecv(m_RecvBuf.Data(), m_RecvBuf.Length());
        } catch (...) {
            consumed = 0;
        }
        m_RecvBuf.Consume(consumed);
    }
}

void CMsgSocket::OnAcceptEvent()
{
    TSockAddrV4 peer;
    SockHandle h = SockAccept(m_hSocket, &peer);
    if (h == kInvalidSock) {
        CloseSocket(true);
        return;
    }
    CMsgSocket* s =
        OnAcceptSocket(InetNtoa(peer.addrNetOrder).c_str(), SwapToNet16(peer.portHostOrder));
    if (!s) {
        SockClose(h);
        return;
    }
    s->m_nState = 1;
    s->SetHandle(h);
    s->m_Addr = peer;
    SockAsyncSelect(h, GetSockWnd(), WM_SOCKET_EVENT, kStreamEvents);
    SockRegistry()[h] = s;
    OnAccepted(s);
}

uintptr_t CMsgSocket::WatchdogId(SockHandle h) { return static_cast<uintptr_t>(h) | kWatchdogBit; }

void CMsgSocket::SetWatchdog(unsigned int ms)
{
    if (m_hSocket != kInvalidSock && GetSockWnd())
        SetWndTimer(GetSockWnd(), WatchdogId(m_hSocket), ms);
}

void CMsgSocket::KillWatchdog()
{
    if (m_hSocket != kInvalidSock && GetSockWnd())
        KillWndTimer(GetSockWnd(), WatchdogId(m_hSocket));
}

bool CMsgSocket::HandleSocketEvent(unsigned int msg, uintptr_t wParam, intptr_t lParam)
{
    if (msg == WM_SOCKET_SENDCLOSED) {
        CMsgSocket* s = reinterpret_cast<CMsgSocket*>(wParam);
        try {
            s->OnSendClosedEvent();
        } catch (...) {
        }
        s->LeaveCall();  // the reference the message held
        return true;
    }
    if (msg != WM_SOCKET_EVENT && msg != kWmTimer)
        return false;
    bool watchdog = msg == kWmTimer && (wParam & kWatchdogBit) != 0;
    SockHandle h = static_cast<SockHandle>(watchdog ? wParam & ~kWatchdogBit : wParam);
    auto it = SockRegistry().find(h);
    if (it == SockRegistry().end())
        return false;
    // The object may be released by its owner from inside a notification,
    // and a notification may throw: neither may skip the matching LeaveCall.
    CMsgSocket* s = it->second;
    struct CCallScope {
        explicit CCallScope(CMsgSocket* p) : m_pSocket(p) { m_pSocket->EnterCall(); }
        ~CCallScope() { m_pSocket->LeaveCall(); }
        CMsgSocket* m_pSocket;
    } scope(s);
    try {
        if (watchdog) {
            KillWndTimer(GetSockWnd(), wParam);
            s->OnWatchdog();
            return true;
        }
        return s->DispatchEvent(msg, lParam);
    } catch (...) {
        return true;  // nothing unwinds through the window procedure
    }
}

bool CMsgSocket::DispatchEvent(unsigned int msg, intptr_t lParam)
{
    if (msg == kWmTimer) {
        OnReconnectTimer();
        return true;
    }
    unsigned int event = static_cast<unsigned int>(lParam) & 0xFFFF;
    unsigned int error = (static_cast<unsigned int>(lParam) >> 16) & 0xFFFF;
    if (error != 0 && m_nState != 1) {
        OnConnectEvent(false);
        return false;
    }
    switch (event) {
    case kFdRead: OnReadEvent(); break;
    // The flush is the base's own: an owner's Send (the gate connection's,
    // say) takes no empty call, and the queued bytes would wait for ever.
    case kFdWrite:
        CMsgSocket::Send(nullptr, 0);
        if (m_nState == 1 && !IsDeletePending())
            OnSendRoom();
        break;
    case kFdAccept: OnAcceptEvent(); break;
    case kFdConnect: OnConnectEvent(true); break;
    case kFdClose: {
        // Windows may report the close while the peer's last bytes still
        // wait to be read: they are the owner's before the close is.
        const SockHandle h = m_hSocket;
        ReadRemaining();
        if (m_hSocket == h && !IsDeletePending()) {
            m_nState = 2;
            CloseSocket(true);
        }
        break;
    }
    default: break;
    }
    return true;
}
