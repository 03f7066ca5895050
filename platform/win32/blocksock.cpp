#include "platform/blocksock.h"
#include "platform/time.h"
#include "platform/win32/sysaddr.h"

#include <mswsock.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace qxplat {

namespace {

SOCKET Sock(SockHandle s) { return static_cast<SOCKET>(s); }

// Milliseconds left of timeoutMs since start; -1 means no limit.
int Remaining(uint32_t start, int timeoutMs)
{
    if (timeoutMs < 0)
        return -1;
    uint32_t elapsed = TickCountMs() - start;
    return elapsed >= static_cast<uint32_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(elapsed);
}

// 1 when s is ready (readable, or writable when forWrite; while connecting a
// failed connect counts as ready), 0 when the time ran out, -1 on error. The
// error set means out-of-band data on a connected socket: only a connect
// watches it.
int WaitReady(SOCKET s, bool forWrite, uint32_t start, int timeoutMs, bool connecting = false)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    int ms = Remaining(start, timeoutMs);
    timeval tv;
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    int n = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr,
                   connecting ? &failed : nullptr, ms < 0 ? nullptr : &tv);
    if (n == SOCKET_ERROR)
        return -1;
    return n > 0 ? 1 : 0;
}

// send() on a blocking socket waits until all of it is buffered, which may
// outlast the time-out; the socket is non-blocking for the call only.
int SendNow(SOCKET s, const char* data, int len, int* err)
{
    u_long on = 1, off = 0;
    ioctlsocket(s, FIONBIO, &on);
    int n = send(s, data, len, 0);
    *err = n == SOCKET_ERROR ? WSAGetLastError() : 0;
    ioctlsocket(s, FIONBIO, &off);
    return n;
}

}  // namespace

SockHandle UdpOpen(unsigned short port)
{
    StartSockets();
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return kInvalidSock;
    // Windows would fail the next receive after a datagram to a closed port;
    // POSIX just waits on, and so should this.
    BOOL reportReset = FALSE;
    DWORD unused = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &unused, nullptr,
             nullptr);
    TSockAddrV4 local;
    local.portHostOrder = port;
    sockaddr_in any = ToSysAddr(local);
    if (bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        closesocket(s);
        return kInvalidSock;
    }
    return static_cast<SockHandle>(s);
}

int UdpSendTo(SockHandle s, const char* data, int len, const TSockAddrV4& to)
{
    if (len < 0)
        return kSockError;
    sockaddr_in sa = ToSysAddr(to);
    int n = sendto(Sock(s), data, len, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? kSockError : n;
}

int UdpRecvFrom(SockHandle s, char* buf, int len, TSockAddrV4* from, int timeoutMs)
{
    if (len <= 0)
        return kSockError;
    uint32_t start = TickCountMs();
    for (;;) {
        int ready = WaitReady(Sock(s), false, start, timeoutMs);
        if (ready <= 0)
            return ready == 0 ? kSockTimedOut : kSockError;
        sockaddr_in sa;
        memset(&sa, 0, sizeof sa);
        int salen = sizeof sa;
        int n = recvfrom(Sock(s), buf, len, 0, reinterpret_cast<sockaddr*>(&sa), &salen);
        if (n == SOCKET_ERROR) {
            int err = WSAGetLastError();
            if (err == WSAECONNRESET)
                continue;  // a port-unreachable report, not a datagram
            // A longer datagram fills buf and is cut; the rest is lost.
            if (err != WSAEMSGSIZE)
                return kSockError;
            n = len;
        }
        if (from)
            *from = FromSysAddr(sa);
        return n;
    }
}

SockHandle TcpConnect(const TSockAddrV4& to, int timeoutMs, bool* notCreated)
{
    if (notCreated)
        *notCreated = false;
    uint32_t start = TickCountMs();
    StartSockets();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        if (notCreated)
            *notCreated = true;
        return kInvalidSock;
    }
    u_long on = 1, off = 0;
    bool ok = ioctlsocket(s, FIONBIO, &on) == 0;
    if (ok) {
        sockaddr_in sa = ToSysAddr(to);
        if (connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
            ok = WSAGetLastError() == WSAEWOULDBLOCK &&
                 WaitReady(s, true, start, timeoutMs, true) > 0;
            if (ok) {
                // A refused connect shows in the failed set; SO_ERROR tells either way.
                int err = 0;
                int len = sizeof err;
                ok =
                    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
                    err == 0;
            }
        }
    }
    if (!ok || ioctlsocket(s, FIONBIO, &off) != 0) {
        closesocket(s);
        return kInvalidSock;
    }
    return static_cast<SockHandle>(s);
}

int TcpSendAll(SockHandle s, const char* data, int len, int timeoutMs)
{
    if (len < 0)
        return kSockError;
    uint32_t start = TickCountMs();
    int sent = 0;
    while (sent < len) {
        int ready = WaitReady(Sock(s), true, start, timeoutMs);
        if (ready <= 0)
            return ready == 0 ? kSockTimedOut : kSockError;
        int err = 0;
        int n = SendNow(Sock(s), data + sent, len - sent, &err);
        if (n == SOCKET_ERROR) {
            if (err == WSAEWOULDBLOCK)
                continue;
            return kSockError;
        }
        sent += n;
    }
    return len;
}

int TcpRecv(SockHandle s, char* buf, int len, int timeoutMs)
{
    if (len <= 0)
        return kSockError;
    int ready = WaitReady(Sock(s), false, TickCountMs(), timeoutMs);
    if (ready <= 0)
        return ready == 0 ? kSockTimedOut : kSockError;
    int n = recv(Sock(s), buf, len, 0);
    return n == SOCKET_ERROR ? kSockError : n;
}

void BlockSockClose(SockHandle s) { SockClose(s); }

bool ResolveIPv4(const char* host, uint32_t* addrNetOrder)
{
    if (!host || !addrNetOrder)
        return false;
    StartSockets();
    uint32_t dotted = InetAddr(host);
    if (dotted != INADDR_NONE) {
        *addrNetOrder = dotted;
        return true;
    }
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || !list)
        return false;
    bool ok = false;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in sa;
            memcpy(&sa, ai->ai_addr, sizeof sa);
            *addrNetOrder = sa.sin_addr.s_addr;
            ok = true;
            break;
        }
    }
    freeaddrinfo(list);
    return ok;
}

}  // namespace qxplat
