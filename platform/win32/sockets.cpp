#include "platform/sockets.h"
#include "platform/win32/sysaddr.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/win32/sockfilter.h"

#include <atomic>
#include <map>
#include <mutex>
#include <tuple>

namespace qxplat {

namespace {

struct CWinsockStartup {
    CWinsockStartup()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);  // result ignored: failures surface per call
    }
    ~CWinsockStartup() { WSACleanup(); }
};

// Where each socket's notifications go, so a connect that fails at once (no
// FD_CONNECT would ever come) can be reported the same way.
struct TSelect {
    HWND wnd;
    UINT msg;
    long events;
};
std::mutex g_SelectMutex;
std::map<SOCKET, TSelect> g_Selects;

// Closing does not take back notifications already queued. From a close
// until the marker it posts comes through, the window drops the handle's
// notifications; the last window and message are kept across a cancel.
struct TTarget {
    HWND wnd;
    UINT msg;
};
std::map<SOCKET, TTarget> g_Targets;
typedef std::tuple<HWND, UINT, SOCKET> TClosedKey;
std::map<TClosedKey, int> g_Closed;  // markers still on their way
std::atomic<int> g_nClosed{0};

UINT CloseMarker()
{
    static const UINT marker = RegisterWindowMessageA("QXNetEngine.SocketClosed");
    return marker;
}

void DropClosed(const TClosedKey& key)
{
    auto it = g_Closed.find(key);
    if (it == g_Closed.end())
        return;
    if (--it->second == 0)
        g_Closed.erase(it);
    --g_nClosed;
}

}  // namespace

void StartSockets() { static CWinsockStartup startup; }

SockHandle SockCreateTcp()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s == INVALID_SOCKET ? kInvalidSock : static_cast<SockHandle>(s);
}

void SockClose(SockHandle s)
{
    SOCKET sock = static_cast<SOCKET>(s);
    TTarget target = {};
    bool selected = false;
    {
        std::lock_guard<std::mutex> lock(g_SelectMutex);
        g_Selects.erase(sock);
        auto it = g_Targets.find(sock);
        if (it != g_Targets.end()) {
            target = it->second;
            selected = true;
            g_Targets.erase(it);
            ++g_Closed[TClosedKey(target.wnd, target.msg, sock)];
            ++g_nClosed;
        }
    }
    closesocket(sock);
    // Posted after the close, so it follows every notification of the handle.
    if (selected && !PostMessageA(target.wnd, CloseMarker(), static_cast<WPARAM>(sock),
                                  static_cast<LPARAM>(target.msg))) {
        std::lock_guard<std::mutex> lock(g_SelectMutex);
        DropClosed(TClosedKey(target.wnd, target.msg, sock));
    }
}

void ForgetClosedSockets(HWND wnd)
{
    std::lock_guard<std::mutex> lock(g_SelectMutex);
    for (auto it = g_Closed.begin(); it != g_Closed.end();) {
        if (std::get<0>(it->first) == wnd) {
            g_nClosed -= it->second;
            it = g_Closed.erase(it);
        } else {
            ++it;
        }
    }
}

bool DropStaleSocketMessage(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == CloseMarker()) {
        std::lock_guard<std::mutex> lock(g_SelectMutex);
        DropClosed(TClosedKey(wnd, static_cast<UINT>(lParam), static_cast<SOCKET>(wParam)));
        return true;
    }
    if (g_nClosed.load() == 0)
        return false;
    std::lock_guard<std::mutex> lock(g_SelectMutex);
    return g_Closed.count(TClosedKey(wnd, msg, static_cast<SOCKET>(wParam))) > 0;
}

void SockShutdown(SockHandle s) { shutdown(static_cast<SOCKET>(s), SD_BOTH); }

bool SockSetAbortive(SockHandle s)
{
    linger l;
    l.l_onoff = 1;
    l.l_linger = 0;
    return setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_LINGER,
                      reinterpret_cast<const char*>(&l), sizeof l) == 0;
}

bool SockSetReuseAddr(SockHandle s)
{
    BOOL on = TRUE;
    return setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_REUSEADDR,
                      reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

void SockCloseAbortive(SockHandle s)
{
    SockSetAbortive(s);
    SockClose(s);
}

bool SockAsyncSelect(SockHandle s, HiddenWnd* wnd, unsigned int msg, long events)
{
    SOCKET sock = static_cast<SOCKET>(s);
    if (WSAAsyncSelect(sock, reinterpret_cast<HWND>(wnd), msg, events) != 0)
        return false;
    std::lock_guard<std::mutex> lock(g_SelectMutex);
    if (events) {
        g_Selects[sock] = TSelect{reinterpret_cast<HWND>(wnd), msg, events};
        g_Targets[sock] = TTarget{reinterpret_cast<HWND>(wnd), msg};
    } else {
        g_Selects.erase(sock);
    }
    return true;
}

bool SockBind(SockHandle s, const TSockAddrV4& addr)
{
    sockaddr_in sa = ToSysAddr(addr);
    return bind(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool SockListen(SockHandle s, int backlog) { return listen(static_cast<SOCKET>(s), backlog) == 0; }

void SockConnect(SockHandle s, const TSockAddrV4& addr)
{
    sockaddr_in sa = ToSysAddr(addr);
    SOCKET sock = static_cast<SOCKET>(s);
    if (connect(sock, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0)
        return;
    int err = WSAGetLastError();
    if (err == WSAEWOULDBLOCK)
        return;
    // Failed at once: WSAAsyncSelect will post nothing, so post its FD_CONNECT.
    std::lock_guard<std::mutex> lock(g_SelectMutex);
    auto it = g_Selects.find(sock);
    if (it != g_Selects.end() && (it->second.events & FD_CONNECT))
        PostMessageA(it->second.wnd, it->second.msg, static_cast<WPARAM>(sock),
                     WSAMAKESELECTREPLY(FD_CONNECT, err));
}

SockHandle SockAccept(SockHandle s, TSockAddrV4* peer)
{
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    int len = sizeof sa;
    SOCKET a = accept(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), &len);
    if (peer)
        *peer = FromSysAddr(sa);
    return a == INVALID_SOCKET ? kInvalidSock : static_cast<SockHandle>(a);
}

int SockRecv(SockHandle s, char* buf, int len)
{
    int n = recv(static_cast<SOCKET>(s), buf, len, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

int SockSend(SockHandle s, const char* buf, int len)
{
    int n = send(static_cast<SOCKET>(s), buf, len, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool SockSetBufferSizes(SockHandle s, int sendBytes, int recvBytes)
{
    SOCKET sock = static_cast<SOCKET>(s);
    bool ok = true;
    if (sendBytes > 0)
        ok = setsockopt(sock, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBytes),
                        sizeof sendBytes) == 0;
    if (recvBytes > 0)
        ok = setsockopt(sock, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&recvBytes),
                        sizeof recvBytes) == 0 &&
             ok;
    return ok;
}

bool SockSetNoDelay(SockHandle s)
{
    BOOL on = TRUE;
    return setsockopt(static_cast<SOCKET>(s), IPPROTO_TCP, TCP_NODELAY,
                      reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool SockLocalAddr(SockHandle s, TSockAddrV4* addr)
{
    sockaddr_in sa;
    int len = sizeof sa;
    if (getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return false;
    *addr = FromSysAddr(sa);
    return true;
}

uint32_t InetAddr(const char* text) { return inet_addr(text); }

std::string InetNtoa(uint32_t addrNetOrder)
{
    in_addr a;
    a.s_addr = addrNetOrder;
    const char* t = inet_ntoa(a);
    return t ? t : "";
}

}  // namespace qxplat
