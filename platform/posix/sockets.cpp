#include "platform/sockets.h"
#include "platform/posix/loop.h"
#include "platform/posix/sysaddr.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace qxplat {

namespace posixloop {

std::map<int, Watch>& Watches()
{
    static std::map<int, Watch> watches;
    return watches;
}

namespace {

uint64_t g_nextGen = 1;

// Windows Sockets error numbers for the errors a connection reports.
int WsaError(int err)
{
    switch (err) {
    case 0: return 0;
    case ECONNREFUSED: return 10061;
    case ETIMEDOUT: return 10060;
    case ENETUNREACH: return 10051;
    case EHOSTUNREACH: return 10065;
    case ECONNRESET: return 10054;
    case ECONNABORTED: return 10053;
    default: return 10000 + err;
    }
}

intptr_t MakeLParam(long event, int err)
{
    return static_cast<intptr_t>((static_cast<uint32_t>(WsaError(err)) << 16) |
                                 (static_cast<uint32_t>(event) & 0xFFFF));
}

bool OwnedBy(const Watch& w, const Loop& loop)
{
    std::shared_ptr<Wnd> wnd = FindWnd(w.wnd);
    return wnd && wnd->loop.get() == &loop;
}

Watch* FindWatch(int fd)
{
    auto it = Watches().find(fd);
    return it == Watches().end() ? nullptr : &it->second;
}

}  // namespace

void PollSet(const Loop& loop, std::vector<pollfd>& fds, bool& immediate)
{
    for (auto& [fd, w] : Watches()) {
        if (!OwnedBy(w, loop))
            continue;
        short ev = 0;
        if (w.connecting) {
            if (w.connectErr)
                immediate = true;
            else
                ev |= POLLOUT;
        } else if (w.connected) {
            if ((w.events & kFdRead) && w.readArmed)
                ev |= POLLIN | POLLRDHUP;
            if ((w.events & kFdWrite) && w.writeArmed)
                ev |= POLLOUT;
        } else if ((w.events & kFdAccept) && w.acceptArmed) {
            ev |= POLLIN;
        }
        if (ev || (w.connecting && w.connectErr))
            fds.push_back(pollfd{fd, ev, 0});
    }
}

void CollectSockEvents(const std::vector<pollfd>& fds, std::vector<SockEvent>& out)
{
    for (size_t i = 1; i < fds.size(); ++i) {
        int fd = fds[i].fd;
        short re = fds[i].revents;
        Watch* w = FindWatch(fd);
        if (!w)
            continue;
        auto emit = [&](long event, int err) {
            if (w->events & event)
                out.push_back(SockEvent{fd, w->gen, w->wnd, w->msg, event, MakeLParam(event, err)});
        };
        if (w->connecting) {
            int err = w->connectErr;
            if (!err) {
                if (!(re & (POLLOUT | POLLERR | POLLHUP)))
                    continue;
                socklen_t len = sizeof err;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                    err = errno;
            }
            w->connecting = false;
            w->connectErr = 0;
            w->connected = err == 0;
            // A connected socket may read and write at once, as after connect() on Windows.
            w->readArmed = w->closeArmed = w->writeArmed = w->connected;
            emit(kFdConnect, err);
            continue;
        }
        if (w->connected) {
            if ((re & (POLLIN | POLLHUP | POLLERR)) && w->readArmed) {
                // Data with no end of stream in sight needs no look; otherwise
                // peek to tell data from the peer's close: data always comes first.
                char c;
                const bool dataOnly = (re & POLLIN) && !(re & (POLLRDHUP | POLLHUP | POLLERR));
                ssize_t n = dataOnly ? 1 : recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
                if (n > 0) {
                    if (w->events & kFdRead) {
                        w->readArmed = false;
                        emit(kFdRead, 0);
                    }
                } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                    int err = n == 0 ? 0 : errno;
                    w->readArmed = false;
                    if (w->closeArmed) {
                        w->closeArmed = false;
                        emit(kFdClose, err);
                    }
                }
            }
            if ((re & (POLLOUT | POLLERR | POLLHUP)) && w->writeArmed && (w->events & kFdWrite)) {
                w->writeArmed = false;
                emit(kFdWrite, 0);
            }
            continue;
        }
        if ((re & POLLIN) && w->acceptArmed) {
            w->acceptArmed = false;
            emit(kFdAccept, 0);
        }
    }
}

bool SockEventStillWanted(const SockEvent& ev)
{
    Watch* w = FindWatch(ev.fd);
    return w && w->gen == ev.gen && w->wnd == ev.wnd && (w->events & ev.event);
}

}  // namespace posixloop

using namespace posixloop;

namespace {

int Fd(SockHandle s) { return static_cast<int>(s); }

}  // namespace

void StartSockets() {}

