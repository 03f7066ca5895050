#include "refserversthread.h"

#include "platform/wnd.h"

#include <chrono>

bool CRefServersThread::Start(const TRefServersConfig& config)
{
    m_Thread = std::thread([this, config] {
        CRefServers servers;
        bool ok = servers.Start(config);
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bStarted = ok;
            m_nDispPort = servers.DispPort();
            m_nGatePort = servers.GatePort();
            m_nResInfoPort = servers.ResInfoPort();
            m_nGamePort = servers.GamePort();
            m_bReady = true;
        }
        m_Ready.notify_all();
        while (ok && !m_bStop) qxplat::PumpMessages(20);
    });
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Ready.wait_for(lock, std::chrono::seconds(10), [this] { return m_bReady; });
    return m_bStarted;
}

CRefServersThread::~CRefServersThread()
{
    m_bStop = true;
    if (m_Thread.joinable())
        m_Thread.join();
}
