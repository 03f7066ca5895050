// A game never waits for ever: each case here once left a game without the
// callback it was owed, or touched freed memory.
#include "common/bytes/byteorder.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "dispserver.h"
#include "enginefixture.h"
#include "gateserver.h"
#include "qxnetengine/netengine/discovery.h"
#include "qxnetengine/netengine/netengine.h"
#include "qxnetengine/resinfovermgr/resinfovergog.h"
#include "support/pump.h"

#include <gtest/gtest.h>

namespace {

class EngineFaults : public CEngineFixture {
protected:
    std::string Disp(unsigned short port) const
    {
        return "DispSvrAddr 1 127.0.0.1 " + std::to_string(port);
    }
    // A discovery over TCP only, answered with reply.
    void DiscoverOverTcp(const std::string& reply)
    {
        WriteIni(IniFor(m_Server.Port(), 0));
        ASSERT_EQ(1, m_pEngine->Connect(0));
        CTestListener& tcp = m_Server.Tcp();
        size_t n = tcp.m_Accepted.size();
        ASSERT_TRUE(PumpUntil([&] {
            return tcp.m_Accepted.size() > n && tcp.m_Accepted[n]->m_strRecv.size() == 92;
        }));
        tcp.m_Accepted[n]->Send(reply.data(), static_cast<unsigned>(reply.size()));
        ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateSvrAddr"); }));
    }

    CFakeDispServer m_Server;
};

bool AllOnesLookup(const char*, uint32_t* addr)
{
    *addr = 0xFFFFFFFFu;
    return true;
}

TEST_F(EngineFaults, EveryResolvedDiscoveryEndsWithOneGateSvrAddr)
{
    // Port 0, then a lookup that yields the all-ones address.
    WriteIni("[SvrAddr]\nIP=127.0.0.1\nPort=0\n");
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_Lines.size() >= 2; }));
    EXPECT_EQ(
        (std::vector<std::string>{"DispSvrAddr 1 127.0.0.1 0", "GateSvrAddr 0 255.255.255.255 0"}),
        m_Handler.m_Lines);

    m_Handler.m_Lines.clear();
    WriteIni(IniFor(m_Server.Port(), -1));
    SetDispResolver(AllOnesLookup);
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_Lines.size() >= 2; }));
    EXPECT_EQ("GateSvrAddr 0 255.255.255.255 0", m_Handler.m_Lines.back());
    EXPECT_EQ(0, m_Server.UdpRequests());
}

TEST_F(EngineFaults, ARetryFromInsideTheFinalCallbackStarts)
{
    WriteIni("[SvrAddr]\nIP=127.0.0.1\nPort=0\n");
    int retried = -1;
    m_Handler.m_OnLine = [&](const std::string& line) {
        if (retried == -1 && line.rfind("GateSvrAddr 0", 0) == 0)
            retried = m_pEngine->Connect(0);
    };
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_Lines.size() >= 4; }));
    EXPECT_EQ(1, retried);
    EXPECT_EQ("DispSvrAddr 1 127.0.0.1 0", m_Handler.m_Lines[2]);  // the retry ran
}

TEST_F(EngineFaults, AGateConnectThatFailsAtOnceIsReportedNextTurn)
{
    // The gate address a failed reply leaves behind is all ones.
    DiscoverOverTcp(GateAddrReply("255.255.255.255", 4321));
    EXPECT_EQ("GateSvrAddr 0 255.255.255.255 4321", m_Handler.m_Lines.back());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        m_Handler.m_Lines.clear();
        ASSERT_EQ(1, m_pEngine->Connect(1));
        EXPECT_TRUE(m_Handler.m_Lines.empty());  // not from inside Connect
        ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_Lines.size() >= 2; }));
        EXPECT_EQ((std::vector<std::string>{"GateLogin 0", "Reconnected 0"}), m_Handler.m_Lines);
    }
}

