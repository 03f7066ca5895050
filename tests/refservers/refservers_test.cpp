// The reference servers against the engine's own halves of each exchange,
// and against input no client should send.
#include "common/bytes/byteorder.h"
#include "common/dataencryption/dataencryption.h"
#include "common/protocols/dispproto.h"
#include "common/protocols/gatehandshake.h"
#include "common/randgen/randgen.h"
#include "gateserver.h"
#include "keyroutinetable.h"
#include "platform/blocksock.h"
#include "platform/sockaddr.h"
#include "qxnetengine/keyroutine/keyroutine.h"
#include "refserversthread.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// n bytes from a TCP socket, each wait bounded; shorter if the peer stops.
std::string RecvExactly(SockHandle s, size_t n)
{
    std::string out;
    char buf[1024];
    while (out.size() < n) {
        const size_t want = std::min(sizeof buf, n - out.size());
        const int got = TcpRecv(s, buf, static_cast<int>(want), 5000);
        if (got <= 0)
            break;
        out.append(buf, static_cast<size_t>(got));
    }
    return out;
}

// A client's login done by hand: the request, the reply's key routine run
// in the client's sandbox where it lies in the reply, then an echo through
// the key both sides now hold. The gate hands out its routines in turn,
// the SSE2 one first, so every routine logs in once.
TEST_F(RefServers, EveryKeyRoutineLogsInThroughTheGate)
{
    using namespace GateHandshake;
    ASSERT_STREQ(kKeyRoutines[0].name, "KeyRoutineVectorMix");
    for (size_t n = 0; n < kKeyRoutineCount; ++n) {
        SCOPED_TRACE(kKeyRoutines[n].name);
        SockHandle s = TcpConnect(Loopback(m_Servers.GatePort()), 5000);
        ASSERT_NE(kInvalidSock, s);
        unsigned char key[32];
        for (int i = 0; i < 16; ++i) key[i] = static_cast<unsigned char>(0xA0 + i + n);
        std::string request(kHeadLen + kRequestBodyLen, '\0');
        char* p = &request[0];
        WriteU16LE(p, kRequestBodyLen);
        WriteU16LE(p + 2, kRequestType);
        WriteU32LE(p + 4, kModuleTag);
        WriteU32LE(p + 8, kMessageTag);
        WriteU32LE(p + kHeadLen, 1);
        memcpy(p + kHeadLen + 8, key, 16);
        ScrambleGate(p, request.size());
        request = U32(static_cast<uint32_t>(request.size())) + request;
        ASSERT_EQ(static_cast<int>(request.size()),
                  TcpSendAll(s, request.data(), static_cast<int>(request.size()), 5000));

        std::string reply = RecvExactly(s, 4 + kHeadLen + kReplyBodyLen);
        ASSERT_EQ(4 + kHeadLen + kReplyBodyLen, reply.size());
        reply.erase(0, 4);
        ScrambleGate(&reply[0], reply.size());
        const unsigned char* body = reinterpret_cast<const unsigned char*>(reply.data()) + kHeadLen;
        ASSERT_EQ(1u, ReadU32LE(body));
        const unsigned skip = body[8];
        const TKeyRoutine& routine = kKeyRoutines[n];
        ASSERT_EQ(0, memcmp(body + 26 + skip, routine.code, routine.len));
        const TKeyRoutineResult r = CKeyRoutineSandbox().RunInMessage(
            reinterpret_cast<const unsigned char*>(reply.data()), reply.size(),
            kHeadLen + 26 + skip, kHeadLen + 10 + skip, body[9 + skip], key + 16);
        ASSERT_TRUE(r.IsOk()) << DescribeKeyRoutineResult(r);

        CDataEncryption crypto;
        ASSERT_TRUE(crypto.SetKey(key, 32));
        const std::string pkg = MakePkg(MakeBody(CRefGateServer::kEchoModule, 1, "key agreed"));
        const std::string frame =
            U32(static_cast<uint32_t>(crypto.Encrypt(pkg).size())) + crypto.Encrypt(pkg);
        ASSERT_EQ(static_cast<int>(frame.size()),
                  TcpSendAll(s, frame.data(), static_cast<int>(frame.size()), 5000));
        const std::string head = RecvExactly(s, 4);
        ASSERT_EQ(4u, head.size());
        const std::string echoed = RecvExactly(s, ReadU32LE(head.data()));
        BlockSockClose(s);
        EXPECT_EQ(pkg, crypto.Decrypt(echoed));
    }
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
