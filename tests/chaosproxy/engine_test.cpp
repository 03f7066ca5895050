// The engine through the chaos proxy, in front of the reference servers:
// discovery when datagrams are lost, a login and echoes when the stream comes
// late and in single bytes, a reset and a stall after the login, and updates
// that are slow, cut or stalled.
#include "chaosproxy.h"
#include "common/bytes/byteorder.h"
#include "common/protocols/gatehandshake.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "dispserver.h"
#include "gateserver.h"
#include "netengine/enginetest.h"
#include "packages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "qxnetengine/gameclient/gatesvrsocket.h"
#include "qxnetengine/netengine/netengine.h"
#include "qxnetengine/resinfovermgr/resinfoinnerconn.h"
#include "qxnetengine/resinfovermgr/resinfovermgr.h"
#include "reflog.h"
#include "refservers.h"
#include "support/fakes.h"
#include "support/pump.h"
#include "support/scratchdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// Versions no other test uses, so what the engine keeps in ResInfo/ is ours.
const char kPackages[] =
    "package 61 1\n"
    "record 6101 chaos_a kind=texture file=ui/a.dds\n"
    "record 6102 chaos_b kind=font file=ui/b.ttf size=16\n"
    "package 61 2\n"
    "record 6201 chaos_c kind=map file=maps/c.map region=east\n";
const char* const kPackageFiles[] = {"61.1", "61.2"};
const uint32_t kRecords = 3;

// Fields change the profile so far; a name (given first) replaces it.
TChaosProfile ProfileOf(const std::vector<std::string>& fields)
{
    TChaosProfile p;
    for (const std::string& f : fields) {
        if (!ChaosSetField(f, &p) && !ChaosNamedProfile(f, &p))
            ADD_FAILURE() << "not a profile or a field: " << f;
    }
    return p;
}

// The reference gate behind one proxy, the reference dispatch server (which
// names the gate proxy) behind another, and an engine whose SvrAddr.ini
// points at the dispatch proxy.
class ChaosEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureSockWnd();
        CMsgSyncWnd::Instance().Create(qxplat::LibraryModule());
        SetRefLogQuiet(true);
    }
    void Start(const std::vector<std::string>& dispFields,
               const std::vector<std::string>& gateFields,
               const std::vector<std::string>& resInfoFields = {})
    {
        std::ofstream(m_Packages.Path("packages.txt")) << kPackages;
        ASSERT_TRUE(
            BuildPackages(m_Packages.Path("packages.txt").c_str(), m_Packages.Path("out"), false));
        TRefServersConfig servers;
        servers.gatePort = 0;
        servers.resInfoPort = 0;
        servers.packageDir = m_Packages.Path("out");
        ASSERT_TRUE(m_Servers.Start(servers));
        TChaosConfig res;
        res.profile = ProfileOf(resInfoFields);
        res.tcpTarget = m_Servers.ResInfoPort();
        res.seed = 17;
        res.log = [this](const std::string& l) { m_ProxyLines.push_back(l); };
        ASSERT_TRUE(m_ResProxy.Start(res));
        m_Servers.NameResInfoPort(m_ResProxy.TcpPort());
        TChaosConfig gate;
        gate.profile = ProfileOf(gateFields);
        gate.tcpTarget = m_Servers.GatePort();
        gate.seed = 11;
        gate.log = [this](const std::string& l) { m_ProxyLines.push_back(l); };
        ASSERT_TRUE(m_GateProxy.Start(gate));
        TDispConfig dc;
        dc.gatePort = m_GateProxy.TcpPort();
        m_pDisp.reset(new CRefDispServer(dc));
        ASSERT_TRUE(m_pDisp->Start(0));
        TChaosConfig disp;
        disp.profile = ProfileOf(dispFields);
        disp.tcpTarget = disp.udpTarget = m_pDisp->Port();
        disp.seed = 13;
        ASSERT_TRUE(m_DispProxy.Start(disp));
        ASSERT_EQ(m_DispProxy.TcpPort(), m_DispProxy.UdpPort());
        WriteIni(IniFor(m_DispProxy.UdpPort(), -1));
        m_pEngine = new CNetEngine;
        m_Handler.m_pEngine = m_pEngine;
        ASSERT_EQ(1, m_pEngine->Initialize(&m_Handler));
        ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&m_Echo));
        ASSERT_EQ(1, m_pEngine->Connect(0));
    }
    void TearDown() override
    {
        if (m_Handler.m_pEngine)
            m_Handler.m_pEngine->Release();
        std::remove(SvrAddrIniPath().c_str());
        m_DispProxy.Stop();
        m_GateProxy.Stop();
        m_ResProxy.Stop();
        if (m_pDisp)
            m_pDisp->Stop();
        m_Servers.Stop();
    }
    int Count(const std::string& prefix) const
    {
        int n = 0;
        for (const std::string& l : m_Handler.m_Lines)
            n += l.compare(0, prefix.size(), prefix) == 0;
        return n;
    }

    CRefServers m_Servers;
    std::unique_ptr<CRefDispServer> m_pDisp;
    CChaosProxy m_GateProxy, m_DispProxy, m_ResProxy;
    CScratchDir m_Packages{"chaospkg"};
    std::vector<std::string> m_ProxyLines;
    CRecordingEngineHandler m_Handler;
    CRecordingHandler m_Echo{CRefGateServer::kEchoModule};
    CNetEngine* m_pEngine = nullptr;
};

