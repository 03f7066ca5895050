#include "qxnetengine/resinfovermgr/resinfovergog.h"

#include "common/serialization/basictypes.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/netengine/netengine.h"

#include <algorithm>

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
    Answer(m_pProtocol, nullptr, result, version, items);
}

void CResInfoVerGogImpl::Answer(ResInfo::CResInfo* receiver, CNetEngine* engine, int32_t result,
                                uint32_t version, const std::vector<ResInfoItem>& items)
{
    if (!receiver) {
        GetLog("NetLog").Write(2, "RRRRR [%s] m_pProtocol == NULL", kWhere);
        return;
    }
    m_Pending.push_back(TAnswer{receiver, engine, result, version, items});
    if (m_bDelivering)
        return;  // the answer being delivered is finished first
    struct CDelivering {
        bool& flag;
        explicit CDelivering(bool& f) : flag(f) { flag = true; }
        ~CDelivering() { flag = false; }
    } delivering(m_bDelivering);
    while (!m_Pending.empty()) {
        TAnswer answer = std::move(m_Pending.front());
        m_Pending.pop_front();
        Deliver(answer);
    }
}

void CResInfoVerGogImpl::Deliver(const TAnswer& answer)
{
    if (answer.engine)
        answer.engine->EnterCall();
    m_pSending = answer.receiver;
    m_pSending->RetVersions(answer.result, answer.version,
                            static_cast<uint32_t>(answer.items.size()));
    for (const ResInfoItem& item : answer.items) {
        if (!m_pSending)
            break;  // the engine was released inside the game's answer
        TVecChar pkgID;
        if (!CoverString2TVecChar(item.PackageID, pkgID, false))
            GetLog("NetLog").Write(2, "RRRRR [%s] CoverString2TVecChar failed.", kWhere);
        TBigString xmlInfo;
        if (!CoverString2TBigString(item.RecordXml, xmlInfo))
            GetLog("NetLog").Write(2, "RRRRR [%s] CoverString2TBigString failed.", kWhere);
        m_pSending->RetResInfo(item.ResID, pkgID, xmlInfo);
    }
    m_pSending = nullptr;
    if (answer.engine)
        answer.engine->LeaveCall();
}

void CResInfoVerGogImpl::Forget(ResInfo::CResInfo* protocol)
{
    if (m_pProtocol == protocol)
        m_pProtocol = nullptr;
    if (m_pSending == protocol)
        m_pSending = nullptr;
    m_Pending.erase(std::remove_if(m_Pending.begin(), m_Pending.end(),
                                   [&](const TAnswer& a) { return a.receiver == protocol; }),
                    m_Pending.end());
}
