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
    if (!m_pProtocol) {
        GetLog("NetLog").Write(2, "RRRRR [%s] m_pProtocol == NULL", kWhere);
        return;
    }
    m_pProtocol->RetVersions(result, version, static_cast<uint32_t>(items.size()));
    for (const ResInfoItem& item : items) {
        if (!m_pProtocol)
            return;  // the engine was released inside the game's answer
        TVecChar pkgID;
        if (!CoverString2TVecChar(item.PackageID, pkgID, false))
            GetLog("NetLog").Write(2, "RRRRR [%s] CoverString2TVecChar failed.", kWhere);
        TBigString xmlInfo;
        if (!CoverString2TBigString(item.RecordXml, xmlInfo))
            GetLog("NetLog").Write(2, "RRRRR [%s] CoverString2TBigString failed.", kWhere);
        m_pProtocol->RetResInfo(item.ResID, pkgID, xmlInfo);
    }
}
