#pragma once
// The game server: frames that carry the client id; every package comes back
// to the client unchanged. A message whose id is 0xFFFF ("goodbye") makes the
// server close the connection.

#include "refconn.h"

class CRefGameServer {
public:
    static constexpr unsigned short kGoodbyeMsg = 0xFFFF;

    CRefGameServer();
    bool Start(unsigned short port);
    // Faults of a misbehaving connection, in turn.
    enum { kFaultBadFrame = 1, kFaultCloseMidFrame, kFaultKinds = 2 };
    void SetFaults(int every) { m_Listener.SetFaults(every, kFaultKinds); }
    unsigned short Port() const { return m_Listener.Port(); }

private:
    CRefListener m_Listener;
};
