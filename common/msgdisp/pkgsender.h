#pragma once

#include "QXNetEngine.h"
#include "common/lock/lock.h"
#include "common/msgdisp/pkgbuffer.h"

class CMsgSocket;

// Turns message bodies into packages (u32 length + body) and writes them to a
// socket. A filter may take a message first. Send may come from any thread;
// it is serialised by a lock that the sending thread may take again (a
// filter's handler may send back through the same sender). Nothing that
// waits for another thread runs under that lock.
class CPkgSender : public IMsgSender {
public:
    static const unsigned int kInlineSize = 4096;

    CPkgSender();
    virtual ~CPkgSender();

    bool QXNET_CALL Send(const char* data, unsigned int len) override;
    void SetSocket(CMsgSocket* socket);
    IMsgSender* SetFilter(IMsgSender* filter);

    unsigned int GetCapacity() const { return m_Buffer.GetCapacity(); }

private:
    CPkgSender(const CPkgSender&) = delete;
    CPkgSender& operator=(const CPkgSender&) = delete;

    CMsgSocket* m_pSocket;
    CInlinePkgBuffer<kInlineSize> m_Buffer;
    bool m_bBuilding;  // m_Buffer is lent to a Send further up the stack
    CCritSection m_Lock;
    IMsgSender* m_pFilter;
};
