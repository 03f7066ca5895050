#include "chaosproxy.h"

#include "common/msgsocket/msgsocket.h"
#include "common/randgen/randgen.h"
#include "platform/blocksock.h"
#include "platform/paths.h"
#include "platform/wnd.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <map>
#include <set>

using namespace qxplat;

namespace {

const unsigned int kTickMs = 1;
const unsigned int kBufBytes = 256 * 1024;
const char* const kDirName[2] = {"up", "down"};

// 0 .. 99, or a delay of -range .. +range.
int Percent(CRandGen& r) { return (r.Next() * 100) / (CRandGen::kMax + 1); }
int Spread(CRandGen& r, int range) { return range <= 0 ? 0 : (r.Next() % (2 * range + 1)) - range; }

// The live proxies of this process; the timer's id is the proxy's address.
std::set<CChaosProxy*>& Proxies()
{
    static std::set<CChaosProxy*> proxies;
    return proxies;
}
HiddenWnd* g_pTimerWnd = nullptr;

bool TimerProc(unsigned int msg, uintptr_t wParam, intptr_t)
{
    if (msg != kWmTimer)
        return false;
    CChaosProxy* proxy = reinterpret_cast<CChaosProxy*>(wParam);
    if (Proxies().count(proxy))
        proxy->OnTick();
    return true;
}

uint64_t SteadyUs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Bytes or a reset waiting for their time in one direction.
struct TChunk {
    uint64_t due;
    std::string data;
    bool reset;
};

// One direction's profile, draws and queue. Used by TCP (window thread) and
// UDP (its own thread) alike.
struct TFlow {
    TChaosDirection prof;
    CRandGen rnd;
    uint64_t lastDue = 0;
    double bwFreeMs = 0;
    uint64_t passed = 0;  // bytes let through so far
    bool stalled = false, resetting = false;

    // When bytes that arrive now leave: latency, jitter, then the bandwidth
    // and the order of what went before.
    uint64_t Due(uint64_t now, size_t len, bool keepOrder)
    {
        int64_t delay = prof.latencyMs + Spread(rnd, prof.jitterMs);
        uint64_t due = now + static_cast<uint64_t>(delay < 0 ? 0 : delay);
        if (keepOrder)
            due = std::max(due, lastDue);
        if (prof.bandwidth > 0) {
            double start = std::max(static_cast<double>(due), bwFreeMs);
            bwFreeMs = start + static_cast<double>(len) * 1000.0 / prof.bandwidth;
            due = static_cast<uint64_t>(bwFreeMs);
        }
        lastDue = std::max(lastDue, due);
        return due;
    }
};

}  // namespace

// One side of a proxied connection.
class CChaosConn : public CMsgSocket {
public:
    CChaosConn(CChaosLink* link, int side)
        : CMsgSocket(kBufBytes, kBufBytes), m_pLink(link), m_nSide(side)
    {
    }
    void OnConnect(bool ok) override;
    void OnClose() override;
    unsigned int OnRecv(const char* data, unsigned int len) override;
    using CMsgSocket::SendRoom;

private:
    CChaosLink* m_pLink;
    int m_nSide;  // 0: the client's, 1: the target's
};

class CChaosLink {
public:
    CChaosLink(CChaosProxy* proxy, uint32_t id) : m_pProxy(proxy), m_nId(id)
    {
        const TChaosConfig& c = proxy->Config();
        m_Flow[0].prof = c.profile.up;
        m_Flow[1].prof = c.profile.down;
        m_Flow[0].rnd.Seed(c.seed * 2654435761u + id * 2 + 1);
        m_Flow[1].rnd.Seed(c.seed * 2654435761u + id * 2 + 2);
        m_nStart = proxy->NowMs();
        m_pConn[0] = new CChaosConn(this, 0);
        m_pConn[1] = new CChaosConn(this, 1);
    }
    ~CChaosLink()
    {
        for (CChaosConn* c : m_pConn) {
            c->CloseSocket(false);
            delete c;
        }
    }
    CChaosConn* Client() { return m_pConn[0]; }
    void StartUpstream()
    {
        if (!m_pConn[1]->Connect("127.0.0.1", m_pProxy->Config().tcpTarget))
            Reset("the target could not be reached");
    }

