#pragma once
// Offered every body the game sends through the engine. Bodies for module 300,
// the engine's own resource-information service, are taken and dispatched
// inside the process; every other body is declined and goes on to the gate
// server.

#include "QXNetEngine.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgbuffer.h"

class CNetEFilterSender : public IMsgSender {
public:
    static constexpr unsigned short kLocalModuleId = 300;

    CNetEFilterSender() : m_bDispatching(false) {}
    virtual ~CNetEFilterSender() {}

    // True when the body was taken (whatever its handler made of it).
    bool QXNET_CALL Send(const char* data, unsigned int len) override;
    CMsgDisp* GetMsgDisp() { return &m_MsgDisp; }

    const CPkgBuffer& GetPkgBuffer() const { return m_PkgBuffer; }

private:
    CMsgDisp m_MsgDisp;
    CPkgBuffer m_PkgBuffer;
    // Set while a package from m_PkgBuffer is being handled.
    bool m_bDispatching;
};
