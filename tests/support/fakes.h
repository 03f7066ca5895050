#pragma once
// Small stand-ins shared by the tests: a recording message handler and a
// socket that records what is sent through it.

#include "QXNetEngine.h"
#include "common/msgsocket/msgsocket.h"

#include <string>
#include <vector>

class CRecordingHandler : public IMsgHandler {
public:
    explicit CRecordingHandler(unsigned short moduleId, bool accept = true)
        : m_nModuleId(moduleId), m_bAccept(accept)
    {
    }
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        m_Bodies.emplace_back(body, len);
        return m_bAccept;
    }
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        ++m_nSetSenderCalls;
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return m_nModuleId; }

    unsigned short m_nModuleId;
    bool m_bAccept;
    int m_nSetSenderCalls = 0;
    IMsgSender* m_pSender = nullptr;
    std::vector<std::string> m_Bodies;
};

// Records every Send instead of touching the network.
class CRecordingSocket : public CMsgSocket {
public:
    CRecordingSocket() : CMsgSocket(0, 0) {}
    void Send(const char* data, unsigned int len) override { m_Sent.emplace_back(data, len); }
    std::vector<std::string> m_Sent;
};

// Builds a package: u32 little-endian length, then the body.
std::string MakePkg(const std::string& body);
// Builds a body: module id and message id (little-endian), then the payload.
std::string MakeBody(unsigned short moduleId, unsigned short msgId,
                     const std::string& payload = "");
