#include "platform/platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>

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

}  // namespace

void StartSockets() { static CWinsockStartup startup; }

SockHandle SockCreateTcp()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s == INVALID_SOCKET ? kInvalidSock : static_cast<SockHandle>(s);
}

void SockClose(SockHandle s) { closesocket(static_cast<SOCKET>(s)); }

bool SockAsyncSelect(SockHandle s, HiddenWnd* wnd, unsigned int msg, long events)
{
    return WSAAsyncSelect(static_cast<SOCKET>(s), reinterpret_cast<HWND>(wnd), msg, events) == 0;
}

bool SockBind(SockHandle s, const sockaddr_in& addr)
{
    return bind(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

bool SockListen(SockHandle s, int backlog) { return listen(static_cast<SOCKET>(s), backlog) == 0; }

void SockConnect(SockHandle s, const sockaddr_in& addr)
{
    connect(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
}

SockHandle SockAccept(SockHandle s, sockaddr_in* addr)
{
    int len = sizeof *addr;
    SOCKET a = accept(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(addr), &len);
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

bool SockLocalAddr(SockHandle s, sockaddr_in* addr)
{
    int len = sizeof *addr;
    return getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(addr), &len) == 0;
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