TEST_F(EngineFaults, AReplyWithAddressOrPortZeroFindsNoGate)
{
    struct Case {
        const char* addr;
        unsigned short port;
        const char* line;
    } cases[] = {
        {"0.0.0.0", 4000, "GateSvrAddr 0 255.255.255.255 4000"},
        {"127.0.0.1", 0, "GateSvrAddr 0 255.255.255.255 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        m_Handler.m_Lines.clear();
        DiscoverOverTcp(GateAddrReply(c.addr, c.port));
        PumpFor(50);
        EXPECT_EQ((std::vector<std::string>{Disp(m_Server.Port()), c.line}), m_Handler.m_Lines);
    }
}

TEST_F(EngineFaults, AReplyLongerThanItsTypeIsNoReplyOverTcp)
{
    for (uint32_t type : {35u, 36u}) {
        SCOPED_TRACE(type);
        m_Handler.m_Lines.clear();
        std::string reply = GateAddrReply("127.0.0.1", 4000);
        WriteU32LE(&reply[0], type);  // 84 bytes of a notice's type
        DiscoverOverTcp(reply);
        PumpFor(50);
        EXPECT_EQ((std::vector<std::string>{Disp(m_Server.Port()), "GateSvrAddr 0 255.255.255.255 0"}),
                  m_Handler.m_Lines);
    }
}

TEST_F(EngineFaults, NotificationsReadTheirStateBeforeTheGameRuns)
{
    CTestListener gate;
    ASSERT_TRUE(gate.Listen(0));
    unsigned short closed = gate.Port();
    gate.Close();
    // Set before discovery: the refused login may be reported in the same
    // turn of the loop as the gate address (Wine refuses a loopback connect
    // at once).
    int reconnect = -1;
    m_Handler.m_OnLine = [&](const std::string& line) {
        if (reconnect == -1 && line == "GateLogin 0")
            reconnect = m_pEngine->Connect(1);
    };
    DiscoverOverTcp(GateAddrReply("127.0.0.1", closed));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("Reconnected"); }));
    EXPECT_EQ(1, reconnect);
    // The fresh attempt's failure, then the reconnect's own: no spurious
    // Reconnected(0) right after the first GateLogin(0).
    std::vector<std::string> tail(m_Handler.m_Lines.end() - 3, m_Handler.m_Lines.end());
    EXPECT_EQ((std::vector<std::string>{"GateLogin 0", "GateLogin 0", "Reconnected 0"}), tail);
}

TEST_F(EngineFaults, ReleaseLeavesNothingBehindAndRefusesConnects)
{
    CTestListener gate;
    ASSERT_TRUE(gate.Listen(0));
    DiscoverOverTcp(GateAddrReply("127.0.0.1", gate.Port()));
    ASSERT_TRUE(PumpUntil([&] { return !gate.m_Accepted.empty(); }));
    ASSERT_NE(nullptr, CResInfoVerGogImpl::Instance().GetProtocol());
    int connect = -1;
    m_Handler.m_OnLine = [&](const std::string& line) {
        if (line == "GateClosed 1")
            connect = m_pEngine->Connect(0);
    };
    m_pEngine->Release();
    m_Handler.m_pEngine = nullptr;
    EXPECT_EQ(0, connect);  // from OnGateClosed, during Release
    EXPECT_EQ(nullptr, CResInfoVerGogImpl::Instance().GetProtocol());
    gate.Close();
}

TEST_F(EngineFaults, SlowAGateThatNeverAnswersTheHandshakeIsClosed)
{
    CTestListener gate;
    ASSERT_TRUE(gate.Listen(0));
    DiscoverOverTcp(GateAddrReply("127.0.0.1", gate.Port()));
    m_Handler.m_Lines.clear();
    ASSERT_TRUE(PumpUntil([&] { return !m_Handler.m_Lines.empty(); }, 20000));
    EXPECT_EQ(std::vector<std::string>{"GateClosed 1"}, m_Handler.m_Lines);
    gate.Close();
}

TEST_F(EngineFaults, AConnectFromInsideOnDispSvrAddrIsRefused)
{
    WriteIni("[SvrAddr]\nIP=127.0.0.1\nPort=0\n");
    int again = -1;
    m_Handler.m_OnLine = [&](const std::string& line) {
        if (again == -1 && line.rfind("DispSvrAddr", 0) == 0)
            again = m_pEngine->Connect(0);
    };
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateSvrAddr"); }));
    PumpFor(100);
    EXPECT_EQ(0, again);  // the discovery was still running
    EXPECT_EQ(2u, m_Handler.m_Lines.size());
}

}  // namespace
