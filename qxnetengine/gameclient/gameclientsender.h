#pragma once

#include "QXNetEngine.h"
#include "common/lock/lock.h"

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
    unsigned int GetCapacity() const { return m_nCapacity; }

private:
    CGameClientSender(const CGameClientSender&) = delete;
    CGameClientSender& operator=(const CGameClientSender&) = delete;
    bool SendFrame(const char* data, unsigned int len);

    unsigned int m_nId;
    CCritSection m_Lock;
    CMsgSocket* m_pSocket;
    char m_Inline[kInlineSize];
    char* m_pBuffer;
    unsigned int m_nCapacity;
};
