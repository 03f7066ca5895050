#pragma once
// A module handler that writes every message it receives into an event list
// (so two runs can be compared) and answers as it is told.

#include "QXNetEngine.h"

#include <functional>
#include <string>
#include <vector>

class CFuzzHandler : public IMsgHandler {
public:
    CFuzzHandler(unsigned short moduleId, std::vector<std::string>* events, bool accept = true)
        : m_nModuleId(moduleId), m_pEvents(events), m_bAccept(accept), m_pSender(nullptr)
    {
    }

    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        m_pEvents->push_back("msg " + std::to_string(m_nModuleId) + " " + std::string(body, len));
        if (m_OnMsg)
            m_OnMsg(body, len);
        return m_bAccept;
    }
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return m_nModuleId; }

    // Runs inside OnMsg, after the message is recorded.
    std::function<void(const char* body, unsigned int len)> m_OnMsg;

private:
    unsigned short m_nModuleId;
    std::vector<std::string>* m_pEvents;
    bool m_bAccept;
    IMsgSender* m_pSender;
};
