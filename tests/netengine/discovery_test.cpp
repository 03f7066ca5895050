#include "qxnetengine/netengine/discovery.h"
#include "common/bytes/byteorder.h"
#include "common/msgsocket/msgsocket.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "common/texts/texts.h"
#include "dispserver.h"
#include "enginefixture.h"
#include "platform/paths.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/netengine/netengine.h"
#include "qxnetengine/netengine/svraddr.h"
#include "support/pump.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Discovery : public CEngineFixture {
protected:
    static void SetUpTestSuite()
    {
        CEngineFixture::SetUpTestSuite();
        CLogFile::SetClock(FixedClock);
        std::remove((qxplat::ExeDir() + "NetLog20310102.log").c_str());
    }
    static void TearDownTestSuite() { CLogFile::SetClock(nullptr); }
    bool WaitLines(size_t n, int ms = 10000)
    {
        return PumpUntil([&] { return m_Handler.m_Lines.size() >= n; }, ms);
    }
    std::string Dispatch(unsigned short port) const
    {
        return "DispSvrAddr 1 127.0.0.1 " + std::to_string(port);
    }

    CFakeDispServer m_Server;
};

TEST_F(Discovery, GateAddressOverUdp)
{
    // Nothing listens at the gate address, so the login that follows fails;
    // whether that shows in the same turn of the loop or a later one is the
    // system's business (Wine refuses a loopback connect at once).
    unsigned short gatePort = ClosedPort();
    WriteIni(IniFor(m_Server.Port(), -1));
    m_Server.Script({{TDatagram{GateAddrReply("127.0.0.1", gatePort)}}});
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(WaitLines(3));
    std::vector<std::string> expected = {Dispatch(m_Server.Port()),
                                         "GateSvrAddr 1 127.0.0.1 " + std::to_string(gatePort),
                                         "GateLogin 0"};
    EXPECT_EQ(expected, m_Handler.m_Lines);
    EXPECT_EQ(qxplat::InetAddr("127.0.0.1"), m_pEngine->GetGateSvrAddr());
    EXPECT_EQ(gatePort, m_pEngine->GetGateSvrPort());

    ASSERT_EQ(1, m_Server.UdpRequests());
    std::string req = m_Server.UdpRequest(0);
    ASSERT_EQ(92u, req.size());
    EXPECT_EQ(0x01020304u, ReadU32LE(req.data() + 12));  // the handler's client version
}

