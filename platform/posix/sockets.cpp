#include "platform/sockets.h"
#include "platform/posix/loop.h"
#include "platform/posix/sysaddr.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace qxplat {

namespace posixloop {

std::unordered_map<int, Watch>& Watches()
{
    static auto* watches = new std::unordered_map<int, Watch>;  // outlives static destructors
    return *watches;
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

Watch* FindWatch(int fd)
{
    auto it = Watches().find(fd);
    return it == Watches().end() ? nullptr : &it->second;
}

uint64_t Tag(int fd, uint64_t gen)
{
    return (gen & 0xFFFFFFFFu) << 32 | static_cast<uint32_t>(fd);
}

// The epoll events that would make an armed event of the socket.
uint32_t Wanted(const Watch& w)
{
    if (w.connecting)
        return w.connectErr ? 0u : static_cast<uint32_t>(EPOLLOUT);
    uint32_t ev = 0;
    if (w.connected) {
        if ((w.events & kFdRead) && w.readArmed)
            ev |= EPOLLIN | EPOLLRDHUP;
        if ((w.events & kFdWrite) && w.writeArmed)
            ev |= EPOLLOUT;
    } else if ((w.events & kFdAccept) && w.acceptArmed) {
        ev |= EPOLLIN;
    }
    return ev;
}

// Registers exactly mask in the socket's loop (0: out of the set, which is
// the only way to silence hang-ups and errors, reported for every member).
void Register(int fd, Watch& w, uint32_t mask)
{
    if (!w.loop || mask == w.interest)
        return;
    if (mask == 0) {
        epoll_ctl(w.loop->epfd, EPOLL_CTL_DEL, fd, nullptr);
        w.interest = 0;
        return;
    }
    epoll_event ev{};
    ev.events = mask;
    ev.data.u64 = Tag(fd, w.gen);
    if (epoll_ctl(w.loop->epfd, w.interest ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) == 0)
        w.interest = mask;
}

// Adds what is armed now to the registration; drops nothing.
void Arm(int fd, Watch& w)
{
    uint32_t want = Wanted(w);
    if (want & ~w.interest)
        Register(fd, w, w.interest | want);
}

void Leave(int fd, Watch& w)
{
    Register(fd, w, 0);
    w.loop.reset();
}

// Turns the socket's readiness re into the events it arms; re is 0 for a
// connect() that failed at once.
void Collect(int fd, Watch& w, uint32_t re, std::vector<SockEvent>& out)
{
    const size_t before = out.size();
    auto emit = [&](long event, int err) {
        if (w.events & event)
            out.push_back(SockEvent{fd, w.gen, w.wnd, w.msg, event, MakeLParam(event, err)});
    };
    if (w.connecting) {
        int err = w.connectErr;
        if (!err) {
            if (!(re & (EPOLLOUT | EPOLLERR | EPOLLHUP)))
                return;
            socklen_t len = sizeof err;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
        }
        w.connecting = false;
        w.connectErr = 0;
        w.connected = err == 0;
        // A connected socket may read and write at once, as after connect() on Windows.
        w.readArmed = w.closeArmed = w.writeArmed = w.connected;
        emit(kFdConnect, err);
    } else if (w.connected) {
        if ((re & (EPOLLIN | EPOLLHUP | EPOLLERR)) && w.readArmed) {
            // Data with no end of stream in sight needs no look; otherwise
            // peek to tell data from the peer's close: data always comes first.
            char c;
            const bool dataOnly =
                (re & EPOLLIN) && !(re & (EPOLLRDHUP | EPOLLHUP | EPOLLERR));
            ssize_t n = dataOnly ? 1 : recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
            if (n > 0) {
                if (w.events & kFdRead) {
                    w.readArmed = false;
                    emit(kFdRead, 0);
                }
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                int err = n == 0 ? 0 : errno;
                w.readArmed = false;
                if (w.closeArmed) {
                    w.closeArmed = false;
                    emit(kFdClose, err);
                }
            }
        }
        if ((re & (EPOLLOUT | EPOLLERR | EPOLLHUP)) && w.writeArmed && (w.events & kFdWrite)) {
            w.writeArmed = false;
            emit(kFdWrite, 0);
        }
    } else if ((re & EPOLLIN) && w.acceptArmed) {
        w.acceptArmed = false;
        emit(kFdAccept, 0);
    }
    // Readiness nobody can use now leaves the set until it is armed again;
    // otherwise the registration stays, as the event is usually re-armed
    // (by recv, send or accept) before the socket is ready again.
    if (out.size() == before)
        Register(fd, w, Wanted(w));
    else
        Arm(fd, w);
}

}  // namespace

void CollectSockEvents(const epoll_event& ready, std::vector<SockEvent>& out)
{
    int fd = static_cast<int>(static_cast<uint32_t>(ready.data.u64));
    Watch* w = FindWatch(fd);
    // A descriptor closed and reused since the wait carries another generation.
    if (w && Tag(fd, w->gen) == ready.data.u64)
        Collect(fd, *w, ready.events, out);
}

void CollectImmediate(Loop& loop, std::vector<SockEvent>& out)
{
    for (int fd : loop.immediate) {
        Watch* w = FindWatch(fd);
        if (w && w->loop.get() == &loop && w->connecting && w->connectErr)
            Collect(fd, *w, 0, out);
    }
    loop.immediate.clear();
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
        auto it = Watches().find(Fd(s));
        if (it != Watches().end()) {
            Leave(it->first, it->second);
            Watches().erase(it);
        }
    }
    close(Fd(s));
}