SockHandle SockCreateTcp()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? kInvalidSock : static_cast<SockHandle>(fd);
}

void SockClose(SockHandle s)
{
    {
        std::lock_guard<std::mutex> lock(Mutex());
        Watches().erase(Fd(s));
    }
    close(Fd(s));
}

void SockShutdown(SockHandle s) { shutdown(Fd(s), SHUT_RDWR); }

void SockCloseAbortive(SockHandle s)
{
    linger l;
    l.l_onoff = 1;
    l.l_linger = 0;
    setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    SockClose(s);
}

bool SockAsyncSelect(SockHandle s, HiddenWnd* wnd, unsigned int msg, long events)
{
    int fd = Fd(s);
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
        return false;
    std::lock_guard<std::mutex> lock(Mutex());
    if (events == 0) {
        Watches().erase(fd);
        return true;
    }
    std::shared_ptr<Wnd> target = FindWnd(reinterpret_cast<uintptr_t>(wnd));
    if (!target)
        return false;
    auto it = Watches().find(fd);
    if (it == Watches().end()) {
        Watch w;
        w.gen = g_nextGen++;
        sockaddr_storage peer;
        socklen_t len = sizeof peer;
        w.connected = getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
        it = Watches().emplace(fd, w).first;
    }
    Watch& w = it->second;
    w.wnd = target->id;
    w.msg = msg;
    w.events = events;
    // Selecting again re-enables every event whose condition holds now.
    w.readArmed = w.closeArmed = w.acceptArmed = true;
    w.writeArmed = w.connected;
    Wake(*target->loop);
    return true;
}

bool SockBind(SockHandle s, const TSockAddrV4& addr)
{
    sockaddr_in sa = ToSysAddr(addr);
    return bind(Fd(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

bool SockListen(SockHandle s, int backlog) { return listen(Fd(s), backlog) == 0; }

void SockConnect(SockHandle s, const TSockAddrV4& addr)
{
    int fd = Fd(s);
    sockaddr_in sa = ToSysAddr(addr);
    int rc = connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    int err = rc == 0 || errno == EINPROGRESS ? 0 : errno;
    std::lock_guard<std::mutex> lock(Mutex());
    if (Watch* w = FindWatch(fd)) {
        w->connecting = true;
        w->connected = false;
        w->connectErr = err;
    }
}

SockHandle SockAccept(SockHandle s, TSockAddrV4* peer)
{
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    socklen_t len = sizeof sa;
    int fd = accept4(Fd(s), reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    if (peer)
        *peer = FromSysAddr(sa);
    std::lock_guard<std::mutex> lock(Mutex());
    if (Watch* w = FindWatch(Fd(s)))
        w->acceptArmed = true;
    return fd < 0 ? kInvalidSock : static_cast<SockHandle>(fd);
}

int SockRecv(SockHandle s, char* buf, int len)
{
    ssize_t n = recv(Fd(s), buf, static_cast<size_t>(len), MSG_DONTWAIT);
    std::lock_guard<std::mutex> lock(Mutex());
    if (Watch* w = FindWatch(Fd(s)))
        w->readArmed = true;
    return n < 0 ? -1 : static_cast<int>(n);
}

int SockSend(SockHandle s, const char* buf, int len)
{
    ssize_t n = send(Fd(s), buf, static_cast<size_t>(len), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        std::lock_guard<std::mutex> lock(Mutex());
        if (Watch* w = FindWatch(Fd(s))) {
            w->writeArmed = true;
            // A send from another thread: the loop may be waiting in poll()
            // without this socket's POLLOUT, and must look again.
            std::shared_ptr<Wnd> wnd = FindWnd(w->wnd);
            if (wnd && wnd->loop->owner != std::this_thread::get_id())
                Wake(*wnd->loop);
        }
    }
    return n < 0 ? -1 : static_cast<int>(n);
}

bool SockSetBufferSizes(SockHandle s, int sendBytes, int recvBytes)
{
    bool ok = true;
    if (sendBytes > 0)
        ok = setsockopt(Fd(s), SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes) == 0;
    if (recvBytes > 0)
        ok = setsockopt(Fd(s), SOL_SOCKET, SO_RCVBUF, &recvBytes, sizeof recvBytes) == 0 && ok;
    return ok;
}

bool SockLocalAddr(SockHandle s, TSockAddrV4* addr)
{
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (getsockname(Fd(s), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return false;
    *addr = FromSysAddr(sa);
    return true;
}

uint32_t InetAddr(const char* text) { return inet_addr(text); }

std::string InetNtoa(uint32_t addrNetOrder)
{
    in_addr a;
    a.s_addr = addrNetOrder;
    char buf[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, buf, sizeof buf) ? buf : "";
}

}  // namespace qxplat
