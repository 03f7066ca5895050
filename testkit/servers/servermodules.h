#pragma once
// Server-side halves of the protocol classes: the same module ids, message
// ids and field encoding as the engine's, in the other direction.

#include "common/protocols/protocolbase.h"
#include "common/protocols/resinfoinner.h"
#include "common/serialization/basictypes.h"

// Module 302 at the gate: where the resource-information server is.
class CResInfoDispSvr : public CProtocolBase {
public:
    static constexpr unsigned short kModuleId = 302;
    CResInfoDispSvr() : CProtocolBase(kModuleId) {}

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;
    // addr: the four address bytes, first dotted octet first, as a
    // little-endian number.
    void RetResInfoSvrAddr(const uint32_t& addr, const uint16_t& port, const TVecChar& ticket)
    {
        SendMsg(1, addr, port, ticket);
    }
    virtual void OnRecv_GetResInfoSvrAddr() = 0;

protected:
    ~CResInfoDispSvr() {}
};

// Module 301 at the resource-information server.
class CResInfoInnerSvr : public CProtocolBase {
public:
    CResInfoInnerSvr() : CProtocolBase(ResInfoInner::CResInfoInner::kModuleId) {}

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;
    void RetVersionList(const ResInfoInner::TVecVersionInfo& list) { SendMsg(1, list); }
    void RetFileInfo(const ResInfoInner::TFileInfo& info, const uint32_t& leftLength)
    {
        SendMsg(2, info, leftLength);
    }
    void RetFileBuffer(const TBigString& buffer) { SendMsg(3, buffer); }
    void RetFileBuffer(const TBigStringRef& buffer) { SendMsg(3, buffer); }

    virtual void OnRecv_GetVersionList(const uint32_t& version) = 0;
    virtual void OnRecv_GetFile(const ResInfoInner::TVersionInfo& file, const uint32_t& offset,
                                const uint32_t& getLen) = 0;

protected:
    ~CResInfoInnerSvr() {}
};
