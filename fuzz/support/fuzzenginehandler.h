#pragma once
// The game's side of a net engine: every callback becomes an event.

#include "QXNetEngine.h"

#include <string>
#include <vector>

class CFuzzEngineHandler : public INetEngineHandler {
public:
    explicit CFuzzEngineHandler(std::vector<std::string>* events) : m_pEvents(events) {}

    void QXNET_CALL OnDispSvrAddr(int ok, const char* ip, int port) override
    {
        Add("dispaddr " + std::to_string(ok) + " " + ip + " " + std::to_string(port));
    }
    void QXNET_CALL OnGateSvrAddr(int ok, const char* ip, unsigned int port) override
    {
        Add("gateaddr " + std::to_string(ok) + " " + ip + " " + std::to_string(port));
    }
    void QXNET_CALL OnGateLogin(int accepted) override { Add("login " + std::to_string(accepted)); }
    void QXNET_CALL OnGateClosed(int closed) override { Add("closed " + std::to_string(closed)); }
    void QXNET_CALL OnConnected() override { Add("connected"); }
    void QXNET_CALL OnReconnected(int accepted) override
    {
        Add("reconnected " + std::to_string(accepted));
    }
    unsigned int QXNET_CALL GetClientVersion() override { return 7; }
    void QXNET_CALL OnDispNotice(unsigned int code, int value) override
    {
        Add("notice " + std::to_string(code) + " " + std::to_string(value));
    }

private:
    void Add(const std::string& e) { m_pEvents->push_back(e); }
    std::vector<std::string>* m_pEvents;
};
