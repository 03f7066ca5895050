#include "qxnetengine/netengine/netengine.h"

#include "common/protocols/protocolbase.h"
#include "common/randgen/randgen.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "platform/debug.h"
#include "platform/sockaddr.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/netengine/discovery.h"
#include "qxnetengine/netengine/svraddr.h"
#include "qxnetengine/resinfovermgr/updatesession.h"
#include "qxnetengine/resinfovermgr/resinfovergog.h"

#include <boost/bind/bind.hpp>

#include <cstring>
#include <ctime>
#include <string>

using namespace qxplat;
using namespace boost::placeholders;

namespace {

void Forget(ThreadHandle*& thread)
{
    if (thread)
        DetachThread(thread);
    thread = nullptr;
}

// Holds the engine for the length of one call that may reach the game.
class CEngineCall {
public:
    explicit CEngineCall(CNetEngine* engine) : m_pEngine(engine) { m_pEngine->EnterCall(); }
    ~CEngineCall() { m_pEngine->LeaveCall(); }

private:
    CNetEngine* m_pEngine;
};

// A posted report finds the engine released, or the connection replaced.
void RunGateLogin(const std::shared_ptr<CDiscoveryShared>& shared, const CGateSvrSocket* conn,
                  unsigned int code, int32_t gateId)
{
    CNetEngine* engine = shared->pEngine;
    if (engine && engine->GetGateConn() == conn)
        engine->OnGateSvrLogin(code, gateId);
}

void RunGateConnectRefused(const std::shared_ptr<CDiscoveryShared>& shared, unsigned int code,
                           int32_t v)
{
    if (CNetEngine* engine = shared->pEngine)
        engine->OnGateConnectRefused(code, v);
}

// A module-300 body sent on a game thread, delivered on the window's thread
// unless the engine has been released meanwhile.
void RunLocalRequest(const std::shared_ptr<CDiscoveryShared>& shared, const std::string& body,
                     unsigned int, int32_t)
{
    if (CNetEngine* engine = shared->pEngine)
        engine->DeliverLocalRequest(body);
}

// Posted, never sent: the sender's lock is held here, and the window's thread
// may be waiting for it.
void PostLocalRequest(const std::shared_ptr<CDiscoveryShared>& shared, const std::string& body)
{
    CMsgSyncWnd::Instance().PostCall(boost::bind(&RunLocalRequest, shared, body, _1, _2), 0, 0);
}

// A message the engine could not decode or handle is noted in the net log,
// not on the game's standard error.
void ReportToNetLog(const char* text)
{
    std::string line(text);
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    GetLog("NetLog").Write(2, "%s", line.c_str());
}

}  // namespace

bool CNetEnginePkgSender::Send(const char* data, unsigned int len)
{
    CEngineCall call(m_pEngine);
    return CPkgSender::Send(data, len);
}

CNetEngine::CNetEngine()
    : m_hResolveThread(nullptr),
      m_hDiscoveryThread(nullptr),
      m_nDispSvrAddr(kAddrNone),
      m_nDispSvrPort(0),
      m_KeyArea(),
      m_nGateSvrAddr(kAddrNone),
      m_nGateSvrPort(0),
      m_pHandler(nullptr),
      m_pGateConn(nullptr),
      m_nGateId(0),
      m_bReconnect(false),
      m_Sender(this),
      m_nClientVersion(0),
      m_ResInfoDrv(this),
      m_ResInfoDispDrv(this),
      m_pShared(std::make_shared<CDiscoveryShared>()),
      m_nRefs(1),
      m_bReleasing(false)
{
    // The runtime's generator of this thread, seeded with the time in
    // seconds: two engines made in the same second share their key half.
    CRandGen& random = CRandGen::ForThread();
    random.Seed(static_cast<uint32_t>(time(nullptr)));
    for (int i = 0; i < 16; ++i) m_KeyArea[i] = static_cast<unsigned char>(random.Next());
    m_pShared->pEngine = this;
}

CNetEngine::~CNetEngine() {}

int CNetEngine::Initialize(INetEngineHandler* handler)
{
    if (!handler)
        return 0;
    m_pHandler = handler;
    GetLog("NetLog");
    CProtocolBase::SetRecvFailureReport(&ReportToNetLog);
    m_nClientVersion = handler->GetClientVersion();
    m_Sender.SetFilter(&m_FilterSender);
    m_FilterSender.SetHandoff(boost::bind(&PostLocalRequest, m_pShared, _1));
    m_FilterSender.GetMsgDisp()->RegisterHandler(&m_ResInfoDrv);
    m_FakeSender.SetMsgDisp(&m_MsgDisp);
    m_ResInfoDrv.SetSender(&m_FakeSender);
    CResInfoVerGogImpl::Instance().SetProtocol(&m_ResInfoDrv);
    return 1;
}

