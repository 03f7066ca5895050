#pragma once
// The dispatch server: UDP and TCP on one port. It checks each 92-byte
// request (type, magic, both checks) and answers with the gate server's
// address, or with the notice or "client too old" it was told to give.

#include "common/randgen/randgen.h"
#include "platform/thread.h"
#include "refconn.h"

#include <atomic>
#include <cstdint>

struct TDispConfig {
    enum EAnswer { kGateAddr, kNotice, kTooOld };
    EAnswer answer = kGateAddr;
    uint16_t gatePort = 0;
    uint32_t noticeCode = 0;
    int32_t noticeValue = 0;
};

class CRefDispServer {
public:
    explicit CRefDispServer(const TDispConfig& config);
    ~CRefDispServer();

    // Both sockets on port (0: one the system chooses for both).
    bool Start(unsigned short port);
    void Stop();
    unsigned short Port() const { return m_nPort; }
    void SetGatePort(uint16_t port) { m_Config.gatePort = port; }

    // The answer to one request's bytes; empty when the request is not valid.
    std::string Answer(const char* data, size_t len, const char* how);

private:
    void RunUdp();

    TDispConfig m_Config;
    CRandGen m_Random;
    qxplat::SockHandle m_hUdp = qxplat::kInvalidSock;
    qxplat::ThreadHandle* m_pUdpThread = nullptr;
    std::atomic<bool> m_bStop{false};
    CRefListener m_Tcp;
    unsigned short m_nPort = 0;
};
