// The chaos proxy itself, between the test sockets: what it lets through
// arrives whole and in order however it is cut and delayed, and its faults
// (loss, resets, stalls, refusals) happen exactly where the profile says.
#include "chaosproxy.h"
#include "platform/blocksock.h"
#include "platform/sockaddr.h"
#include "support/pump.h"
#include "support/testsockets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

using namespace qxplat;

namespace {

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return s;
}

TChaosProfile Profile(const std::vector<std::string>& fields)
{
    TChaosProfile p;
    for (const std::string& f : fields) EXPECT_TRUE(ChaosSetField(f, &p)) << f;
    return p;
}

struct TTcpCase {
    const char* name;
    std::vector<std::string> fields;
    size_t bytes;    // sent by the client in pieces of 1000, echoed by the target
    int minMs;       // the echo cannot be back sooner
    bool manyReads;  // the target sees the bytes in about as many reads as bytes
};

class ChaosTcp : public ::testing::TestWithParam<TTcpCase> {};

// Whatever the proxy does to the timing and the cutting, a stream arrives
// whole and in order, both ways, and its delays are really applied.
TEST_P(ChaosTcp, EchoArrivesWholeAndInOrder)
{
    const TTcpCase& c = GetParam();
    EnsureSockWnd();
    CTestListener target;
    target.m_bEcho = true;
    target.m_nRecvCap = target.m_nSendCap = 65536;
    ASSERT_TRUE(target.Listen(0));
    TChaosConfig config;
    config.profile = Profile(c.fields);
    config.tcpTarget = target.Port();
    config.seed = 7;
    CChaosProxy proxy;
    ASSERT_TRUE(proxy.Start(config));

    CTestConn client(65536, 65536);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.Connect("127.0.0.1", proxy.TcpPort()));
    ASSERT_TRUE(PumpUntil([&] { return !client.m_Connects.empty(); }));
    ASSERT_TRUE(client.m_Connects[0]);
    std::string sent = Pattern(c.bytes);
    for (size_t pos = 0; pos < sent.size(); pos += 1000)
        client.Send(sent.data() + pos,
                    static_cast<unsigned int>(std::min<size_t>(1000, sent.size() - pos)));
    ASSERT_TRUE(PumpUntil([&] { return client.m_strRecv.size() >= sent.size(); }, 5000))
        << client.m_strRecv.size() << " of " << sent.size();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start)
                  .count();
    EXPECT_EQ(client.m_strRecv, sent);
    EXPECT_GE(ms, c.minMs);
    ASSERT_EQ(target.m_Accepted.size(), 1u);
#ifndef _WIN32
    // Windows ticks the proxy's timer every 10 to 16 ms: the pieces due in
    // one tick leave together and may be read together.
    if (c.manyReads) {
        EXPECT_GE(target.m_Accepted[0]->m_RecvLens.size(), c.bytes / 2);
    }
#endif
    EXPECT_EQ(proxy.Counts().tcpBytesUp, c.bytes);
    EXPECT_EQ(proxy.Counts().tcpBytesDown, c.bytes);

    // The client's close reaches the target once everything has passed.
    client.Close();
    EXPECT_TRUE(PumpUntil([&] { return target.m_Accepted[0]->m_nCloses == 1; }, 2000));
    EXPECT_EQ(proxy.Counts().tcpResets, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, ChaosTcp,
    ::testing::Values(TTcpCase{"clean", {}, 50000, 0, false},
                      TTcpCase{"oneByte", {"segment=1", "segment-delay=1"}, 300, 0, true},
                      TTcpCase{"smallPieces", {"segment=7"}, 20000, 0, false},
                      // Each way at least latency - jitter.
                      TTcpCase{"latencyJitter", {"latency=100", "jitter=50"}, 5000, 100, false},
                      // 32 KiB at 64 KiB/s each way, pipelined: at least half a second.
                      TTcpCase{"thinBandwidth", {"bandwidth=64k"}, 32768, 450, false},
                      TTcpCase{"mobile",
                               {"latency=30", "jitter=20", "bandwidth=512k", "segment=100"},
                               20000,
                               40,
                               false}),
    [](const ::testing::TestParamInfo<TTcpCase>& info) { return std::string(info.param.name); });

struct TFaultCase {
    const char* name;
    std::vector<std::string> fields;
    size_t bytesAtTarget;  // what the target receives of the client's 1000
    bool closes;           // both sides end (a reset); otherwise both stay open
};

class ChaosTcpFault : public ::testing::TestWithParam<TFaultCase> {};

