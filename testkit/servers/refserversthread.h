#pragma once
// The reference servers on a thread and message loop of their own, for a
// test or a tool that runs them inside its process.

#include "refservers.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class CRefServersThread {
public:
    CRefServersThread() = default;
    ~CRefServersThread();

    // Starts the servers asked for and waits until they listen.
    bool Start(const TRefServersConfig& config);
    unsigned short DispPort() const { return m_nDispPort; }
    unsigned short GatePort() const { return m_nGatePort; }
    unsigned short ResInfoPort() const { return m_nResInfoPort; }
    unsigned short GamePort() const { return m_nGamePort; }

private:
    CRefServersThread(const CRefServersThread&) = delete;
    CRefServersThread& operator=(const CRefServersThread&) = delete;

    std::thread m_Thread;
    std::mutex m_Mutex;
    std::condition_variable m_Ready;
    bool m_bReady = false, m_bStarted = false;
    std::atomic<bool> m_bStop{false};
    unsigned short m_nDispPort = 0, m_nGatePort = 0, m_nResInfoPort = 0, m_nGamePort = 0;
};
