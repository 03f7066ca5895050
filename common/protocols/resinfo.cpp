#include "common/protocols/resinfo.h"

namespace ResInfo {

bool CResInfo::OnMsg(const char* body, unsigned int len)
{
    uint16_t msgId = 0;
    if (!ReadMsgId(body, len, &msgId))
        return false;
    switch (msgId) {
    case kGetVersions: return _DoRecv_GetVersions(body + 4, len - 4);
    default: return false;
    }
}

void CResInfo::RetVersions(const int32_t& result, const uint32_t& version, const uint32_t& count)
{
    SendMsg(kRetVersions, result, version, count);
}

void CResInfo::RetResInfo(const uint32_t& resID, const TVecChar& pkgID, const TBigString& xmlInfo)
{
    SendMsg(kRetResInfo, resID, pkgID, xmlInfo);
}

bool CResInfo::_DoRecv_GetVersions(const char* payload, unsigned int len)
{
    return RecvMsg(this, &CResInfo::OnRecv_GetVersions, "ResInfo::CResInfo::_DoRecv_GetVersions",
                   payload, len);
}

}  // namespace ResInfo