TEST_F(Discovery, NoticesEndTheDiscoveryAfterItsFirstAttempt)
{
    struct Case {
        const char* name;
        std::string reply;
        std::string notice;
    } cases[] = {
        {"notice", NoticeReply(7, -9), "DispNotice 7 -9"},
        {"client too old", TooOldReply(), "DispNotice 4294967295 -1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeDispServer server;
        CRecordingEngineHandler handler;
        CNetEngine* engine = new CNetEngine;
        engine->Initialize(&handler);
        WriteIni(IniFor(server.Port(), -1));
        // The server answers the next discovery the same way.
        server.Script({{TDatagram{c.reply}}, {TDatagram{c.reply}}});
        ASSERT_EQ(1, engine->Connect(0));
        ASSERT_TRUE(PumpUntil([&] { return handler.m_Lines.size() >= 3; }));
        std::vector<std::string> expected = {Dispatch(server.Port()), c.notice,
                                             "GateSvrAddr 0 255.255.255.255 0"};
        EXPECT_EQ(expected, handler.m_Lines);
        if (c.reply == TooOldReply()) {
            EXPECT_EQ(1, CountInLog(TXT_VERSION_TOO_OLD));
        }

        // So the next discovery ends by its own answer: once over UDP, never TCP.
        handler.m_Lines.clear();
        ASSERT_EQ(1, engine->Connect(0));
        ASSERT_TRUE(PumpUntil([&] { return handler.m_Lines.size() >= 3; }, 8000));
        EXPECT_EQ(c.notice, handler.m_Lines[1]);
        EXPECT_EQ("GateSvrAddr 0 255.255.255.255 0", handler.m_Lines.back());
        EXPECT_EQ(2, server.UdpRequests());
        EXPECT_TRUE(server.Tcp().m_Accepted.empty());
        engine->Release();
    }
}

TEST_F(Discovery, ANoticeCountsOnlyForItsOwnDiscovery)
{
    // The next discovery reaches a server that now answers with an address:
    // over UDP on its second attempt, or over TCP alone.
    for (int tcp : {-1, 1}) {
        SCOPED_TRACE(tcp);
        CFakeDispServer server;
        CRecordingEngineHandler handler;
        CNetEngine* engine = new CNetEngine;
        engine->Initialize(&handler);
        WriteIni(IniFor(server.Port(), tcp));
        std::string addr = GateAddrReply("127.0.0.1", 4000);
        server.Script({{TDatagram{NoticeReply(7, -9)}}, {}, {TDatagram{addr}}});
        CTestListener& listener = server.Tcp();
        auto answerTcp = [&](size_t index, const std::string& reply) {
            ASSERT_TRUE(PumpUntil([&] {
                return listener.m_Accepted.size() > index &&
                       listener.m_Accepted[index]->m_strRecv.size() == 92;
            }));
            listener.m_Accepted[index]->Send(reply.data(), static_cast<unsigned>(reply.size()));
        };
        ASSERT_EQ(1, engine->Connect(0));
        if (tcp == 1)
            answerTcp(0, NoticeReply(7, -9));
        ASSERT_TRUE(PumpUntil([&] { return handler.m_Lines.size() >= 3; }));
        EXPECT_EQ("GateSvrAddr 0 255.255.255.255 0", handler.m_Lines[2]);

        handler.m_Lines.clear();
        ASSERT_EQ(1, engine->Connect(0));
        if (tcp == 1)
            answerTcp(1, addr);
        ASSERT_TRUE(PumpUntil([&] { return handler.m_Lines.size() >= 2; }, 10000));
        EXPECT_EQ("GateSvrAddr 1 127.0.0.1 4000", handler.m_Lines[1]);
        engine->Release();
    }
}

TEST_F(Discovery, WhatIsNoReplyIsIgnoredAndStrangersUseUpReceives)
{
    WriteIni(IniFor(m_Server.Port(), -1));
    std::string good = GateAddrReply("127.0.0.1", 4000);
    std::string wrongLength = NoticeReply(1, 1);
    wrongLength[0] = 34;  // type 34 with 24 bytes
    std::string wrongMagic = good;
    wrongMagic[4] = 'x';
    m_Server.Script({
        // The first attempt: three datagrams from another port use up its
        // receives, so the good one after them is never read.
        {TDatagram{good, true}, TDatagram{good, true}, TDatagram{good, true}, TDatagram{good}},
        // The second: two that are no replies, then the real one.
        {TDatagram{wrongLength}, TDatagram{wrongMagic}, TDatagram{good}},
    });
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(WaitLines(2));
    EXPECT_EQ("GateSvrAddr 1 127.0.0.1 4000", m_Handler.m_Lines[1]);
    EXPECT_EQ(2, m_Server.UdpRequests());
}

TEST_F(Discovery, TcpOnlyTakesAReplySplitAcrossReads)
{
    ASSERT_TRUE(m_Server.TcpListening());
    WriteIni(IniFor(m_Server.Port(), 0));
    ASSERT_EQ(1, m_pEngine->Connect(0));
    CTestListener& tcp = m_Server.Tcp();
    ASSERT_TRUE(PumpUntil(
        [&] { return !tcp.m_Accepted.empty() && tcp.m_Accepted[0]->m_strRecv.size() == 92; }));
    std::string reply = GateAddrReply("127.0.0.1", 5000);
    CTestConn& conn = *tcp.m_Accepted[0];
    conn.Send(reply.data(), 3);
    PumpFor(30);
    conn.Send(reply.data() + 3, 40);
    PumpFor(30);
    conn.Send(reply.data() + 43, static_cast<unsigned>(reply.size() - 43));
    ASSERT_TRUE(WaitLines(2));
    EXPECT_EQ("GateSvrAddr 1 127.0.0.1 5000", m_Handler.m_Lines[1]);
    EXPECT_EQ(0, m_Server.UdpRequests());
}

TEST_F(Discovery, SlowSilentUdpServerIsAskedOverTcpAfterThreeAttempts)
{
    ASSERT_TRUE(m_Server.TcpListening());
    WriteIni(IniFor(m_Server.Port(), -1));
    ASSERT_EQ(1, m_pEngine->Connect(0));
    CTestListener& tcp = m_Server.Tcp();
    ASSERT_TRUE(PumpUntil(
        [&] { return !tcp.m_Accepted.empty() && tcp.m_Accepted[0]->m_strRecv.size() == 92; },
        40000));
    EXPECT_EQ(3, m_Server.UdpRequests());
    std::string reply = GateAddrReply("127.0.0.1", 6000);
    tcp.m_Accepted[0]->Send(reply.data(), static_cast<unsigned>(reply.size()));
    ASSERT_TRUE(WaitLines(2));
    EXPECT_EQ("GateSvrAddr 1 127.0.0.1 6000", m_Handler.m_Lines[1]);
}

TEST_F(Discovery, ASecondConnectWhileDiscoveringIsRefused)
{
    unsigned short gatePort = ClosedPort();
    WriteIni(IniFor(m_Server.Port(), -1));
    m_Server.Script({{}, {TDatagram{GateAddrReply("127.0.0.1", gatePort)}}});
    ASSERT_EQ(1, m_pEngine->Connect(0));
    EXPECT_EQ(0, m_pEngine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Server.UdpRequests() == 1; }));
    EXPECT_EQ(0, m_pEngine->Connect(0));  // during the UDP wait too
    // The refused calls added nothing: one discovery, then its failed login.
    ASSERT_TRUE(WaitLines(3));
    PumpFor(50);
    std::vector<std::string> expected = {Dispatch(m_Server.Port()),
                                         "GateSvrAddr 1 127.0.0.1 " + std::to_string(gatePort),
                                         "GateLogin 0"};
    EXPECT_EQ(expected, m_Handler.m_Lines);
    EXPECT_EQ(1, m_pEngine->Connect(0));  // over: the next may start
}

