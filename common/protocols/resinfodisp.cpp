#include "common/protocols/resinfodisp.h"

namespace ResInfoDisp {

// Read as one 4-byte scalar, so a short address fails like any other scalar.
CBufferReader& operator>>(CBufferReader& reader, TIPv4Addr& addr)
{
    uint32_t wire = 0;
    reader >> wire;
    StoreLE(addr.Octets, wire);
    return reader;
}

CBufferWriter& operator<<(CBufferWriter& writer, const TIPv4Addr& addr)
{
    return writer << LoadLE<uint32_t>(addr.Octets);
}

bool CResInfoDisp::OnMsg(const char* body, unsigned int len)
{
    uint16_t msgId = 0;
    if (!ReadMsgId(body, len, &msgId))
        return false;
    switch (msgId) {
    case kRetResInfoSvrAddr: return _DoRecv_RetResInfoSvrAddr(body + 4, len - 4);
    default: return false;
    }
}

void CResInfoDisp::GetResInfoSvrAddr() { SendMsg(kGetResInfoSvrAddr); }

bool CResInfoDisp::_DoRecv_RetResInfoSvrAddr(const char* payload, unsigned int len)
{
    return RecvMsg(this, &CResInfoDisp::OnRecv_RetResInfoSvrAddr,
                   "ResInfoDisp::CResInfoDisp::_DoRecv_RetResInfoSvrAddr", payload, len);
}

}  // namespace ResInfoDisp
