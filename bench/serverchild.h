#pragma once
// The reference servers as a child process: the scale benchmarks keep every
// descriptor of this process for the clients, and measure the clients' CPU
// time alone.

#include <string>
#include <sys/types.h>

class CServerChild {
public:
    CServerChild() = default;
    ~CServerChild() { Stop(); }

    // Starts qxrefservers with args (quiet), waits for its ready line.
    bool Start(const std::string& args);
    // Closes its input, which ends it, and waits for it.
    void Stop();
    unsigned short Port(const char* name) const;  // "disp", "gate", "game"
    // CPU time the child used so far, in seconds.
    double CpuSeconds() const;

private:
    CServerChild(const CServerChild&) = delete;
    CServerChild& operator=(const CServerChild&) = delete;

    pid_t m_Pid = -1;
    int m_nInput = -1;
    std::string m_strReady;
};