TEST_F(Discovery, ReleasedFromInsideTheFinalCallback)
{
    WriteIni(IniFor(m_Server.Port(), -1));
    m_Server.Script({{TDatagram{GateAddrReply("127.0.0.1", 4321)}}});
    m_Handler.m_bReleaseOnGateAddr = true;
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_pEngine == nullptr; }));
    PumpFor(50);
}

// A lookup that blocks until the test lets it go.
std::mutex g_LookupMutex;
std::condition_variable g_LookupCv;
bool g_bLookupFree = false;
bool g_bLookupStarted = false;

bool BlockingLookup(const char*, uint32_t* addr)
{
    std::unique_lock<std::mutex> lock(g_LookupMutex);
    g_bLookupStarted = true;
    g_LookupCv.notify_all();
    g_LookupCv.wait(lock, [] { return g_bLookupFree; });
    *addr = qxplat::InetAddr("127.0.0.1");
    return true;
}

TEST_F(Discovery, ReleaseNeverWaitsForALookupOrAWorker)
{
    WriteIni(IniFor(m_Server.Port(), -1));
    SetDispResolver(BlockingLookup);
    ASSERT_EQ(1, m_pEngine->Connect(0));
    {
        std::unique_lock<std::mutex> lock(g_LookupMutex);
        ASSERT_TRUE(
            g_LookupCv.wait_for(lock, std::chrono::seconds(5), [] { return g_bLookupStarted; }));
    }
    m_pEngine->Release();  // returns although the lookup still blocks
    m_Handler.m_pEngine = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_LookupMutex);
        g_bLookupFree = true;
    }
    g_LookupCv.notify_all();
    SetDispResolver(nullptr);
    PumpFor(200);  // the late result finds no engine
    EXPECT_TRUE(m_Handler.m_Lines.empty());

    // Released while a UDP worker waits for a silent server.
    CRecordingEngineHandler handler;
    CNetEngine* engine = new CNetEngine;
    engine->Initialize(&handler);
    ASSERT_EQ(1, engine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Server.UdpRequests() == 1; }));
    engine->Release();
    PumpFor(200);
    EXPECT_EQ(std::vector<std::string>{Dispatch(m_Server.Port())}, handler.m_Lines);
}

}  // namespace

