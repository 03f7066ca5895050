#include "qxnetengine/netengine/discovery.h"

#include "common/bytes/byteorder.h"
#include "common/randgen/randgen.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "common/texts/texts.h"
#include "platform/blocksock.h"
#include "platform/time.h"
#include "qxnetengine/log/logfile.h"
#include "common/protocols/dispproto.h"
#include "qxnetengine/netengine/netengine.h"
#include "qxnetengine/netengine/svraddr.h"

#include <boost/bind/bind.hpp>

#include <vector>

using namespace qxplat;
using namespace boost::placeholders;

namespace {

typedef std::shared_ptr<CDiscoveryShared> SharedPtr;

std::atomic<DispResolver> g_resolver{nullptr};
std::atomic<DispTcpConnector> g_tcpConnector{nullptr};

CLogFile& NetLog() { return GetLog("NetLog"); }

// Continuations: the engine may be gone by the time they run.
void RunResolved(const SharedPtr& shared, unsigned int ok, int32_t v)
{
    if (CNetEngine* engine = shared->pEngine)
        engine->OnDispSvrResolved(ok, v);
}

void RunGateAddrGot(const SharedPtr& shared, unsigned int ok, int32_t v)
{
    if (CNetEngine* engine = shared->pEngine)
        engine->OnGateSvrAddrGot(ok, v);
}

void RunNotice(const SharedPtr& shared, unsigned int code, int32_t value)
{
    if (CNetEngine* engine = shared->pEngine)
        engine->OnDispSvrNotice(code, value);
}

// mark: the step's own mark, which its continuation would have cleared.
void Hand(void (*run)(const SharedPtr&, unsigned int, int32_t), const SharedPtr& shared,
          unsigned int a, int32_t b, std::atomic<bool>* mark = nullptr)
{
    if (!CMsgSyncWnd::Instance().SyncCall(boost::bind(run, shared, _1, _2), a, b) && mark)
        *mark = false;
}

// One UDP or TCP attempt: the worker owns its socket and its result; the
// discovery thread reads the result only when the worker ended in time.
struct CWorkerSlot {
    SharedPtr shared;
    TSockAddrV4 dispAddr;
    std::string request;
    uint32_t deadline = 0;  // tick count
    uint32_t gateAddr = CNetEngine::kAddrNone;
    uint16_t gatePort = 0;
    bool answered = false;  // this attempt's own replies held a notice

