#pragma once
// What the engine's tests share: a handler that records the notifications as
// readable lines, SvrAddr.ini beside the library, and the log of the run.

#include "QXNetEngine.h"
#include "platform/paths.h"
#include "platform/time.h"
#include "qxnetengine/netengine/svraddr.h"
#include "support/logcount.h"

#include <fstream>
#include <functional>
#include <string>
#include <vector>

// Records the engine's notifications as readable lines, in order.
class CRecordingEngineHandler : public INetEngineHandler {
public:
    void QXNET_CALL OnDispSvrAddr(int ok, const char* ip, int port) override
    {
        Add("DispSvrAddr " + std::to_string(ok) + " " + ip + " " + std::to_string(port));
    }
    void QXNET_CALL OnGateSvrAddr(int ok, const char* ip, unsigned int port) override
    {
        Add("GateSvrAddr " + std::to_string(ok) + " " + ip + " " + std::to_string(port));
        if (m_bReleaseOnGateAddr && m_pEngine) {
            m_pEngine->Release();
            m_pEngine = nullptr;
        }
    }
    void QXNET_CALL OnGateLogin(int accepted) override
    {
        Add("GateLogin " + std::to_string(accepted));
    }
    void QXNET_CALL OnGateClosed(int closed) override
    {
        Add("GateClosed " + std::to_string(closed));
    }
    void QXNET_CALL OnConnected() override { Add("Connected"); }
    void QXNET_CALL OnReconnected(int accepted) override
    {
        Add("Reconnected " + std::to_string(accepted));
    }
    unsigned int QXNET_CALL GetClientVersion() override { return 0x01020304; }
    void QXNET_CALL OnDispNotice(unsigned int code, int value) override
    {
        Add("DispNotice " + std::to_string(code) + " " + std::to_string(value));
    }
    void Add(const std::string& line)
    {
        m_Lines.push_back(line);
        if (m_OnLine)
            m_OnLine(line);
    }
    bool Has(const std::string& prefix) const
    {
        for (const std::string& l : m_Lines)
            if (l.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }

    std::vector<std::string> m_Lines;
    bool m_bReleaseOnGateAddr = false;
    // Runs after each notification, as a game's code would inside it.
    std::function<void(const std::string&)> m_OnLine;
    INetEngine* m_pEngine = nullptr;
};

inline void WriteIni(const std::string& text)
{
    std::ofstream out(SvrAddrIniPath(), std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string IniFor(unsigned short port, int tcp)
{
    return "[SvrAddr]\r\nIP=127.0.0.1\r\nPort=" + std::to_string(port) +
           "\r\nTCP=" + std::to_string(tcp) + "\r\n";
}

// Log lines of this program go to a fixed date's file, so they can be counted.
inline void FixedClock(qxplat::TLocalTime* t) { *t = qxplat::TLocalTime{2031, 1, 2, 3, 4, 5, 6}; }

inline int CountInLog(const std::string& text)
{
    return CountInFile(qxplat::ExeDir() + "NetLog20310102.log", text);
}
