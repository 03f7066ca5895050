#pragma once
// A sender that never touches the network: each body becomes a package that
// goes straight into a dispatcher, whose handler runs before Send returns.

#include "QXNetEngine.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgbuffer.h"

class CFakeSender : public IMsgSender {
public:
    CFakeSender() : m_pMsgDisp(nullptr), m_bDispatching(false) {}
    virtual ~CFakeSender() {}

    // Always true: a message without a dispatcher, or refused by it, is lost.
    bool QXNET_CALL Send(const char* data, unsigned int len) override;
    void SetMsgDisp(CMsgDisp* pMsgDisp) { m_pMsgDisp = pMsgDisp; }

    const CPkgBuffer& GetPkgBuffer() const { return m_PkgBuffer; }

private:
    CMsgDisp* m_pMsgDisp;
    CPkgBuffer m_PkgBuffer;
    // Set while a package from m_PkgBuffer is being handled.
    bool m_bDispatching;
};
