#include "refservers.h"

#include "common/msgsocket/msgsocket.h"
#include "platform/paths.h"

namespace {

unsigned short PortOf(int port) { return static_cast<unsigned short>(port); }

}  // namespace

bool CRefServers::Start(const TRefServersConfig& config)
{
    InitSockWnd(qxplat::LibraryModule());
    m_bStarted = true;
    if (config.resInfoPort >= 0) {
        m_pResInfo.reset(new CRefResInfoServer(config.packageDir));
        m_pResInfo->SetFaults(config.faultEvery);
        if (!m_pResInfo->Start(PortOf(config.resInfoPort)))
            return false;
    }
    if (config.gatePort >= 0) {
        m_pGate.reset(new CRefGateServer);
        m_pGate->SetFaults(config.faultEvery);
        m_pGate->SetResInfoPort(m_pResInfo ? m_pResInfo->Port() : 0);
        if (!m_pGate->Start(PortOf(config.gatePort)))
            return false;
    }
    if (config.dispPort >= 0) {
        m_pDisp.reset(new CRefDispServer(config.disp));
        m_pDisp->SetGatePort(m_pGate ? m_pGate->Port() : 0);
        if (!m_pDisp->Start(PortOf(config.dispPort)))
            return false;
    }
    if (config.gamePort >= 0) {
        m_pGame.reset(new CRefGameServer);
        m_pGame->SetFaults(config.faultEvery);
        if (!m_pGame->Start(PortOf(config.gamePort)))
            return false;
    }
    return true;
}

void CRefServers::Stop()
{
    if (m_pDisp)
        m_pDisp->Stop();
    if (m_bStarted)
        ShutdownSockets();  // every connection ends itself in its OnClose
    m_bStarted = false;
    m_pDisp.reset();
    m_pGate.reset();
    m_pResInfo.reset();
    m_pGame.reset();
}

std::string CRefServers::PortsLine() const
{
    return "disp=" + std::to_string(DispPort()) + " gate=" + std::to_string(GatePort()) +
           " resinfo=" + std::to_string(ResInfoPort()) + " game=" + std::to_string(GamePort());
}
