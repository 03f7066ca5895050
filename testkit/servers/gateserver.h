#pragma once
// The gate server: the scrambled handshake (a reply of kind 1 carrying one of
// several key routines, or of kind 2 for a gate id it knows), then encrypted
// frames routed to its modules: 302 (where the resource-information server
// is) and an echo module.

#include "common/randgen/randgen.h"
#include "refconn.h"

#include <cstdint>
#include <map>
#include <string>

class CRefGateServer {
public:
    // The module whose messages come back unchanged.
    static constexpr unsigned short kEchoModule = 7;

    CRefGateServer();

    bool Start(unsigned short port);
    unsigned short Port() const { return m_Listener.Port(); }
    // Where module 302 points; 0: no resource-information server (no answer).
    void SetResInfoPort(uint16_t port) { m_nResInfoPort = port; }
    uint16_t ResInfoPort() const { return m_nResInfoPort; }

    // Handshake bookkeeping, shared by the connections.
    uint32_t NewGateId() { return ++m_nLastGateId; }
    bool KnownServerHalf(uint32_t gateId, unsigned char half[16]) const;
    void RememberServerHalf(uint32_t gateId, const unsigned char half[16]);
    CRandGen& Random() { return m_Random; }
    // Faults of a misbehaving connection, in turn.
    enum { kFaultCloseMidFrame = 1, kFaultGarbageFrame, kFaultStall, kFaultKinds = 3 };
    void SetFaults(int every) { m_Listener.SetFaults(every, kFaultKinds); }
    unsigned NextRoutine() { return m_nRoutine++; }

private:
    CRefListener m_Listener;
    uint16_t m_nResInfoPort = 0;
    uint32_t m_nLastGateId = 1000;
    std::map<uint32_t, std::string> m_ServerHalves;
    CRandGen m_Random;
    unsigned m_nRoutine = 0;
};