struct TGateCase {
    const char* name;
    std::vector<std::string> gate;
};

class ChaosGate : public ChaosEngine, public ::testing::WithParamInterface<TGateCase> {};

// However late and in whatever pieces the stream comes, the login succeeds
// and every echo comes back whole and in order.
TEST_P(ChaosGate, LoginAndEchoesArriveWholeAndInOrder)
{
    Start({}, GetParam().gate);
    ASSERT_TRUE(PumpUntil(
        [&] { return m_Handler.Has("Connected") || m_Handler.Has("GateLogin 0"); }, 15000));
    ASSERT_TRUE(m_Handler.Has("Connected"));
    IMsgSender* sender = m_pEngine->GetSender();
    ASSERT_NE(nullptr, sender);
    std::vector<std::string> bodies;
    for (size_t len : {1, 200, 600}) {
        bodies.push_back(MakeBody(CRefGateServer::kEchoModule, static_cast<unsigned short>(len),
                                  std::string(len, static_cast<char>('a' + len % 26))));
        ASSERT_TRUE(
            sender->Send(bodies.back().data(), static_cast<unsigned>(bodies.back().size())));
    }
    ASSERT_TRUE(PumpUntil([&] { return m_Echo.m_Bodies.size() >= bodies.size(); }, 15000));
    EXPECT_EQ(bodies, m_Echo.m_Bodies);
    EXPECT_EQ(0, Count("GateClosed"));
}

INSTANTIATE_TEST_SUITE_P(Profiles, ChaosGate,
                         ::testing::Values(TGateCase{"oneByte", {"1-byte"}},
                                           TGateCase{"smallPieces", {"segment=5"}},
                                           TGateCase{"latencyJitter", {"latency=100", "jitter=50"}},
                                           TGateCase{"mobile", {"mobile"}}),
                         [](const ::testing::TestParamInfo<TGateCase>& info) {
                             return std::string(info.param.name);
                         });

// A reset once the client has sent past its login is one OnGateClosed(1).
TEST_F(ChaosEngine, AResetAfterTheLoginClosesTheGateOnce)
{
    Start({}, {"up-reset-after-bytes=200"});
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("Connected"); }, 5000));
    std::string body = MakeBody(CRefGateServer::kEchoModule, 1, std::string(400, 'r'));
    m_pEngine->GetSender()->Send(body.data(), static_cast<unsigned>(body.size()));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateClosed"); }, 5000));
    PumpFor(200);
    EXPECT_EQ(1, Count("GateClosed 1"));
    EXPECT_EQ(1u, m_GateProxy.Counts().tcpResets);
    EXPECT_TRUE(m_Echo.m_Bodies.empty());
}

// The gate goes silent both ways right after the login, as behind a dead
// link. Nothing in the engine watches an established connection: the game
// hears nothing, not even once the handshake's watchdog would have fired,
// and its messages wait in the buffers. When they are full, the Send that
// finds no room ends the connection with one OnGateClosed(1); nothing
// reconnects by itself, and a reconnect logs in again.
TEST_F(ChaosEngine, SlowAStallAfterTheLoginIsSilentUntilASendFindsNoRoom)
{
    using namespace GateHandshake;
    const uint32_t loginUp = 4 + kHeadLen + kRequestBodyLen;
    const uint32_t loginDown = 4 + kHeadLen + kReplyBodyLen;
    Start({}, {"up-stall-after-bytes=" + std::to_string(loginUp),
               "down-stall-after-bytes=" + std::to_string(loginDown)});
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("Connected"); }, 5000));
    const size_t heard = m_Handler.m_Lines.size();
    IMsgSender* sender = m_pEngine->GetSender();
    ASSERT_NE(nullptr, sender);
    const std::string body = MakeBody(CRefGateServer::kEchoModule, 1, std::string(3000, 's'));
    auto send = [&] { return sender->Send(body.data(), static_cast<unsigned>(body.size())); };
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(send());
    PumpFor(static_cast<int>(CGateSvrSocket::kHandshakeTimeoutMs) + 1000);
    EXPECT_EQ(heard, m_Handler.m_Lines.size());
    EXPECT_TRUE(m_Echo.m_Bodies.empty());
    EXPECT_EQ(sender, m_pEngine->GetSender());
    EXPECT_EQ(1u, m_GateProxy.Counts().tcpStalls);

    // Wine takes every send of a non-blocking socket whose peer reads
    // nothing (64 MiB, all queued outside the engine): there the buffers
    // never fill, and the connection stays.
