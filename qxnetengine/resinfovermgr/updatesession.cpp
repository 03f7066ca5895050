#include "qxnetengine/resinfovermgr/updatesession.h"

#include "common/syncwnd/msgsyncwnd.h"
#include "platform/sockaddr.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/netengine/netengine.h"
#include "qxnetengine/resinfovermgr/resinfoinnerconn.h"
#include "qxnetengine/resinfovermgr/resinfovermgr.h"

#include <boost/bind/bind.hpp>

using namespace boost::placeholders;

namespace {

CUpdateSession* g_pCurrent = nullptr;

}  // namespace

CUpdateSession* CUpdateSession::Current() { return g_pCurrent; }

CUpdateSession::CUpdateSession(CNetEngine* engine, ResInfo::CResInfo* receiver)
    : m_pEngine(engine), m_pReceiver(receiver), m_pConn(nullptr), m_nTimer(0)
{
    g_pCurrent = this;
}

CUpdateSession::~CUpdateSession()
{
    g_pCurrent = nullptr;
    StopTimer();
    m_PartFile.Abandon();
    if (CResInfoInnerConn* conn = m_pConn) {
        // Destroyed once control has left its code; nothing of it reaches
        // this update any more.
        m_pConn = nullptr;
        conn->Detach();
        conn->CloseSocket(false);
        conn->DeleteLater();
    }
}

void CUpdateSession::Request(CNetEngine* engine, ResInfo::CResInfo* receiver, uint32_t version)
{
    CUpdateSession* session = g_pCurrent;
    if (session && (session->m_pEngine != engine || !session->IsAsking()))
        return;  // an update is running, this engine's or another's: one at a time
    CResInfoVerMgr::Instance().SetVersion(version);
    if (!session)
        session = new CUpdateSession(engine, receiver);
    if (!engine->IsGateEstablished() || !engine->GetResInfoDispDrv().HasSender()) {
        // Not logged in to the gate: nobody could ever answer.
        session->End(-1, 0, std::vector<ResInfoItem>());
        return;
    }
    session->Ask();
}

CUpdateSession* CUpdateSession::Begin(CNetEngine* engine, ResInfo::CResInfo* receiver)
{
    return g_pCurrent ? nullptr : new CUpdateSession(engine, receiver);
}

void CUpdateSession::Attach(CResInfoInnerConn* conn)
{
    StopTimer();
    m_pConn = conn;
    conn->m_pEngine = m_pEngine;
    conn->m_pSession = this;
}

void CUpdateSession::Ask()
{
    StopTimer();
    m_nTimer = CMsgSyncWnd::Instance().StartTimer(
        boost::bind(&CUpdateSession::OnAddrTimeout, this, _1, _2), kAddrReplyTimeoutMs);
    m_pEngine->GetResInfoDispDrv().GetResInfoSvrAddr();
}

void CUpdateSession::StopTimer()
{
    if (m_nTimer)
        CMsgSyncWnd::Instance().CancelTimer(m_nTimer);
    m_nTimer = 0;
}

void CUpdateSession::OnAddrTimeout(unsigned int, int32_t)
{
    m_nTimer = 0;
    GetLog("NetLog").Write(2, "[%s] The gate server did not say where the resource server is.",
                           "CUpdateSession::OnAddrTimeout");
    End(-1, 0, std::vector<ResInfoItem>());
}

void CUpdateSession::OnAddress(CNetEngine* engine, uint32_t addr, uint16_t port,
                               const TVecChar& ticket)
{
    CUpdateSession* session = g_pCurrent;
    if (!session || session->m_pEngine != engine || !session->IsAsking()) {
        // Acting on it could write packages for nobody, or into another
        // engine's running update.
        GetLog("NetLog").Write(2, "[%s] An address nobody asked for is ignored.",
                               "CResInfoDispDrv::OnRecv_RetResInfoSvrAddr");
        return;
    }
    CResInfoInnerConn* conn = new CResInfoInnerConn;
    session->Attach(conn);
    conn->ticket = ticket;
    // An address Connect refuses at once gets the failed connect's answer,
    // which lets go of the connection while it is still on the stack.
    conn->EnterCall();
    if (!conn->ConnectEx(qxplat::InetNtoa(addr).c_str(), port, 3))
        conn->FailConnect();
    conn->LeaveCall();
}

void CUpdateSession::OnNoAddress(CNetEngine* engine)
{
    CUpdateSession* session = g_pCurrent;
    if (session && session->m_pEngine == engine && session->IsAsking())
        session->End(-1, 0, std::vector<ResInfoItem>());
}

void CUpdateSession::Abandon(CNetEngine* engine)
{
    if (g_pCurrent && g_pCurrent->m_pEngine == engine)
        delete g_pCurrent;
}

void CUpdateSession::End(int32_t result, uint32_t version, const std::vector<ResInfoItem>& items)
{
    // The game may release the engine from inside its answer: the engine
    // stays until the answer has been delivered.
    CNetEngine* engine = m_pEngine;
    ResInfo::CResInfo* receiver = m_pReceiver;
    engine->EnterCall();
    delete this;
    CResInfoVerGogImpl::Instance().Answer(receiver, engine, result, version, items);
    engine->LeaveCall();
}
