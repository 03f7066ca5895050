#pragma once
// Real sockets for tests: a connection that records its notifications and a
// listener that accepts such connections, on the calling thread's loop.

#include "common/bytes/byteorder.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgsocket/msgsocket.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A connection that records its notifications. When a dispatcher is
// attached it cuts packages out of the stream; otherwise it keeps the bytes,
// or, as an echo server, sends them back (and closes once m_nCloseAfter
// bytes have come, when that is set).
class CTestConn : public CMsgSocket {
public:
    CTestConn(unsigned int recvCap = 1024, unsigned int sendCap = 4096)
        : CMsgSocket(recvCap, sendCap)
    {
    }
    void OnConnect(bool ok) override { m_Connects.push_back(ok); }
    void OnClose() override { ++m_nCloses; }
    void OnSocketCreated() override { ++m_nCreated; }
    unsigned int OnRecv(const char* data, unsigned int len) override
    {
        m_RecvLens.push_back(len);
        if (m_bEcho) {
            m_nEchoed += len;
            m_strRecv.append(data, len);
            Send(data, len);
            if (m_nCloseAfter && m_nEchoed >= m_nCloseAfter)
                Close();
            return len;
        }
        if (!m_pDisp) {
            m_strRecv.append(data, len);
            return len;
        }
        unsigned int used = 0;
        while (len - used >= 4) {
            uint32_t pkgLen = ReadU32LE(data + used);
            if (len - used - 4 < pkgLen)
                break;
            m_pDisp->DispatchPkg(data + used, pkgLen + 4);
            used += pkgLen + 4;
        }
        return used;
    }

    std::vector<bool> m_Connects;
    int m_nCloses = 0;
    int m_nCreated = 0;
    std::vector<unsigned int> m_RecvLens;
    std::string m_strRecv;
    CMsgDisp* m_pDisp = nullptr;
    bool m_bEcho = false;
    size_t m_nEchoed = 0;
    size_t m_nCloseAfter = 0;
};

class CTestListener : public CMsgSocket {
public:
    CTestListener() : CMsgSocket(0, 0) {}
    CMsgSocket* OnAcceptSocket(const char*, unsigned short) override
    {
        m_Accepted.emplace_back(new CTestConn(m_nRecvCap, m_nSendCap));
        m_Accepted.back()->m_bEcho = m_bEcho;
        m_Accepted.back()->m_pDisp = m_pDisp;
        return m_Accepted.back().get();
    }
    unsigned short Port()
    {
        qxplat::TSockAddrV4 a;
        EXPECT_TRUE(qxplat::SockLocalAddr(GetHandle(), &a));
        return a.portHostOrder;
    }
    std::vector<std::unique_ptr<CTestConn>> m_Accepted;
    CMsgDisp* m_pDisp = nullptr;
    unsigned int m_nRecvCap = 1024;
    unsigned int m_nSendCap = 4096;
    bool m_bEcho = false;  // accepted connections echo
};

// A loopback port with nothing listening on it.
inline unsigned short ClosedPort()
{
    CTestListener probe;
    EXPECT_TRUE(probe.Listen(0));
    unsigned short port = probe.Port();
    probe.Close();
    return port;
}
