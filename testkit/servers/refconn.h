#pragma once
// What every reference server's TCP side shares: connections that keep their
// own input and end themselves when closed, and a listener that makes them.

#include "common/msgsocket/msgsocket.h"
#include "reflog.h"

#include <functional>
#include <string>

class CRefConn : public CMsgSocket {
public:
    CRefConn(const char* server, unsigned int sendCapacity);

    void SetPeer(const char* addr, unsigned short port);
    // Which misbehaviour this connection shows (0: none); what each number
    // means is the server's own.
    void SetFault(int fault) { m_nFault = fault; }
    void OnClose() override;
    // Appends everything to m_strIn, then lets the server cut it.
    unsigned int OnRecv(const char* data, unsigned int len) override;

protected:
    // Cuts and handles whatever whole messages m_strIn holds.
    virtual void OnInput() = 0;
    void Log(const char* fmt, ...) QX_PRINTF(2, 3);
    // Malformed input ends the connection; nothing is guessed.
    void Drop(const char* why);
    bool Dropped() const { return m_bDropped; }
    // Writes bytes out. What one pass over the input sends leaves in one
    // write, so the peer never waits for a delayed acknowledgement between
    // the frames of one answer.
    void Out(const char* data, size_t len);
    // Sends what this pass gathered so far, for an answer too long to wait
    // for the end of the pass.
    void FlushOut();
    // Bytes Out may still take without overflowing the send buffer.
    size_t Room();
    // Logs and counts a misbehaviour about to happen on purpose.
    void Fault(const char* what);

    std::string m_strIn;
    std::string m_strWho;
    int m_nFault = 0;

private:
    bool m_bDropped = false;
    bool m_bInInput = false;
    std::string m_strOut;
};

class CRefListener : public CMsgSocket {
public:
    typedef std::function<CRefConn*()> TMake;
    CRefListener(const char* server, TMake make);

    // Listens on 127.0.0.1-reachable port (0: one the system chooses).
    bool Start(unsigned short port);
    unsigned short Port() const { return m_nPort; }
    // Every every-th connection misbehaves, in turn in each of kinds ways
    // (faults 1 to kinds); 0: none does.
    void SetFaults(int every, int kinds)
    {
        m_nFaultEvery = every;
        m_nFaultKinds = kinds;
    }

    CMsgSocket* OnAcceptSocket(const char* peerAddr, unsigned short peerPortNet) override;

private:
    const char* m_pServer;
    TMake m_Make;
    unsigned short m_nPort = 0;
    int m_nFaultEvery = 0, m_nFaultKinds = 0, m_nAccepted = 0;
};

// The port a bound socket has.
unsigned short BoundPort(qxplat::SockHandle h);