void SockShutdown(SockHandle s) { shutdown(Fd(s), SHUT_RDWR); }

bool SockSetAbortive(SockHandle s)
{
    linger l;
    l.l_onoff = 1;
    l.l_linger = 0;
    return setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0;
}

bool SockSetReuseAddr(SockHandle s)
{
    int on = 1;
    return setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

void SockCloseAbortive(SockHandle s)
{
    SockSetAbortive(s);
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
        auto it = Watches().find(fd);
        if (it != Watches().end()) {
            Leave(fd, it->second);
            Watches().erase(it);
        }
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
    if (w.loop != target->loop) {
        Leave(fd, w);
        w.loop = target->loop;
    }
    w.wnd = target->id;
    w.msg = msg;
    w.events = events;
    // Selecting again re-enables every event whose condition holds now.
    w.readArmed = w.closeArmed = w.acceptArmed = true;
    w.writeArmed = w.connected;
    Arm(fd, w);
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
        if (err && w->loop) {
            // Reported from the loop, as Windows reports it: never inside this call.
            w->loop->immediate.push_back(fd);
            Wake(*w->loop);
        }
        Arm(fd, *w);
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
    if (Watch* w = FindWatch(Fd(s))) {
        w->acceptArmed = true;
        Arm(Fd(s), *w);
    }
    return fd < 0 ? kInvalidSock : static_cast<SockHandle>(fd);
}

int SockRecv(SockHandle s, char* buf, int len)
{
    ssize_t n = recv(Fd(s), buf, static_cast<size_t>(len), MSG_DONTWAIT);
    std::lock_guard<std::mutex> lock(Mutex());
    if (Watch* w = FindWatch(Fd(s))) {
        w->readArmed = true;
        Arm(Fd(s), *w);
    }
    return n < 0 ? -1 : static_cast<int>(n);
}

int SockSend(SockHandle s, const char* buf, int len)
{
    ssize_t n = send(Fd(s), buf, static_cast<size_t>(len), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        std::lock_guard<std::mutex> lock(Mutex());
        // From another thread too: a changed registration reaches a loop
        // already waiting in epoll_wait.
        if (Watch* w = FindWatch(Fd(s))) {
            w->writeArmed = true;
            Arm(Fd(s), *w);
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

bool SockSetNoDelay(SockHandle s)
{
    int on = 1;
    return setsockopt(Fd(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
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