// A reset ends both sides right after its byte count or time; a stall lets
// exactly its bytes through and then nothing, closing nothing.
TEST_P(ChaosTcpFault, EndsOrStallsWhereTheProfileSays)
{
    const TFaultCase& c = GetParam();
    EnsureSockWnd();
    CTestListener target;
    ASSERT_TRUE(target.Listen(0));
    TChaosConfig config;
    config.profile = Profile(c.fields);
    config.tcpTarget = target.Port();
    std::vector<std::string> lines;
    config.log = [&lines](const std::string& l) { lines.push_back(l); };
    CChaosProxy proxy;
    ASSERT_TRUE(proxy.Start(config));

    CTestConn client;
    ASSERT_TRUE(client.Connect("127.0.0.1", proxy.TcpPort()));
    ASSERT_TRUE(
        PumpUntil([&] { return !client.m_Connects.empty() && !target.m_Accepted.empty(); }));
    std::string sent = Pattern(1000);
    client.Send(sent.data(), static_cast<unsigned int>(sent.size()));
    CTestConn& server = *target.m_Accepted[0];
    if (c.closes) {
        ASSERT_TRUE(
            PumpUntil([&] { return client.m_nCloses == 1 && server.m_nCloses == 1; }, 3000));
        EXPECT_EQ(proxy.Counts().tcpResets, 1u);
    } else {
        ASSERT_TRUE(PumpUntil([&] { return server.m_strRecv.size() >= c.bytesAtTarget; }, 3000));
        PumpFor(300);
        EXPECT_EQ(client.m_nCloses, 0);
        EXPECT_EQ(server.m_nCloses, 0);
        EXPECT_EQ(proxy.Counts().tcpStalls, 1u);
    }
    EXPECT_EQ(server.m_strRecv, sent.substr(0, c.bytesAtTarget));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(c.closes ? "reset" : "stall"), std::string::npos) << lines[0];
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ChaosTcpFault,
    ::testing::Values(TFaultCase{"resetAfterBytes", {"up-reset-after-bytes=100"}, 100, true},
                      TFaultCase{"resetAtOnce", {"up-reset-after-bytes=0"}, 0, true},
                      TFaultCase{"resetAfterTime", {"reset-after-ms=200", "latency=1000"}, 0, true},
                      TFaultCase{"stallAfterBytes", {"up-stall-after-bytes=300"}, 300, false},
                      TFaultCase{"stallAfterTime", {"up-stall-after-ms=0"}, 0, false}),
    [](const ::testing::TestParamInfo<TFaultCase>& info) { return std::string(info.param.name); });

TEST(ChaosTcpRefuse, NothingListens)
{
    EnsureSockWnd();
    CTestListener target;
    ASSERT_TRUE(target.Listen(0));
    TChaosConfig config;
    ASSERT_TRUE(ChaosNamedProfile("refuse", &config.profile));
    config.tcpTarget = target.Port();
    CChaosProxy proxy;
    ASSERT_TRUE(proxy.Start(config));
    CTestConn client;
    client.Connect("127.0.0.1", proxy.TcpPort());
    ASSERT_TRUE(PumpUntil([&] { return !client.m_Connects.empty(); }));
    EXPECT_FALSE(client.m_Connects[0]);
    EXPECT_TRUE(target.m_Accepted.empty());
}

// A refusing profile set later closes the port (a connection made before
// goes on), and the next profile opens the same port again, as a rotation
// of profiles needs.
TEST(ChaosTcpRefuse, LaterProfilesCloseAndReopenThePort)
{
    EnsureSockWnd();
    CTestListener target;
    target.m_bEcho = true;
    ASSERT_TRUE(target.Listen(0));
    TChaosConfig config;
    config.tcpTarget = target.Port();
    CChaosProxy proxy;
    ASSERT_TRUE(proxy.Start(config));
    CTestConn before;
    ASSERT_TRUE(before.Connect("127.0.0.1", proxy.TcpPort()));
    ASSERT_TRUE(
        PumpUntil([&] { return !before.m_Connects.empty() && !target.m_Accepted.empty(); }));

    TChaosProfile refuse;
    ASSERT_TRUE(ChaosNamedProfile("refuse", &refuse));
    proxy.SetTcpProfile(refuse);
    CTestConn refused;
    refused.Connect("127.0.0.1", proxy.TcpPort());
    ASSERT_TRUE(PumpUntil([&] { return !refused.m_Connects.empty(); }));
    EXPECT_FALSE(refused.m_Connects[0]);
    before.Send("ping", 4);
    EXPECT_TRUE(PumpUntil([&] { return before.m_strRecv == "ping"; }));

    proxy.SetTcpProfile(TChaosProfile());
    CTestConn after;
    ASSERT_TRUE(after.Connect("127.0.0.1", proxy.TcpPort()));
    ASSERT_TRUE(PumpUntil([&] { return !after.m_Connects.empty(); }));
    EXPECT_TRUE(after.m_Connects[0]);
    EXPECT_TRUE(PumpUntil([&] { return target.m_Accepted.size() == 2; }));
}

// A target that refuses is passed on as a reset of the client's connection.
TEST(ChaosTcpRefuse, TargetRefusesResetsTheClient)
{
    EnsureSockWnd();
    TChaosConfig config;
    config.tcpTarget = ClosedPort();
    CChaosProxy proxy;
    ASSERT_TRUE(proxy.Start(config));
    CTestConn client;
    client.Connect("127.0.0.1", proxy.TcpPort());
    EXPECT_TRUE(PumpUntil([&] { return client.m_nCloses == 1; }));
    EXPECT_EQ(proxy.Counts().tcpResets, 1u);
}