#ifndef _WIN32
    // The proxy gets a turn after every message, so only the stall keeps
    // them from leaving; the kernel's buffers take some megabytes first.
    const int kMostSends = 64 * 1024 * 1024 / 3000;
    for (int i = 0; i < kMostSends && !m_Handler.Has("GateClosed"); ++i) {
        send();
        PumpFor(1);
    }
    ASSERT_TRUE(m_Handler.Has("GateClosed"));
    EXPECT_FALSE(send());
    EXPECT_EQ(nullptr, m_pEngine->GetSender());
    PumpFor(200);
    EXPECT_EQ((std::vector<std::string>{"GateClosed 1"}),
              std::vector<std::string>(m_Handler.m_Lines.begin() + static_cast<long>(heard),
                                       m_Handler.m_Lines.end()));
    EXPECT_TRUE(m_Echo.m_Bodies.empty());

    m_GateProxy.SetTcpProfile(TChaosProfile());
    ASSERT_EQ(1, m_pEngine->Connect(1));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("Reconnected"); }, 5000));
    EXPECT_EQ(1, Count("Reconnected 1"));
    ASSERT_NE(nullptr, m_pEngine->GetSender());
    EXPECT_TRUE(m_pEngine->GetSender()->Send(body.data(), static_cast<unsigned>(body.size())));
    ASSERT_TRUE(PumpUntil([&] { return !m_Echo.m_Bodies.empty(); }, 5000));
    EXPECT_EQ(body, m_Echo.m_Bodies[0]);
#endif
}

struct TDiscoveryCase {
    const char* name;
    std::vector<std::string> disp;
    bool found;  // the gate is found (by a UDP retry or over TCP)
};

class ChaosDiscovery : public ChaosEngine, public ::testing::WithParamInterface<TDiscoveryCase> {};

// Lost datagrams cost retries or the TCP fallback, never the discovery;
// when nothing gets through it ends in exactly one OnGateSvrAddr(0).
// Three UDP attempts and the TCP one can take their whole waits (21 s and more).
TEST_P(ChaosDiscovery, SlowEndsOnceAsTheLossAllows)
{
    const TDiscoveryCase& c = GetParam();
    Start(c.disp, {});
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateSvrAddr"); }, 45000));
    PumpFor(200);
    EXPECT_EQ(1, Count("GateSvrAddr"));
    EXPECT_EQ(c.found ? 1 : 0, Count("GateSvrAddr 1"));
    if (c.found) {
        EXPECT_TRUE(PumpUntil([&] { return m_Handler.Has("Connected"); }, 5000));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Loss, ChaosDiscovery,
    ::testing::Values(TDiscoveryCase{"loss30", {"loss=30"}, true},
                      TDiscoveryCase{"loss60", {"loss=60"}, true},
                      TDiscoveryCase{"deadUdpFallsBackToTcp", {"dead-udp"}, true},
                      TDiscoveryCase{"nothingGetsThrough", {"dead-udp", "refuse"}, false}),
    [](const ::testing::TestParamInfo<TDiscoveryCase>& info) {
        return std::string(info.param.name);
    });

// A resource update through the proxy in front of the resource server.
class ChaosUpdate : public ChaosEngine {
protected:
    void SetUp() override { RemoveDownloads(); }
    void TearDown() override
    {
        ChaosEngine::TearDown();
        RemoveDownloads();
    }
    void RemoveDownloads()
    {
        for (const char* f : kPackageFiles) std::remove((Downloads() + f).c_str());
    }
    static std::string Downloads() { return qxplat::LibraryDir() + "ResInfo" + qxplat::kPathSep; }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Asks for everything after version 60; the result code of the answer,
    // and the answers count.
    int Update(size_t* answers, int ms)
    {
        m_Game.m_Bodies.clear();
        std::string get(4, '\0');
        WriteU32LE(&get[0], 60);
        std::string body = MakeBody(300, 1, get);
        EXPECT_TRUE(m_pEngine->GetSender()->Send(body.data(), static_cast<unsigned>(body.size())));
        EXPECT_TRUE(PumpUntil([&] { return !m_Game.m_Bodies.empty(); }, ms));
        if (m_Game.m_Bodies.empty() || m_Game.m_Bodies[0].size() < 16)
            return -100;
        int result = static_cast<int>(ReadU32LE(m_Game.m_Bodies[0].data() + 4));
        if (result == 0) {
            uint32_t count = ReadU32LE(m_Game.m_Bodies[0].data() + 12);
            EXPECT_EQ(kRecords, count);
            EXPECT_TRUE(PumpUntil([&] { return m_Game.m_Bodies.size() == 1 + count; }, 2000));
        }
        *answers = m_Game.m_Bodies.size();
        return result;
    }
    void LogIn(const std::vector<std::string>& resInfoFields)
    {
        Start({}, {}, resInfoFields);
        ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&m_Game));
        ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("Connected"); }, 5000));
    }
    // Asks, the connection to the resource server being spoilt as fields
    // say in the middle of the first file; the answer must be -3 (and not
    // before minMs), with no partial file under its name, and the next
    // update, on a connection the proxy leaves alone, completes.
    void CutMidDownload(const std::vector<std::string>& fields, int minMs)
    {
        LogIn(fields);
        size_t answers = 0;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(-3, Update(&answers, minMs + 10000));
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count(),
                  minMs);
        EXPECT_EQ(1u, answers);
        EXPECT_EQ(1u, m_ResProxy.Counts().tcpResets + m_ResProxy.Counts().tcpStalls);
        EXPECT_GT(Read(m_Packages.Path("out") + qxplat::kPathSep + kPackageFiles[0]).size(), 200u);
        EXPECT_FALSE(qxplat::FileExists(Downloads() + kPackageFiles[0]));
        m_ResProxy.SetTcpProfile(TChaosProfile());
        EXPECT_EQ(0, Update(&answers, 5000));
        EXPECT_EQ(1 + kRecords, answers);
        ExpectFilesWhole();
    }
    void ExpectFilesWhole()
    {
        for (const char* f : kPackageFiles) {
            SCOPED_TRACE(f);
            std::string want = Read(m_Packages.Path("out") + qxplat::kPathSep + f);
            EXPECT_FALSE(want.empty());
            EXPECT_EQ(want, Read(Downloads() + f));
        }
    }

    CRecordingHandler m_Game{300};
};

