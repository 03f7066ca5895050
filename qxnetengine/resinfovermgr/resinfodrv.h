#pragma once
// The engine's side of the resource-information service: module 300 (the
// game's requests, inside the process) and module 302 (the gate server's
// answer where the resource-information server is).

#include "common/protocols/resinfo.h"
#include "common/protocols/resinfodisp.h"

class CNetEngine;

class CResInfoDrv : public ResInfo::CResInfo {
public:
    explicit CResInfoDrv(CNetEngine* owner = nullptr) : m_pOwner(owner) {}
    void SetOwner(CNetEngine* owner) { m_pOwner = owner; }

    void OnRecv_GetVersions(const uint32_t& version) override;

private:
    CNetEngine* m_pOwner;
};

class CResInfoDispDrv : public ResInfoDisp::CResInfoDisp {
public:
    explicit CResInfoDispDrv(CNetEngine* owner = nullptr) : m_pOwner(owner) {}
    void SetOwner(CNetEngine* owner) { m_pOwner = owner; }

    // A module-302 message that cannot be read is an answer the update
    // waiting for it will never get.
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override;
    void OnRecv_RetResInfoSvrAddr(const ResInfoDisp::TIPv4Addr& address, const uint16_t& port,
                                  const TVecChar& ticket) override;
    bool HasSender() const { return GetSender() != nullptr; }

private:
    CNetEngine* m_pOwner;
};
