#include "qxnetengine/nete_filtersender/nete_filtersender.h"

#include "common/bytes/byteorder.h"
#include "common/msgsocket/msgsocket.h"
#include "qxnetengine/fakesender/localdispatch.h"

bool CNetEFilterSender::Send(const char* data, unsigned int len)
{
    if (len < 4)
        return false;
    if (ReadU16LE(data) != kLocalModuleId)
        return false;
    // No dispatcher takes a body this long: drop it before copying it.
    if (len > CMsgDisp::kMaxBody)
        return true;
    if (m_Handoff && !IsSockWndThread()) {
        m_Handoff(std::string(data, len));
        return true;
    }
    Deliver(data, len);
    return true;
}

void CNetEFilterSender::Deliver(const char* data, unsigned int len)
{
    DispatchBody(m_MsgDisp, m_PkgBuffer, m_bDispatching, data, len);
}