int CNetEngine::Connect(int reconnect)
{
    // A game may call back in from OnGateClosed while Release runs.
    if (m_bReleasing)
        return 0;
    // Before QXNetEngine_Init no result could ever be handed over.
    if (!CMsgSyncWnd::Instance().IsCreated() || !GetSockWnd())
        return 0;
    if (reconnect && m_nGateSvrAddr != 0 && m_nGateSvrPort != 0)
        return ConnectGateSvr(true) ? 1 : 0;
    return StartDiscovery() ? 1 : 0;
}

IMsgDisp* CNetEngine::GetMsgDisp() { return &m_MsgDisp; }

IMsgSender* CNetEngine::GetSender()
{
    return m_pGateConn && m_pGateConn->IsConnected() ? &m_Sender : nullptr;
}

bool CNetEngine::StartDiscovery()
{
    TSvrAddrConfig config = ReadSvrAddr();
    // While any step of a discovery runs, a second one could never report.
    if (IsDiscovering())
        return false;
    // A step that could not hand its result over left its handle behind.
    Forget(m_hResolveThread);
    Forget(m_hDiscoveryThread);
    m_strDispSvrHost = config.host;
    m_nDispSvrPort = config.port;
    CDiscoveryShared& shared = *m_pShared;
    shared.strHost = m_strDispSvrHost;  // the thread's own copy
    shared.nPort = m_nDispSvrPort;
    shared.nClientVersion = m_nClientVersion;
    shared.bHasHandler = m_pHandler != nullptr;
    shared.nGatePort = m_nGateSvrPort;
    shared.bResolving = true;
    m_hResolveThread = StartResolveThread(m_pShared);
    if (!m_hResolveThread)
        shared.bResolving = false;
    return m_hResolveThread != nullptr;
}

bool CNetEngine::IsDiscovering() const { return m_pShared->bResolving || m_pShared->bAsking; }

bool CNetEngine::ConnectGateSvr(bool reconnect)
{
    if (m_nGateSvrAddr == 0 || m_nGateSvrPort == 0)
        return false;
    if (m_pGateConn) {
        DebugOutput("connection to gate server keeps alive ...");
        return false;
    }
    CGateSvrSocket* conn = nullptr;
    try {
        conn = new CGateSvrSocket(this, reconnect ? m_nGateId : 0);
    } catch (...) {
        return false;
    }
    m_pGateConn = conn;
    m_bReconnect = reconnect;
    if (!conn->ConnectEx(InetNtoa(m_nGateSvrAddr).c_str(), m_nGateSvrPort, 1)) {
        // No socket, so no outcome would ever come: report the failure on
        // the next turn of the message loop, as a failed connect would be.
        CMsgSyncWnd::Instance().PostCall(boost::bind(&RunGateLogin, m_pShared, conn, _1, _2), 2,
                                         static_cast<int32_t>(conn->GetGateId()));
    }
    return true;
}

void CNetEngine::DropGateConn()
{
    CGateSvrSocket* conn = m_pGateConn;
    if (!conn)
        return;
    m_pGateConn = nullptr;
    m_Sender.SetSocket(nullptr);
    m_ResInfoDispDrv.SetSender(nullptr);
    conn->Detach();
    conn->DeleteLater();
}

void CNetEngine::OnGateSvrLogin(unsigned int code, int32_t gateId)
{
    CEngineCall call(this);
    // What the game may change from inside its callbacks is taken first.
    INetEngineHandler* handler = m_pHandler;
    bool reconnect = m_bReconnect;
    if (!handler)
        return;
    if (code != 0)
        DropGateConn();
    m_Sender.SetSocket(m_pGateConn);
    m_MsgDisp.RegisterHandler(&m_ResInfoDispDrv);
    m_ResInfoDispDrv.SetSender(GetSender());
    m_nGateId = static_cast<uint32_t>(gateId);
    handler->OnGateLogin(code == 0 ? 1 : 0);
    if (m_bReleasing)
        return;  // released inside the callback: the game hears nothing more
    if (code == 0 && !reconnect)
        handler->OnConnected();
    if (reconnect)
        handler->OnReconnected(code == 0 ? 1 : 0);
}

void CNetEngine::OnGateSvrClosed(unsigned int, int32_t)
{
    CEngineCall call(this);
    INetEngineHandler* handler = m_pHandler;
    DropGateConn();
    // A resource request still waiting for the gate's answer never gets one.
    if (!m_bReleasing)
        CUpdateSession::OnNoAddress(this);
    if (handler)
        handler->OnGateClosed(1);
}

