#include "platform/blocksock.h"
#include "platform/posix/sysaddr.h"
#include "platform/time.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace qxplat {

namespace {

int Fd(SockHandle s) { return static_cast<int>(s); }

// Milliseconds left of timeoutMs since start; -1 means no limit.
int Remaining(uint32_t start, int timeoutMs)
{
    if (timeoutMs < 0)
        return -1;
    uint32_t elapsed = TickCountMs() - start;
    return elapsed >= static_cast<uint32_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(elapsed);
}

// 1 when fd is ready for events, 0 when the time ran out, -1 on error.
int WaitReady(int fd, short events, uint32_t start, int timeoutMs)
{
    for (;;) {
        pollfd p = {fd, events, 0};
        int n = poll(&p, 1, Remaining(start, timeoutMs));
        if (n > 0)
            return (p.revents & POLLNVAL) ? -1 : 1;
        if (n == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

}  // namespace

SockHandle UdpOpen(unsigned short port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kInvalidSock;
    TSockAddrV4 local;
    local.portHostOrder = port;
    sockaddr_in any = ToSysAddr(local);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        close(fd);
        return kInvalidSock;
    }
    return static_cast<SockHandle>(fd);
}

int UdpSendTo(SockHandle s, const char* data, int len, const TSockAddrV4& to)
{
    if (len < 0)
        return kSockError;
    sockaddr_in sa = ToSysAddr(to);
    ssize_t n;
    do {
        n = sendto(Fd(s), data, static_cast<size_t>(len), MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? kSockError : static_cast<int>(n);
}

int UdpRecvFrom(SockHandle s, char* buf, int len, TSockAddrV4* from, int timeoutMs)
{
    if (len <= 0)
        return kSockError;
    uint32_t start = TickCountMs();
    for (;;) {
        int ready = WaitReady(Fd(s), POLLIN, start, timeoutMs);
        if (ready <= 0)
            return ready == 0 ? kSockTimedOut : kSockError;
        sockaddr_in sa;
        memset(&sa, 0, sizeof sa);
        socklen_t salen = sizeof sa;
        // Without MSG_TRUNC a longer datagram is cut to len, as on Windows.
        ssize_t n = recvfrom(Fd(s), buf, static_cast<size_t>(len), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&sa), &salen);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return kSockError;
        }
        // A socket shut down by BlockSockClose on another thread reads 0 with
        // no sender; Windows fails such a call.
        if (sa.sin_family != AF_INET)
            return kSockError;
        if (from)
            *from = FromSysAddr(sa);
        return static_cast<int>(n);
    }
}

SockHandle TcpConnect(const TSockAddrV4& to, int timeoutMs, bool* notCreated)
{
    if (notCreated)
        *notCreated = false;
    uint32_t start = TickCountMs();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) {
        if (notCreated)
            *notCreated = true;
        return kInvalidSock;
    }
    sockaddr_in sa = ToSysAddr(to);
    int err = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        err = errno;
        if (err == EINPROGRESS) {
            int ready = WaitReady(fd, POLLOUT, start, timeoutMs);
            socklen_t len = sizeof err;
            if (ready <= 0)
                err = ready == 0 ? ETIMEDOUT : errno;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
        }
    }
    int flags = fcntl(fd, F_GETFL);
    if (err != 0 || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return kInvalidSock;
    }
    return static_cast<SockHandle>(fd);
}

int TcpSendAll(SockHandle s, const char* data, int len, int timeoutMs)
{
    if (len < 0)
        return kSockError;
    uint32_t start = TickCountMs();
    int sent = 0;
    while (sent < len) {
        int ready = WaitReady(Fd(s), POLLOUT, start, timeoutMs);
        if (ready <= 0)
            return ready == 0 ? kSockTimedOut : kSockError;
        // Non-blocking per call, so one large send cannot outlast the time-out;
        // MSG_NOSIGNAL: a closed peer gives an error, not SIGPIPE.
        ssize_t n =
            send(Fd(s), data + sent, static_cast<size_t>(len - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return kSockError;
        }
        sent += static_cast<int>(n);
    }
    return len;
}

int TcpRecv(SockHandle s, char* buf, int len, int timeoutMs)
{
    if (len <= 0)
        return kSockError;
    uint32_t start = TickCountMs();
    for (;;) {
        int ready = WaitReady(Fd(s), POLLIN, start, timeoutMs);
        if (ready <= 0)
            return ready == 0 ? kSockTimedOut : kSockError;
        ssize_t n = recv(Fd(s), buf, static_cast<size_t>(len), MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return kSockError;
        }
        return static_cast<int>(n);
    }
}

void BlockSockClose(SockHandle s)
{
    // Wakes a call blocked on s in another thread, as closesocket does on
    // Windows; close alone leaves it waiting.
    shutdown(Fd(s), SHUT_RDWR);
    SockClose(s);
}

bool ResolveIPv4(const char* host, uint32_t* addrNetOrder)
{
    if (!host || !addrNetOrder)
        return false;
    uint32_t dotted = InetAddr(host);
    if (dotted != 0xFFFFFFFFu) {
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
