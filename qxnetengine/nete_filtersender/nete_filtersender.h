#pragma once
// Offered every body the game sends through the engine. Bodies for module 300,
// the engine's own resource-information service, are taken and dispatched
// inside the process; every other body is declined and goes on to the gate
// server. The service lives on the socket window's thread: a body sent from
// any other thread is handed off (copied), to be delivered there.

#include "QXNetEngine.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgbuffer.h"

#include <boost/function.hpp>

#include <string>

class CNetEFilterSender : public IMsgSender {
public:
    static constexpr unsigned short kLocalModuleId = 300;

    CNetEFilterSender() : m_bDispatching(false) {}
    virtual ~CNetEFilterSender() {}

    typedef boost::function<void(const std::string&)> Handoff;

    // True when the body was taken (whatever its handler made of it).
    bool QXNET_CALL Send(const char* data, unsigned int len) override;
    CMsgDisp* GetMsgDisp() { return &m_MsgDisp; }
    // Dispatches a taken body; on the socket window's thread only.
    void Deliver(const char* data, unsigned int len);
    // What takes a body sent on another thread; it must return at once
    // (the sender's lock is held), never wait for the window's thread.
    void SetHandoff(const Handoff& handoff) { m_Handoff = handoff; }

    const CPkgBuffer& GetPkgBuffer() const { return m_PkgBuffer; }

private:
    CMsgDisp m_MsgDisp;
    CPkgBuffer m_PkgBuffer;
    // Set while a package from m_PkgBuffer is being handled.
    bool m_bDispatching;
    Handoff m_Handoff;
};