    int LeftMs() const
    {
        int32_t left = static_cast<int32_t>(deadline - TickCountMs());
        return left > 0 ? left : 0;
    }
};

void DoResolveDispSvr(SharedPtr shared)
{
    shared->nDispAddr = CNetEngine::kAddrNone;
    uint32_t addr = CNetEngine::kAddrNone;
    DispResolver resolve = g_resolver.load();
    bool ok = resolve ? resolve(shared->strHost.c_str(), &addr)
                      : ResolveIPv4(shared->strHost.c_str(), &addr);
    if (ok)
        shared->nDispAddr = addr;
    Hand(RunResolved, shared, ok ? 1 : 0, 0, &shared->bResolving);
}

void DoGetGateSvrAddr2UDP(std::shared_ptr<CWorkerSlot> slot)
{
    SockHandle s = UdpOpen();
    if (s == kInvalidSock) {
        NetLog().Write(2, TXT_UDP_SOCKET_FAILED);
        return;
    }
    if (UdpSendTo(s, slot->request.data(), static_cast<int>(slot->request.size()),
                  slot->dispAddr) <= 0) {
        NetLog().Write(2, TXT_UDP_SEND_FAILED);
        BlockSockClose(s);
        return;
    }
    char buf[2048];
    for (int i = 0; i < 3; ++i) {
        TSockAddrV4 from;
        int n = UdpRecvFrom(s, buf, sizeof buf, &from, slot->LeftMs());
        if (n <= 0) {
            NetLog().Write(2, TXT_UDP_RECV_FAILED);
            if (n == kSockTimedOut)
                break;  // the attempt's time is up
            continue;
        }
        if (from.addrNetOrder != slot->dispAddr.addrNetOrder ||
            from.portHostOrder != slot->dispAddr.portHostOrder)
            continue;
        if (ParseDispRetPkg(slot->shared, buf, static_cast<size_t>(n), &slot->gateAddr,
                            &slot->gatePort, &slot->answered))
            break;
    }
    BlockSockClose(s);
}

void DoGetGateSvrAddr2TCP(std::shared_ptr<CWorkerSlot> slot)
{
    bool notCreated = false;
    DispTcpConnector connect = g_tcpConnector.load();
    SockHandle s = (connect ? connect : TcpConnect)(slot->dispAddr, slot->LeftMs(), &notCreated);
    if (s == kInvalidSock) {
        if (notCreated)
            NetLog().Write(2, TXT_TCP_SOCKET_FAILED);
        else
            NetLog().Write(2, TXT_DISP_CONNECT_FAILED, "CNetEngine::DoGetGateSvrAddr2TCP");
        return;
    }
    int len = static_cast<int>(slot->request.size());
    if (len > 0 && TcpSendAll(s, slot->request.data(), len, slot->LeftMs()) != len) {
        BlockSockClose(s);
        return;
    }
    // The reply has no framing: its type tells its length, so read until a
    // whole one is there, however the bytes were split.
    std::string reply;
    size_t want = 4;
    char buf[2048];
    while (reply.size() < want) {
        int n = TcpRecv(s, buf, static_cast<int>(want - reply.size()), slot->LeftMs());
        if (n <= 0)
            break;
        reply.append(buf, static_cast<size_t>(n));
        if (reply.size() == 4) {
            want = DispProto::ReplyLength(ReadU32LE(reply.data()));
            if (want == 0)
                break;
        }
    }
    // Bytes already waiting beyond that length make the reply longer than
    // its type allows: it is then no reply, as a longer datagram would be.
    if (want > 0 && reply.size() == want) {
        int n = TcpRecv(s, buf, sizeof buf, 0);
        if (n > 0)
            reply.append(buf, static_cast<size_t>(n));
    }
    BlockSockClose(s);
    ParseDispRetPkg(slot->shared, reply.data(), reply.size(), &slot->gateAddr, &slot->gatePort,
                    &slot->answered);
}

// Runs one worker; true when it ended in time and found the gate address.
bool RunAttempt(const SharedPtr& shared, bool udp, int waitMs, uint32_t* gateAddr,
                uint16_t* gatePort, bool* answered)
{
    auto slot = std::make_shared<CWorkerSlot>();
    slot->shared = shared;
    slot->dispAddr.addrNetOrder = shared->nDispAddr;
    slot->dispAddr.portHostOrder = static_cast<uint16_t>(shared->nPort);
    slot->request = shared->bHasHandler
                        ? DispProto::MakeRequest(shared->nClientVersion, CRandGen::ForThread())
                        : std::string();
    slot->deadline = TickCountMs() + static_cast<uint32_t>(waitMs);
    slot->gatePort = *gatePort;
    ThreadHandle* worker =
        StartThread([slot, udp] { udp ? DoGetGateSvrAddr2UDP(slot) : DoGetGateSvrAddr2TCP(slot); });
    if (!worker) {
        if (udp)
            NetLog().Write(2, TXT_WORKER_START_FAILED, "CNetEngine::DoGetGateSvrAddr");
        else
            NetLog().Write(2, TXT_WORKER2_START_FAILED, "CNetEngine::DoGetGateSvrAddr");
        return false;
    }
    // A worker still blocked after its time and a grace period is left to
    // finish on its own: it writes only its own slot.
    bool ended = WaitThread(worker, waitMs + kWorkerGraceMs);
    DetachThread(worker);
    if (!ended)
        return false;
    *answered = *answered || slot->answered;
    // A reply sets the port even when its address is no address.
    *gatePort = slot->gatePort;
    if (slot->gateAddr == CNetEngine::kAddrNone)
        return false;
    *gateAddr = slot->gateAddr;
    return true;
}

void DoGetGateSvrAddr(SharedPtr shared)
{
    unsigned int result = 0;
    int tcpMode = ReadSvrAddrTcpMode();
    uint32_t gateAddr = CNetEngine::kAddrNone;
    uint16_t gatePort = shared->nGatePort;
    // Only this discovery's own replies count: a server that sent a notice
    // once may answer with an address now.
    bool answered = false;
    if (tcpMode == -1) {
        for (int n = 1; n <= kUdpAttempts && !result && !shared->bReleased; ++n) {
            if (RunAttempt(shared, true, n * n * kUdpBaseWaitMs, &gateAddr, &gatePort, &answered))
                result = 1;
            if (answered)
                break;
        }
    }
    if (!result && !answered && !shared->bReleased &&
        RunAttempt(shared, false, kTcpWaitMs, &gateAddr, &gatePort, &answered))
        result = 1;
    shared->nGateAddr = result ? gateAddr : CNetEngine::kAddrNone;
    shared->nGatePort = gatePort;
    Hand(RunGateAddrGot, shared, result, 0, &shared->bAsking);
}

}  // namespace

void SetDispResolver(DispResolver resolver) { g_resolver = resolver; }

void SetDispTcpConnector(DispTcpConnector connector) { g_tcpConnector = connector; }

ThreadHandle* StartResolveThread(const SharedPtr& shared)
{
    return StartThread([shared] { DoResolveDispSvr(shared); });
}

ThreadHandle* StartDiscoveryThread(const SharedPtr& shared)
{
    return StartThread([shared] { DoGetGateSvrAddr(shared); });
}

bool ParseDispRetPkg(const SharedPtr& shared, const char* data, size_t len, uint32_t* gateAddr,
                     uint16_t* gatePort, bool* answered)
{
    DispProto::TReply reply;
    if (!DispProto::ParseReply(data, len, &reply))
        return false;
    switch (reply.type) {
    case DispProto::kTypeGateAddr:
        // Nothing can connect to address 0 or port 0: the gate is not found.
        *gateAddr = reply.gateAddrNetOrder != 0 && reply.gatePort != 0 ? reply.gateAddrNetOrder
                                                                        : CNetEngine::kAddrNone;
        *gatePort = reply.gatePort;
        break;
    case DispProto::kTypeNotice:
        *answered = true;
        Hand(RunNotice, shared, reply.code, reply.value);
        break;
    default:
        *answered = true;
        NetLog().Write(2, TXT_VERSION_TOO_OLD);
        Hand(RunNotice, shared, 0xFFFFFFFFu, -1);
        break;
    }
    return true;
}
