#pragma once

#include "QXNetEngine.h"
#include "common/lock/lock.h"
#include "common/msgdisp/pkgbuffer.h"

class CMsgSocket;

// Wraps each message body in a game-client frame: contLen (len + 8), the
// client id, len, body; all little-endian.
class CGameClientSender : public IMsgSender {
public:
    static const unsigned int kInlineSize = 2048;

    CGameClientSender();
    virtual ~CGameClientSender();

    bool QXNET_CALL Send(const char* data, unsigned int len) override;

    void SetId(unsigned int id) { m_nId = id; }
    void SetSocket(CMsgSocket* socket) { m_pSocket = socket; }
    unsigned int GetCapacity() const { return m_Buffer.GetCapacity(); }

private:
    CGameClientSender(const CGameClientSender&) = delete;
    CGameClientSender& operator=(const CGameClientSender&) = delete;
    bool SendFrame(const char* data, unsigned int len);

    unsigned int m_nId;
    CCritSection m_Lock;
    CMsgSocket* m_pSocket;
    CInlinePkgBuffer<kInlineSize> m_Buffer;
    bool m_bBuilding;  // m_Buffer is lent to a Send further up the stack
};
