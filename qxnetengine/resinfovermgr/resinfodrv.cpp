#include "qxnetengine/resinfovermgr/resinfodrv.h"

#include "qxnetengine/resinfovermgr/updatesession.h"

#include <cstring>

void CResInfoDrv::OnRecv_GetVersions(const uint32_t& version)
{
    if (m_pOwner)
        CUpdateSession::Request(m_pOwner, this, version);
}

bool CResInfoDispDrv::OnMsg(const char* body, unsigned int len)
{
    if (ResInfoDisp::CResInfoDisp::OnMsg(body, len))
        return true;
    if (m_pOwner)
        CUpdateSession::OnNoAddress(m_pOwner);
    return false;
}

void CResInfoDispDrv::OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr& address,
                                               const uint16_t& port, const TVecChar& ticket)
{
    if (!m_pOwner)
        return;
    uint32_t addr;
    memcpy(&addr, address.Octets, 4);
    CUpdateSession::OnAddress(m_pOwner, addr, port, ticket);
}
