#include "qxnetengine/resinfovermgr/resinfodrv.h"

#include "qxnetengine/resinfovermgr/resinfovergog.h"

void CResInfoDrv::OnRecv_GetVersions(const uint32_t&)
{
    // No connection to a resource-information server can be made from here
    // yet: the game hears the update's failure rather than nothing.
    CResInfoVerGogImpl::Instance().OnGetResult(-1, 0, std::vector<ResInfoItem>());
}

void CResInfoDispDrv::OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr&, const uint16_t&,
                                               const TVecChar&)
{
}
