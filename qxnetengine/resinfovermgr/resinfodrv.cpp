#include "qxnetengine/resinfovermgr/resinfodrv.h"

#include "platform/sockaddr.h"
#include "qxnetengine/netengine/netengine.h"
#include "qxnetengine/resinfovermgr/resinfoinnerconn.h"
#include "qxnetengine/resinfovermgr/resinfovergog.h"
#include "qxnetengine/resinfovermgr/resinfovermgr.h"

#include <cstring>

void CResInfoDrv::OnRecv_GetVersions(const uint32_t& version)
{
    if (!m_pOwner)
        return;
    CResInfoVerGogImpl& gog = CResInfoVerGogImpl::Instance();
    CResInfoInnerConn* running = m_pOwner->GetInnerDrv();
    if ((gog.GetRunning() && gog.GetRunning() != this) ||
        (running && !running->IsConnectFailed() && !running->IsFinished()))
        return;  // an update is running, this engine's or another's: one at a time
    CResInfoVerMgr::Instance().SetVersion(version);
    gog.Begin(this);
    CResInfoDispDrv& disp = m_pOwner->GetResInfoDispDrv();
    if (!m_pOwner->IsGateEstablished() || !disp.HasSender()) {
        // Not logged in to the gate: nobody could ever answer.
        CResInfoVerGogImpl::Instance().OnGetResult(-1, 0, std::vector<ResInfoItem>());
        return;
    }
    disp.Ask();
}

void CResInfoDispDrv::OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr& address,
                                               const uint16_t& port, const TVecChar& ticket)
{
    if (!m_pOwner)
        return;
    TakeAsked();
    m_pOwner->DropInnerDrv();
    CResInfoInnerConn* conn = new CResInfoInnerConn;
    m_pOwner->SetInnerDrv(conn);
    conn->m_pEngine = m_pOwner;
    conn->ticket = ticket;
    uint32_t addr;
    memcpy(&addr, address.Octets, 4);
    // An address Connect refuses at once gets the failed connect's answer.
    if (!conn->ConnectEx(qxplat::InetNtoa(addr).c_str(), port, 3))
        conn->FailConnect();
}