namespace {

TEST_F(Discovery, AStepThatCannotHandItsResultOverLetsTheNextConnectStart)
{
    // Before the windows exist nothing could ever be reported.
    CMsgSyncWnd::Instance().Destroy();
    EXPECT_EQ(0, m_pEngine->Connect(0));
    ASSERT_TRUE(CMsgSyncWnd::Instance().Create(qxplat::LibraryModule()));

    // The window goes while the lookup runs: its result finds none.
    {
        std::lock_guard<std::mutex> lock(g_LookupMutex);
        g_bLookupFree = false;
        g_bLookupStarted = false;
    }
    WriteIni(IniFor(m_Server.Port(), -1));
    SetDispResolver(BlockingLookup);
    ASSERT_EQ(1, m_pEngine->Connect(0));
    {
        std::unique_lock<std::mutex> lock(g_LookupMutex);
        ASSERT_TRUE(
            g_LookupCv.wait_for(lock, std::chrono::seconds(5), [] { return g_bLookupStarted; }));
    }
    CMsgSyncWnd::Instance().Destroy();
    {
        std::lock_guard<std::mutex> lock(g_LookupMutex);
        g_bLookupFree = true;
    }
    g_LookupCv.notify_all();
    bool ended = PumpUntil([&] { return !m_pEngine->IsDiscovering(); }, 5000);
    ASSERT_TRUE(CMsgSyncWnd::Instance().Create(qxplat::LibraryModule()));
    ASSERT_TRUE(ended);
    SetDispResolver(nullptr);
    EXPECT_TRUE(m_Handler.m_Lines.empty());
    m_Server.Script({{TDatagram{GateAddrReply("127.0.0.1", 4000)}}});
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(WaitLines(2));
    EXPECT_EQ("GateSvrAddr 1 127.0.0.1 4000", m_Handler.m_Lines[1]);
}

}  // namespace

namespace {

qxplat::SockHandle NoSocket(const qxplat::TSockAddrV4&, int, bool* notCreated)
{
    *notCreated = true;  // as when the system has no socket to give
    return qxplat::kInvalidSock;
}

TEST_F(Discovery, ATcpSocketThatCannotBeCreatedIsLoggedAsSuch)
{
    int created = CountInLog(TXT_TCP_SOCKET_FAILED);
    char connectFailed[128];
    snprintf(connectFailed, sizeof connectFailed, TXT_DISP_CONNECT_FAILED,
             "CNetEngine::DoGetGateSvrAddr2TCP");
    int connects = CountInLog(connectFailed);
    SetDispTcpConnector(NoSocket);
    WriteIni(IniFor(m_Server.Port(), 0));
    ASSERT_EQ(1, m_pEngine->Connect(0));
    bool ended = WaitLines(2);
    SetDispTcpConnector(nullptr);
    ASSERT_TRUE(ended);
    EXPECT_EQ("GateSvrAddr 0 255.255.255.255 0", m_Handler.m_Lines[1]);
    EXPECT_EQ(created + 1, CountInLog(TXT_TCP_SOCKET_FAILED));
    EXPECT_EQ(connects, CountInLog(connectFailed));
}

}  // namespace
