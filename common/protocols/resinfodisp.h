#pragma once
// Module 302: the engine asks the gate server where the resource-information
// server is.

#include "common/protocols/protocolbase.h"

namespace ResInfoDisp {

// An IPv4 address as its 4 bytes, first dotted-notation octet first: the
// in-memory form of a socket address in network order.
struct TIPv4Addr {
    unsigned char Octets[4] = {0, 0, 0, 0};
};
CBufferReader& operator>>(CBufferReader& reader, TIPv4Addr& addr);
CBufferWriter& operator<<(CBufferWriter& writer, const TIPv4Addr& addr);

class CResInfoDisp : public CProtocolBase {
public:
    static constexpr unsigned short kModuleId = 302;
    // Message ids are numbered separately for each direction.
    enum ESendId { kGetResInfoSvrAddr = 1 };
    enum ERecvId { kRetResInfoSvrAddr = 1 };

    CResInfoDisp() : CProtocolBase(kModuleId) {}

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;

    void GetResInfoSvrAddr();

    virtual void OnRecv_RetResInfoSvrAddr(const TIPv4Addr& address, const uint16_t& port,
                                          const TVecChar& ticket) = 0;

protected:
    ~CResInfoDisp() {}

    bool _DoRecv_RetResInfoSvrAddr(const char* payload, unsigned int len);
};

}  // namespace ResInfoDisp