struct TUpdateCase {
    const char* name;
    std::vector<std::string> resInfo;
};

class ChaosUpdateProfiles : public ChaosUpdate,
                            public ::testing::WithParamInterface<TUpdateCase> {};

// A slow, late or finely cut download is slow, not broken: it completes
// with the right files.
TEST_P(ChaosUpdateProfiles, CompletesWithTheRightFiles)
{
    LogIn(GetParam().resInfo);
    size_t answers = 0;
    EXPECT_EQ(0, Update(&answers, 15000));
    EXPECT_EQ(1 + kRecords, answers);
    ExpectFilesWhole();
}

INSTANTIATE_TEST_SUITE_P(Profiles, ChaosUpdateProfiles,
                         ::testing::Values(TUpdateCase{"oneByte", {"1-byte"}},
                                           TUpdateCase{"thin", {"bandwidth=4k"}},
                                           TUpdateCase{"oneMiBPerSecond", {"bandwidth=1m"}},
                                           TUpdateCase{"mobile", {"mobile"}}),
                         [](const ::testing::TestParamInfo<TUpdateCase>& info) {
                             return std::string(info.param.name);
                         });

// A reset in the middle of a download answers -3 at once.
TEST_F(ChaosUpdate, AResetMidDownloadGivesMinusThreeAndTheNextCompletes)
{
    CutMidDownload({"down-reset-after-bytes=200"}, 0);
}

// A download that stops moving closes nothing by itself: the reply watchdog
// ends it with -3.
TEST_F(ChaosUpdate, SlowAStallMidDownloadGivesMinusThreeAfterTheWatchdog)
{
    CutMidDownload({"down-stall-after-bytes=200"},
                   static_cast<int>(CResInfoInnerConn::kReplyTimeoutMs));
}

// A download slower in total than the reply watchdog but never quiet for
// that long completes: every byte re-arms the watchdog. The bandwidth makes
// the files' bytes alone, one at a time, take longer than the watchdog.
TEST_F(ChaosUpdate, SlowAMovingDownloadOutlastsTheWatchdogAndCompletes)
{
    LogIn({});
    size_t fileBytes = 0;
    for (const char* f : kPackageFiles)
        fileBytes += Read(m_Packages.Path("out") + qxplat::kPathSep + f).size();
    const int watchdog = static_cast<int>(CResInfoInnerConn::kReplyTimeoutMs);
    const size_t bandwidth = fileBytes * 1000 / static_cast<size_t>(watchdog + 1000);
    ASSERT_GT(bandwidth, 0u);
    m_ResProxy.SetTcpProfile(
        ProfileOf({"down-segment=1", "down-bandwidth=" + std::to_string(bandwidth)}));
    size_t answers = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Update(&answers, 3 * watchdog));
    EXPECT_GT(std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count(),
              watchdog);
    EXPECT_EQ(1 + kRecords, answers);
    ExpectFilesWhole();
}

}  // namespace