    void OnConnect(int side, bool ok)
    {
        if (side == 1 && !ok)
            Reset("the target refused the connection");
        else
            Pump();
    }
    void OnClose(int side)
    {
        m_bClosed[side] = true;
        Pump();
    }
    // Queues what came from side for the other one, cut and timed as its
    // direction's profile says; returns how many bytes it took. A stalled
    // direction takes none: they stay unread, so the sender's buffers fill
    // as behind a dead link.
    unsigned int OnRecv(int side, const char* data, unsigned int len)
    {
        TFlow& f = m_Flow[side];
        if (f.resetting || m_bDone)
            return len;
        if (f.stalled)
            return 0;
        uint64_t now = m_pProxy->NowMs();
        std::string in(data, len);
        int64_t cut = -1;
        bool reset = false;
        if (f.prof.resetAfterBytes >= 0 &&
            f.passed + len >= static_cast<uint64_t>(f.prof.resetAfterBytes)) {
            cut = f.prof.resetAfterBytes - static_cast<int64_t>(f.passed);
            reset = true;
        } else if (f.prof.stallAfterBytes >= 0 &&
                   f.passed + len > static_cast<uint64_t>(f.prof.stallAfterBytes)) {
            cut = f.prof.stallAfterBytes - static_cast<int64_t>(f.passed);
        }
        if (cut >= 0)
            in.resize(static_cast<size_t>(cut));
        const unsigned int taken = reset ? len : static_cast<unsigned int>(in.size());
        f.passed += in.size();
        (side == 0 ? m_pProxy->MutableCounts().tcpBytesUp
                   : m_pProxy->MutableCounts().tcpBytesDown) += in.size();
        size_t pos = 0;
        bool first = true;
        while (pos < in.size()) {
            size_t n = in.size() - pos;
            if (f.prof.segmentMax > 0)
                n = std::min(n, static_cast<size_t>(1 + f.rnd.Next() % f.prof.segmentMax));
            uint64_t due = f.Due(now, n, true);
            if (!first && f.prof.segmentDelayMs > 0) {
                due = std::max(due, m_Queue[side].back().due + f.prof.segmentDelayMs);
                f.lastDue = std::max(f.lastDue, due);
            }
            m_Queue[side].push_back(TChunk{due, in.substr(pos, n), false});
            pos += n;
            first = false;
        }
        if (reset) {
            f.resetting = true;
            m_Queue[side].push_back(TChunk{f.lastDue, std::string(), true});
        } else if (cut >= 0) {
            Stall(side, "after " + std::to_string(f.passed) + " bytes");
        }
        Pump();
        return taken;
    }