void CNetEngine::DeliverLocalRequest(const std::string& body)
{
    CEngineCall call(this);
    m_FilterSender.Deliver(body.data(), static_cast<unsigned int>(body.size()));
}

void CNetEngine::InstallGateKey() { m_Encryption.SetKey(m_KeyArea, kKeyAreaLen); }

bool CNetEngine::EncryptGateData(const char* data, size_t len, std::string& out) const
{
    return m_Encryption.EncryptAppend(data, len, out);
}

bool CNetEngine::DecryptGateData(const char* data, size_t len, std::string& out) const
{
    return m_Encryption.DecryptInto(data, len, out);
}

void CNetEngine::DispatchGatePkg(const std::string& pkg)
{
    CEngineCall call(this);
    m_MsgDisp.DispatchPkg(pkg.data(), static_cast<unsigned int>(pkg.size()));
}

void CNetEngine::OnDispSvrResolved(unsigned int ok, int32_t)
{
    CEngineCall call(this);
    m_nDispSvrAddr = m_pShared->nDispAddr;
    // The discovery still runs while the game hears of the lookup: a Connect
    // from inside that callback is refused, never a second discovery on the
    // same shared block.
    if (m_pHandler)
        m_pHandler->OnDispSvrAddr(ok ? 1 : 0, InetNtoa(m_nDispSvrAddr).c_str(), m_nDispSvrPort);
    Forget(m_hResolveThread);
    m_pShared->bResolving = false;
    if (!ok || m_bReleasing)
        return;
    if (m_nDispSvrAddr == kAddrNone || (m_nDispSvrPort & 0xFFFF) == 0) {
        EndDiscoveryEarly();
        return;
    }
    if (m_hDiscoveryThread) {
        GetLog("NetLog").Write(2, "%s", TXT_GATE_THREAD_RUNNING);
        return;
    }
    m_pShared->nDispAddr = m_nDispSvrAddr;
    m_pShared->bAsking = true;
    m_hDiscoveryThread = StartDiscoveryThread(m_pShared);
    if (!m_hDiscoveryThread) {
        m_pShared->bAsking = false;
        GetLog("NetLog").Write(2, "%s", TXT_GATE_THREAD_START_FAILED);
        EndDiscoveryEarly();
    }
}

void CNetEngine::EndDiscoveryEarly() { ReportGateSvrAddr(0, kAddrNone, m_nGateSvrPort); }

void CNetEngine::OnGateSvrAddrGot(unsigned int ok, int32_t)
{
    CEngineCall call(this);
    // The discovery has ended before the game hears of it, so the game may
    // start the next one from inside its callback.
    Forget(m_hDiscoveryThread);
    m_pShared->bAsking = false;
    ReportGateSvrAddr(ok, m_pShared->nGateAddr, m_pShared->nGatePort);
}

void CNetEngine::ReportGateSvrAddr(unsigned int ok, uint32_t addr, unsigned short port)
{
    // A live gate connection keeps the address it was made to; a reconnect
    // after its close goes there too.
    if (!m_pGateConn) {
        m_nGateSvrAddr = addr;
        m_nGateSvrPort = port;
    }
    if (m_pHandler)
        m_pHandler->OnGateSvrAddr(ok ? 1 : 0, InetNtoa(addr).c_str(), port);
    if (ok && !m_bReleasing && !IsDiscovering() && !ConnectGateSvr(false)) {
        // The game was told of a gate and waits for its login.
        CMsgSyncWnd::Instance().PostCall(boost::bind(&RunGateConnectRefused, m_pShared, _1, _2),
                                         0, 0);
    }
}

void CNetEngine::OnGateConnectRefused(unsigned int, int32_t)
{
    CEngineCall call(this);
    if (m_pHandler)
        m_pHandler->OnGateLogin(0);
}

void CNetEngine::OnDispSvrNotice(unsigned int code, int32_t value)
{
    CEngineCall call(this);
    if (m_pHandler)
        m_pHandler->OnDispNotice(code, value);
}

void CNetEngine::Release()
{
    if (m_bReleasing)
        return;
    m_bReleasing = true;
    if (CGateSvrSocket* conn = m_pGateConn) {
        // The close is reported at once: the game hears OnGateClosed(1) now.
        conn->EnterCall();
        conn->Shutdown();
        DropGateConn();
        conn->LeaveCall();
    }
    // Threads still running keep the shared block, never the engine.
    m_pShared->pEngine = nullptr;
    m_pShared->bReleased = true;
    Forget(m_hResolveThread);
    Forget(m_hDiscoveryThread);
    CUpdateSession::Abandon(this);
    CResInfoVerGogImpl::Instance().Forget(&m_ResInfoDrv);
    LeaveCall();  // the game's own reference
}