// UDP: the client's datagrams through the proxy to a target that answers each.
struct TUdpRun {
    std::vector<int> atTarget;  // ids in the order they arrived
    std::vector<int> atClient;
};

TUdpRun RunUdp(const std::vector<std::string>& fields, int count, uint32_t seed)
{
    TUdpRun run;
    SockHandle target = UdpOpen(0);
    SockHandle client = UdpOpen(0);
    EXPECT_NE(target, kInvalidSock);
    EXPECT_NE(client, kInvalidSock);
    TSockAddrV4 t;
    EXPECT_TRUE(SockLocalAddr(target, &t));
    TChaosConfig config;
    config.profile = Profile(fields);
    config.udpTarget = t.portHostOrder;
    config.seed = seed;
    CChaosProxy proxy;
    EXPECT_TRUE(proxy.Start(config));
    TSockAddrV4 to;
    to.addrNetOrder = InetAddr("127.0.0.1");
    to.portHostOrder = proxy.UdpPort();
    for (int i = 0; i < count; ++i) {
        std::string d = std::to_string(i);
        UdpSendTo(client, d.data(), static_cast<int>(d.size()), to);
    }
    // Each side waits until nothing has come for a while; the proxy's
    // largest hold-back here is well under it.
    char buf[64];
    TSockAddrV4 from;
    int n;
    while ((n = UdpRecvFrom(target, buf, sizeof buf, &from, 150)) >= 0) {
        run.atTarget.push_back(std::stoi(std::string(buf, static_cast<size_t>(n))));
        UdpSendTo(target, buf, n, from);
    }
    while ((n = UdpRecvFrom(client, buf, sizeof buf, &from, 150)) >= 0)
        run.atClient.push_back(std::stoi(std::string(buf, static_cast<size_t>(n))));
    proxy.Stop();
    BlockSockClose(target);
    BlockSockClose(client);
    return run;
}

std::vector<int> Ids(int count)
{
    std::vector<int> v;
    for (int i = 0; i < count; ++i) v.push_back(i);
    return v;
}

TEST(ChaosUdp, CleanPassesEverythingInOrder)
{
    TUdpRun run = RunUdp({}, 50, 1);
    EXPECT_EQ(run.atTarget, Ids(50));
    EXPECT_EQ(run.atClient, Ids(50));
}

TEST(ChaosUdp, FullLossDropsEverything)
{
    TUdpRun run = RunUdp({"up-loss=100"}, 50, 1);
    EXPECT_TRUE(run.atTarget.empty());
    run = RunUdp({"down-loss=100"}, 50, 1);
    EXPECT_EQ(run.atTarget, Ids(50));
    EXPECT_TRUE(run.atClient.empty());
}

// Partial loss drops some and keeps the rest in order, and the same seed
// drops the same datagrams again.
TEST(ChaosUdp, PartialLossRepeatsWithItsSeed)
{
    TUdpRun a = RunUdp({"up-loss=30"}, 200, 5);
    EXPECT_GT(a.atTarget.size(), 100u);
    EXPECT_LT(a.atTarget.size(), 180u);
    EXPECT_TRUE(std::is_sorted(a.atTarget.begin(), a.atTarget.end()));
    TUdpRun b = RunUdp({"up-loss=30"}, 200, 5);
    EXPECT_EQ(a.atTarget, b.atTarget);
    TUdpRun c = RunUdp({"up-loss=30"}, 200, 6);
    EXPECT_NE(a.atTarget, c.atTarget);
}

TEST(ChaosUdp, DuplicationAndReordering)
{
    TUdpRun dup = RunUdp({"up-dup=100"}, 20, 1);
    std::multiset<int> got(dup.atTarget.begin(), dup.atTarget.end());
    for (int i = 0; i < 20; ++i) EXPECT_EQ(got.count(i), 2u) << i;

    TUdpRun re = RunUdp({"up-reorder=30"}, 50, 1);
    std::vector<int> sorted = re.atTarget;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, Ids(50));
    EXPECT_NE(re.atTarget, Ids(50));
}

TEST(ChaosProfiles, NamesAndFields)
{
    TChaosProfile p;
    for (const char* name :
         {"clean", "mobile", "lossy-udp", "dead-udp", "1-byte", "thin", "reset", "stall", "refuse"})
        EXPECT_TRUE(ChaosNamedProfile(name, &p)) << name;
    EXPECT_FALSE(ChaosNamedProfile("none", &p));
    EXPECT_TRUE(p.refuse);  // an unknown name changes nothing
    ASSERT_TRUE(ChaosNamedProfile("clean", &p));
    EXPECT_TRUE(ChaosSetField("down-loss=30", &p));
    EXPECT_EQ(p.down.lossPct, 30);
    EXPECT_EQ(p.up.lossPct, 0);
    EXPECT_TRUE(ChaosSetField("bandwidth=1m", &p));
    EXPECT_EQ(p.up.bandwidth, 1024 * 1024);
    for (const char* bad :
         {"loss=101", "latency=-5", "latency=", "speed=3", "up-loss", "latency=10x"})
        EXPECT_FALSE(ChaosSetField(bad, &p)) << bad;
}

}  // namespace