    // Sends what is due, ends what is over; true when the link is finished.
    bool Pump()
    {
        if (m_bDone)
            return true;
        uint64_t now = m_pProxy->NowMs();
        for (int side = 0; side < 2; ++side) {
            TFlow& f = m_Flow[side];
            uint64_t age = now - m_nStart;
            if (f.prof.resetAfterMs >= 0 && age >= static_cast<uint64_t>(f.prof.resetAfterMs)) {
                Reset(std::string(kDirName[side]) + ": after " +
                      std::to_string(f.prof.resetAfterMs) + " ms");
                return true;
            }
            if (f.prof.stallAfterMs >= 0 && age >= static_cast<uint64_t>(f.prof.stallAfterMs) &&
                !f.stalled) {
                Stall(side, "after " + std::to_string(f.prof.stallAfterMs) + " ms");
                m_Queue[side].clear();
            }
        }
        for (int side = 0; side < 2; ++side) {
            CChaosConn* to = m_pConn[1 - side];
            std::deque<TChunk>& q = m_Queue[side];
            while (!q.empty() && q.front().due <= now && to->GetState() == 1) {
                TChunk& c = q.front();
                if (c.reset) {
                    Reset(std::string(kDirName[side]) + ": after " +
                          std::to_string(m_Flow[side].passed) + " bytes");
                    return true;
                }
                unsigned int room = to->SendRoom();
                if (room == 0)
                    break;
                size_t n = std::min(c.data.size(), static_cast<size_t>(room));
                to->Send(c.data.data(), static_cast<unsigned int>(n));
                c.data.erase(0, n);
                if (!c.data.empty())
                    break;
                q.pop_front();
            }
        }
        // A side that closed has its last bytes delivered, then the other one
        // is closed too; behind a stall its close is lost like its bytes.
        for (int side = 0; side < 2; ++side) {
            if (m_bClosed[side] && m_Queue[side].empty() && !m_Flow[side].stalled &&
                !m_bClosed[1 - side] && m_pConn[1 - side]->GetState() != 0 &&
                m_pConn[1 - side]->GetSendQueued() == 0) {
                m_bClosed[1 - side] = true;
                m_pConn[1 - side]->CloseSocket(false);
            }
        }
        if (m_bClosed[0] && m_bClosed[1])
            m_bDone = true;
        return m_bDone;
    }

private:
    void Stall(int side, const std::string& why)
    {
        m_Flow[side].stalled = true;
        m_pProxy->MutableCounts().tcpStalls++;
        m_pProxy->Log("tcp#%u %s: stall %s", m_nId, kDirName[side], why.c_str());
    }
    void Reset(const std::string& why)
    {
        m_pProxy->MutableCounts().tcpResets++;
        m_pProxy->Log("tcp#%u reset: %s", m_nId, why.c_str());
        for (CChaosConn* c : m_pConn) {
            if (c->GetHandle() != kInvalidSock)
                SockSetAbortive(c->GetHandle());
            c->CloseSocket(false);
        }
        m_bClosed[0] = m_bClosed[1] = m_bDone = true;
    }

    CChaosProxy* m_pProxy;
    uint32_t m_nId;
    uint64_t m_nStart;
    CChaosConn* m_pConn[2];
    TFlow m_Flow[2];
    std::deque<TChunk> m_Queue[2];
    bool m_bClosed[2] = {false, false};
    bool m_bDone = false;
};

void CChaosConn::OnConnect(bool ok) { m_pLink->OnConnect(m_nSide, ok); }
void CChaosConn::OnClose() { m_pLink->OnClose(m_nSide); }
unsigned int CChaosConn::OnRecv(const char* data, unsigned int len)
{
    return m_pLink->OnRecv(m_nSide, data, len);
}

class CChaosListener : public CMsgSocket {
public:
    explicit CChaosListener(CChaosProxy* proxy) : CMsgSocket(0, 0), m_pProxy(proxy) {}
    // A refusing profile closes the port and the next one listens on it
    // again, while the links it accepted before still use it: their sockets
    // inherit this from the first listener, and both must have it.
    void OnSocketCreated() override { SockSetReuseAddr(GetHandle()); }
    CMsgSocket* OnAcceptSocket(const char*, unsigned short) override
    {
        m_pLink = m_pProxy->NewLink();
        return m_pLink->Client();
    }
    void OnAccepted(CMsgSocket*) override
    {
        if (m_pLink)
            m_pLink->StartUpstream();
        m_pLink = nullptr;
    }

private:
    CChaosProxy* m_pProxy;
    CChaosLink* m_pLink = nullptr;
};

CChaosProxy::CChaosProxy() = default;

CChaosProxy::~CChaosProxy() { Stop(); }

uint64_t CChaosProxy::NowMs() const { return (SteadyUs() - m_nStartUs) / 1000; }

