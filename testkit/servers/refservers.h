#pragma once
// Any subset of the reference servers, on the calling thread's message loop.

#include "dispserver.h"
#include "gameserver.h"
#include "gateserver.h"
#include "resinfoserver.h"

#include <memory>
#include <string>

struct TRefServersConfig {
    // -1: not started; 0: a port the system chooses.
    int dispPort = -1, gatePort = -1, resInfoPort = -1, gamePort = -1;
    std::string packageDir;
    TDispConfig disp;
    // Every faultEvery-th connection of the gate, resource and game servers
    // misbehaves on purpose; 0: none.
    int faultEvery = 0;
};

class CRefServers {
public:
    // Starts the socket layer on the calling thread, then each server asked for.
    bool Start(const TRefServersConfig& config);
    // Closes every connection, then the servers.
    void Stop();
    ~CRefServers() { Stop(); }

    // "disp=P gate=P resinfo=P game=P", a server not started shown as 0.
    std::string PortsLine() const;
    unsigned short DispPort() const { return m_pDisp ? m_pDisp->Port() : 0; }
    unsigned short GatePort() const { return m_pGate ? m_pGate->Port() : 0; }
    unsigned short ResInfoPort() const { return m_pResInfo ? m_pResInfo->Port() : 0; }
    unsigned short GamePort() const { return m_pGame ? m_pGame->Port() : 0; }
    // The port the gate names for the resource server from now on, e.g. a
    // proxy's in front of it; call on the servers' thread.
    void NameResInfoPort(unsigned short port)
    {
        if (m_pGate)
            m_pGate->SetResInfoPort(port);
    }

private:
    std::unique_ptr<CRefDispServer> m_pDisp;
    std::unique_ptr<CRefGateServer> m_pGate;
    std::unique_ptr<CRefResInfoServer> m_pResInfo;
    std::unique_ptr<CRefGameServer> m_pGame;
    bool m_bStarted = false;
};
