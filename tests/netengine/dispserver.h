#pragma once
// A dispatch server on 127.0.0.1 for the tests: UDP on a thread of its own,
// answering each request with the datagrams scripted for it; TCP through a
// listener on the test's own loop, on the same port number.

#include "platform/blocksock.h"
#include "support/testsockets.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TDatagram {
    std::string bytes;
    bool fromOtherPort = false;
};

class CFakeDispServer {
public:
    CFakeDispServer();
    ~CFakeDispServer();

    unsigned short Port() const { return m_nPort; }
    // Datagrams sent back for the request of each index (none: silent).
    void Script(std::vector<std::vector<TDatagram>> replies);
    int UdpRequests();
    std::string UdpRequest(int index);
    // The TCP side: connections accepted and bytes they sent.
    CTestListener& Tcp() { return m_Tcp; }
    bool TcpListening() const { return m_bTcp; }

private:
    void Run();

    qxplat::SockHandle m_hUdp;
    qxplat::SockHandle m_hOther;
    unsigned short m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::mutex m_Mutex;
    std::vector<std::vector<TDatagram>> m_Replies;
    std::vector<std::string> m_Requests;
    std::thread m_Thread;
    CTestListener m_Tcp;
    bool m_bTcp = false;
};

// Replies as the dispatch server builds them.
std::string GateAddrReply(const char* addr, unsigned short port);
std::string NoticeReply(uint32_t code, int32_t value);
std::string TooOldReply();
