#include "common/protocols/resinfoinner.h"

namespace ResInfoInner {

CBufferReader& operator>>(CBufferReader& reader, TVersionInfo& info)
{
    return reader >> info.Version >> info.SubNo;
}

CBufferWriter& operator<<(CBufferWriter& writer, const TVersionInfo& info)
{
    return writer << info.Version << info.SubNo;
}

CBufferReader& operator>>(CBufferReader& reader, TFileInfo& info)
{
    return reader >> info.FileSize;
}

CBufferWriter& operator<<(CBufferWriter& writer, const TFileInfo& info)
{
    return writer << info.FileSize;
}

bool CResInfoInner::OnMsg(const char* body, unsigned int len)
{
    uint16_t msgId = 0;
    if (!ReadMsgId(body, len, &msgId))
        return false;
    switch (msgId) {
    case kRetVersionList: return _DoRecv_RetVersionList(body + 4, len - 4);
    case kRetFileInfo: return _DoRecv_RetFileInfo(body + 4, len - 4);
    case kRetFileBuffer: return _DoRecv_RetFileBuffer(body + 4, len - 4);
    default: return false;
    }
}

void CResInfoInner::GetVersionList(const uint32_t& version) { SendMsg(kGetVersionList, version); }

void CResInfoInner::GetFile(const TVersionInfo& file, const uint32_t& offset,
                            const uint32_t& getLen)
{
    SendMsg(kGetFile, file, offset, getLen);
}

bool CResInfoInner::_DoRecv_RetVersionList(const char* payload, unsigned int len)
{
    return RecvMsg(this, &CResInfoInner::OnRecv_RetVersionList,
                   "ResInfoInner::CResInfoInner::_DoRecv_RetVersionList", payload, len);
}

bool CResInfoInner::_DoRecv_RetFileInfo(const char* payload, unsigned int len)
{
    return RecvMsg(this, &CResInfoInner::OnRecv_RetFileInfo,
                   "ResInfoInner::CResInfoInner::_DoRecv_RetFileInfo", payload, len);
}

bool CResInfoInner::_DoRecv_RetFileBuffer(const char* payload, unsigned int len)
{
    return RecvMsg(this, &CResInfoInner::OnRecv_RetFileBuffer, kRetFileBufferWhere, payload, len);
}

}  // namespace ResInfoInner
