// The reference servers against the engine's own halves of each exchange,
// and against input no client should send.
#include "common/protocols/dispproto.h"
#include "common/randgen/randgen.h"
#include "keyroutinetable.h"
#include "platform/blocksock.h"
#include "platform/sockaddr.h"
#include "qxnetengine/keyroutine/keyroutine.h"
#include "refserversthread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace qxplat;

namespace {

// The code a reply carries must compute in the client's sandbox what the
// server computed natively, or no client could ever log in.
TEST(KeyRoutines, TheSandboxAgreesWithTheServer)
{
    ASSERT_GE(kKeyRoutineCount, 2u);
    CRandGen random(99);
    CKeyRoutineSandbox sandbox;
    for (size_t r = 0; r < kKeyRoutineCount; ++r) {
        const TKeyRoutine& routine = kKeyRoutines[r];
        SCOPED_TRACE(routine.name);
        for (int round = 0; round < 64; ++round) {
            unsigned char block[16], expected[16];
            for (unsigned char& b : block) b = static_cast<unsigned char>(random.Next());
            unsigned char param = static_cast<unsigned char>(random.Next());
            memcpy(expected, block, 16);
            routine.native(expected, param);
            TKeyRoutineResult result = sandbox.Run(routine.code, routine.len, block, param);
            ASSERT_TRUE(result.IsOk()) << DescribeKeyRoutineResult(result);
            ASSERT_EQ(0, memcmp(expected, block, 16)) << "round " << round;
        }
    }
}

TSockAddrV4 Loopback(unsigned short port)
{
    TSockAddrV4 a;
    a.addrNetOrder = InetAddr("127.0.0.1");
    a.portHostOrder = port;
    return a;
}

// Sends bytes over TCP; true when the server then closes the connection.
bool ServerCloses(unsigned short port, const std::string& bytes)
{
    SockHandle s = TcpConnect(Loopback(port), 5000);
    if (s == kInvalidSock)
        return false;
    bool closed = false;
    if (TcpSendAll(s, bytes.data(), static_cast<int>(bytes.size()), 5000) ==
        static_cast<int>(bytes.size())) {
        char buf[4096];
        for (;;) {
            int n = TcpRecv(s, buf, sizeof buf, 5000);
            if (n <= 0) {
                closed = n == 0 || n == kSockError;
                break;
            }
        }
    }
    BlockSockClose(s);
    return closed;
}

std::string U32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

class RefServers : public ::testing::Test {
protected:
    void SetUp() override
    {
        TRefServersConfig config;
        config.dispPort = config.gatePort = config.resInfoPort = config.gamePort = 0;
        config.packageDir = ".";
        ASSERT_TRUE(m_Servers.Start(config));
    }
    CRefServersThread m_Servers;
};

TEST_F(RefServers, MalformedInputClosesTheConnection)
{
    CRandGen random(5);
    std::string request = DispProto::MakeRequest(1, random);
    std::string badCheck = request;
    badCheck[60] ^= 1;
    struct Case {
        const char* name;
        unsigned short port;
        std::string bytes;
    } cases[] = {
        {"dispatch: a request with a bad check", m_Servers.DispPort(), badCheck},
        {"dispatch: more than one request", m_Servers.DispPort(), request + "x"},
        {"gate: a handshake frame of the wrong size", m_Servers.GatePort(),
         U32(35) + std::string(35, 'h')},
        {"gate: a handshake that does not unscramble", m_Servers.GatePort(),
         U32(36) + std::string(36, 'h')},
        {"resource information: a frame too short for a package", m_Servers.ResInfoPort(),
         U32(4) + U32(1)},
        {"resource information: a frame of 4 GiB", m_Servers.ResInfoPort(), U32(0xFFFFFFFF)},
        {"resource information: a package of another module", m_Servers.ResInfoPort(),
         U32(12) + U32(1) + U32(4) + std::string("\x2E\x01\x01\x00", 4)},
        {"game: a frame whose lengths disagree", m_Servers.GamePort(),
         U32(20) + U32(7) + U32(4) + "abcd"},
        {"game: a body above the largest", m_Servers.GamePort(),
         U32(0x10008) + U32(7) + U32(0x10000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ServerCloses(c.port, c.bytes));
    }
}

TEST_F(RefServers, DispatchAnswersOverBothTransports)
{
    CRandGen random(8);
    std::string request = DispProto::MakeRequest(77, random);
    DispProto::TReply reply;

    SockHandle udp = UdpOpen();
    ASSERT_NE(kInvalidSock, udp);
    ASSERT_EQ(92, UdpSendTo(udp, request.data(), 92, Loopback(m_Servers.DispPort())));
    char buf[2048];
    TSockAddrV4 from;
    int n = UdpRecvFrom(udp, buf, sizeof buf, &from, 5000);
    BlockSockClose(udp);
    ASSERT_TRUE(DispProto::ParseReply(buf, static_cast<size_t>(n > 0 ? n : 0), &reply));
    EXPECT_EQ(34u, reply.type);
    EXPECT_EQ(m_Servers.GatePort(), reply.gatePort);
    EXPECT_EQ(InetAddr("127.0.0.1"), reply.gateAddrNetOrder);

    SockHandle tcp = TcpConnect(Loopback(m_Servers.DispPort()), 5000);
    ASSERT_NE(kInvalidSock, tcp);
    ASSERT_EQ(92, TcpSendAll(tcp, request.data(), 92, 5000));
    n = TcpRecv(tcp, buf, sizeof buf, 5000);
    BlockSockClose(tcp);
    ASSERT_TRUE(DispProto::ParseReply(buf, static_cast<size_t>(n > 0 ? n : 0), &reply));
    EXPECT_EQ(m_Servers.GatePort(), reply.gatePort);
}

TEST(RefServersNotice, DispatchGivesTheNoticeItWasTold)
{
    TRefServersConfig config;
    config.dispPort = 0;
    config.disp.answer = TDispConfig::kNotice;
    config.disp.noticeCode = 12;
    config.disp.noticeValue = -7;
    CRefServersThread servers;
    ASSERT_TRUE(servers.Start(config));
    CRandGen random(3);
    std::string request = DispProto::MakeRequest(1, random);
    SockHandle tcp = TcpConnect(Loopback(servers.DispPort()), 5000);
    ASSERT_NE(kInvalidSock, tcp);
    ASSERT_EQ(92, TcpSendAll(tcp, request.data(), 92, 5000));
    char buf[2048];
    int n = TcpRecv(tcp, buf, sizeof buf, 5000);
    BlockSockClose(tcp);
    DispProto::TReply reply;
    ASSERT_TRUE(DispProto::ParseReply(buf, static_cast<size_t>(n > 0 ? n : 0), &reply));
    EXPECT_EQ(35u, reply.type);
    EXPECT_EQ(12u, reply.code);
    EXPECT_EQ(-7, reply.value);
}

}  // namespace