void CChaosProxy::Log(const char* fmt, ...)
{
    if (!m_Config.log)
        return;
    char line[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    m_Config.log(line);
}

CChaosLink* CChaosProxy::NewLink()
{
    m_Counts.tcpAccepted++;
    m_Links.emplace_back(new CChaosLink(this, ++m_nLinks));
    return m_Links.back().get();
}

bool CChaosProxy::Start(const TChaosConfig& config)
{
    m_Config = config;
    m_nStartUs = SteadyUs();
    InitSockWnd(LibraryModule());
    if (!g_pTimerWnd)
        g_pTimerWnd =
            CreateHiddenWnd(LibraryModule(), "QXCHAOSPROXY_WNDCLASS", "QXChaosProxy", TimerProc);
    if (!g_pTimerWnd)
        return false;
    Proxies().insert(this);
    // Both sides on one number when both are proxied, as a dispatch server
    // takes them: the UDP socket tries the port the system gave the listener.
    bool samePort = config.tcpTarget && config.udpTarget && config.udpPort == 0;
    for (int attempt = 0; attempt < 20 && m_hUdp == kInvalidSock; ++attempt) {
        if (config.tcpTarget) {
            m_pListener.reset(new CChaosListener(this));
            if (!m_pListener->Listen(config.tcpPort))
                return false;
            TSockAddrV4 a;
            if (!SockLocalAddr(m_pListener->GetHandle(), &a))
                return false;
            m_nTcpPort = a.portHostOrder;
        }
        if (!config.udpTarget)
            break;
        m_hUdp = UdpOpen(samePort ? m_nTcpPort : config.udpPort);
        if (m_hUdp == kInvalidSock && (!samePort || config.tcpPort != 0))
            return false;
    }
    if (config.tcpTarget) {
        // A port where nothing listens refuses every connect for real.
        if (config.profile.refuse)
            m_pListener->CloseSocket(false);
        m_bTimer = SetWndTimer(g_pTimerWnd, reinterpret_cast<uintptr_t>(this), kTickMs);
        if (!m_bTimer)
            return false;
    }
    if (config.udpTarget) {
        if (m_hUdp == kInvalidSock)
            return false;
        TSockAddrV4 a;
        if (!SockLocalAddr(m_hUdp, &a))
            return false;
        m_nUdpPort = a.portHostOrder;
        m_pUdpThread = StartThread([this, profile = config.profile] { RunUdp(profile); });
        if (!m_pUdpThread)
            return false;
    }
    return true;
}

void CChaosProxy::Stop()
{
    m_bStop = true;
    if (m_pUdpThread) {
        WaitThread(m_pUdpThread, -1);
        DetachThread(m_pUdpThread);
        m_pUdpThread = nullptr;
    }
    if (m_hUdp != kInvalidSock) {
        BlockSockClose(m_hUdp);
        m_hUdp = kInvalidSock;
    }
    if (m_bTimer)
        KillWndTimer(g_pTimerWnd, reinterpret_cast<uintptr_t>(this));
    m_bTimer = false;
    m_Links.clear();
    if (m_pListener)
        m_pListener->CloseSocket(false);
    m_pListener.reset();
    Proxies().erase(this);
    if (Proxies().empty() && g_pTimerWnd) {
        DestroyHiddenWnd(g_pTimerWnd);
        g_pTimerWnd = nullptr;
    }
}

void CChaosProxy::SetTcpProfile(const TChaosProfile& profile)
{
    bool wasRefusing = m_Config.profile.refuse;
    m_Config.profile = profile;
    if (!m_pListener || profile.refuse == wasRefusing)
        return;
    if (profile.refuse)
        m_pListener->CloseSocket(false);
    else if (!m_pListener->Listen(m_nTcpPort))
        Log("tcp: cannot listen on port %u again", m_nTcpPort);
}

void CChaosProxy::SetProfile(const TChaosProfile& profile)
{
    SetTcpProfile(profile);
    std::lock_guard<std::mutex> lock(m_UdpMutex);
    m_UdpProfile = profile;
    m_nUdpGeneration++;
}

void CChaosProxy::OnTick()
{
    // Finished links go here, never inside their own notifications.
    for (size_t i = 0; i < m_Links.size();) {
        if (m_Links[i]->Pump())
            m_Links.erase(m_Links.begin() + static_cast<long>(i));
        else
            ++i;
    }
}

namespace {

struct TDatagram {
    uint64_t due;
    SockHandle from;
    TSockAddrV4 to;
    std::string data;
};

struct TUdpPeer {
    SockHandle up = kInvalidSock;
    TSockAddrV4 client;
    uint64_t lastUsed = 0;
};

// A client's mapping ends after this long without a datagram either way, as
// a router's does, so a client that takes a new port each time (the engine's
// discovery) leaves no socket behind.
const uint64_t kUdpIdleMs = 2000;

uint64_t PeerKey(const TSockAddrV4& a)
{
    return (uint64_t{a.addrNetOrder} << 16) | a.portHostOrder;
}

}  // namespace

void CChaosProxy::RunUdp(const TChaosProfile& profile)
{
    TFlow flow[2];
    flow[0].prof = profile.up;
    flow[1].prof = profile.down;
    flow[0].rnd.Seed(m_Config.seed * 40503u + 1);
    flow[1].rnd.Seed(m_Config.seed * 40503u + 2);
    TSockAddrV4 target;
    target.addrNetOrder = InetAddr("127.0.0.1");
    target.portHostOrder = m_Config.udpTarget;
    std::map<uint64_t, TUdpPeer> peers;
    std::vector<TDatagram> pending;
    std::vector<char> buf(65536);

    auto take = [&](int side, SockHandle out, const TSockAddrV4& to, const char* data, int len) {
        TFlow& f = flow[side];
        uint64_t now = NowMs();
        if (Percent(f.rnd) < f.prof.lossPct) {
            m_Counts.udpDropped++;
            Log("udp %s: drop %d bytes", kDirName[side], len);
            return;
        }
        int copies = 1;
        if (Percent(f.rnd) < f.prof.dupPct) {
            copies = 2;
            m_Counts.udpDuplicated++;
            Log("udp %s: duplicate %d bytes", kDirName[side], len);
        }
        for (int i = 0; i < copies; ++i) {
            uint64_t due = f.Due(now, static_cast<size_t>(len), false);
            if (Percent(f.rnd) < f.prof.reorderPct) {
                // Held back past what the latency and jitter could do, so
                // the next ones overtake it.
                due += static_cast<uint64_t>(f.prof.latencyMs + 2 * f.prof.jitterMs + 30);
                m_Counts.udpReordered++;
                Log("udp %s: hold back %d bytes", kDirName[side], len);
            }
            pending.push_back(TDatagram{due, out, to, std::string(data, static_cast<size_t>(len))});
        }
    };

    unsigned generation = 0;
    while (!m_bStop) {
        if (m_nUdpGeneration != generation) {
            std::lock_guard<std::mutex> lock(m_UdpMutex);
            generation = m_nUdpGeneration;
            flow[0].prof = m_UdpProfile.up;
            flow[1].prof = m_UdpProfile.down;
        }
        TSockAddrV4 from;
        int n = UdpRecvFrom(m_hUdp, buf.data(), static_cast<int>(buf.size()), &from, 2);
        if (n >= 0) {
            TUdpPeer& peer = peers[PeerKey(from)];
            if (peer.up == kInvalidSock) {
                peer.up = UdpOpen(0);
                peer.client = from;
            }
            peer.lastUsed = NowMs();
            if (peer.up != kInvalidSock)
                take(0, peer.up, target, buf.data(), n);
        }
        for (auto& p : peers) {
            if (p.second.up == kInvalidSock)
                continue;
            while ((n = UdpRecvFrom(p.second.up, buf.data(), static_cast<int>(buf.size()), &from,
                                    0)) >= 0) {
                take(1, m_hUdp, p.second.client, buf.data(), n);
                p.second.lastUsed = NowMs();
            }
        }
        for (auto it = peers.begin(); it != peers.end();) {
            SockHandle up = it->second.up;
            // Not while something is still held back to leave through it.
            if (NowMs() - it->second.lastUsed < kUdpIdleMs ||
                std::any_of(pending.begin(), pending.end(),
                            [up](const TDatagram& d) { return d.from == up; })) {
                ++it;
                continue;
            }
            if (up != kInvalidSock)
                BlockSockClose(up);
            it = peers.erase(it);
        }
        uint64_t now = NowMs();
        for (size_t i = 0; i < pending.size();) {
            if (pending[i].due <= now) {
                UdpSendTo(pending[i].from, pending[i].data.data(),
                          static_cast<int>(pending[i].data.size()), pending[i].to);
                m_Counts.udpForwarded++;
                pending.erase(pending.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }
    }
    for (auto& p : peers)
        if (p.second.up != kInvalidSock)
            BlockSockClose(p.second.up);
}
