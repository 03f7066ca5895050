#include "qxnetengine/resinfovermgr/resinfovergog.h"

#include "common/serialization/basictypes.h"
#include "qxnetengine/log/logfile.h"

namespace {

const char kWhere[] = "CResInfoVerGogImpl::OnGetResult";

}  // namespace

CResInfoVerGogImpl& CResInfoVerGogImpl::Instance()
{
    static CResInfoVerGogImpl instance;
    return instance;
}

void CResInfoVerGogImpl::OnGetResult(int32_t result, uint32_t version,
                                     const std::vector<ResInfoItem>& items)
{
    // The engine that asked; without a running update, the one wired last.
    m_pSending = m_pRunning ? m_pRunning : m_pProtocol;
    m_pRunning = nullptr;
    if (!m_pSending) {
        GetLog("NetLog").Write(2, "RRRRR [%s] m_pProtocol == NULL", kWhere);
        return;
    }
    m_pSending->RetVersions(result, version, static_cast<uint32_t>(items.size()));
    for (const ResInfoItem& item : items) {
        if (!m_pSending)
            return;  // the engine was released inside the game's answer
        TVecChar pkgID;
        if (!CoverString2TVecChar(item.PackageID, pkgID, false))
            GetLog("NetLog").Write(2, "RRRRR [%s] CoverString2TVecChar failed.", kWhere);
        TBigString xmlInfo;
        if (!CoverString2TBigString(item.RecordXml, xmlInfo))
            GetLog("NetLog").Write(2, "RRRRR [%s] CoverString2TBigString failed.", kWhere);
        m_pSending->RetResInfo(item.ResID, pkgID, xmlInfo);
    }
    m_pSending = nullptr;
}
