#include "platform/blocksock.h"
#include "platform/thread.h"
#include "platform/time.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace qxplat;

TSockAddrV4 Loopback(uint16_t port)
{
    TSockAddrV4 a;
    a.addrNetOrder = InetAddr("127.0.0.1");
    a.portHostOrder = port;
    return a;
}

uint16_t PortOf(SockHandle s)
{
    TSockAddrV4 a;
    EXPECT_TRUE(SockLocalAddr(s, &a));
    return a.portHostOrder;
}

class BlockSock : public ::testing::Test {
protected:
    void SetUp() override { StartSockets(); }
};

TEST_F(BlockSock, UdpRoundTripAndCutDatagram)
{
    SockHandle a = UdpOpen();
    SockHandle b = UdpOpen();
    ASSERT_NE(a, kInvalidSock);
    ASSERT_NE(b, kInvalidSock);

    EXPECT_EQ(UdpSendTo(a, "ping", 4, Loopback(PortOf(b))), 4);
    char buf[64];
    TSockAddrV4 from;
    ASSERT_EQ(UdpRecvFrom(b, buf, sizeof buf, &from, 5000), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    EXPECT_EQ(from.addrNetOrder, InetAddr("127.0.0.1"));
    EXPECT_EQ(from.portHostOrder, PortOf(a));

    // The answer goes back to the address the datagram came from.
    EXPECT_EQ(UdpSendTo(b, "0123456789", 10, from), 10);
    EXPECT_EQ(UdpRecvFrom(a, buf, 4, nullptr, 5000), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");

    BlockSockClose(a);
    BlockSockClose(b);
}

TEST_F(BlockSock, UdpReceiveTimesOut)
{
    SockHandle s = UdpOpen();
    ASSERT_NE(s, kInvalidSock);
    char buf[16];
    uint32_t start = TickCountMs();
    EXPECT_EQ(UdpRecvFrom(s, buf, sizeof buf, nullptr, 150), kSockTimedOut);
    uint32_t took = TickCountMs() - start;
    EXPECT_GE(took, 100u);
    EXPECT_LT(took, 5000u);
    BlockSockClose(s);
}

// A listening TCP socket on 127.0.0.1 with a port the system chose.
class TcpPeer : public BlockSock {
protected:
    void SetUp() override
    {
        BlockSock::SetUp();
        m_listener = SockCreateTcp();
        ASSERT_NE(m_listener, kInvalidSock);
        ASSERT_TRUE(SockBind(m_listener, Loopback(0)));
        ASSERT_TRUE(SockListen(m_listener, 4));
        m_port = PortOf(m_listener);
    }
    void TearDown() override
    {
        if (m_listener != kInvalidSock)
            SockClose(m_listener);
    }
    // Connects and accepts: client and server ends of one connection.
    void Connect(SockHandle* client, SockHandle* server)
    {
        *client = TcpConnect(Loopback(m_port), 5000);
        ASSERT_NE(*client, kInvalidSock);
        *server = SockAccept(m_listener, nullptr);
        ASSERT_NE(*server, kInvalidSock);
    }

    SockHandle m_listener = kInvalidSock;
    uint16_t m_port = 0;
};

TEST_F(TcpPeer, ConnectToAClosedPortFails)
{
    SockClose(m_listener);
    m_listener = kInvalidSock;
    uint32_t start = TickCountMs();
    EXPECT_EQ(TcpConnect(Loopback(m_port), 10000), kInvalidSock);
    EXPECT_LT(TickCountMs() - start, 10000u);
}

TEST_F(TcpPeer, SendAllArrivesWholeWhileThePeerReads)
{
    SockHandle client, server;
    ASSERT_NO_FATAL_FAILURE(Connect(&client, &server));

    // Larger than the socket buffers, so sends are partial and must go on.
    std::string data(8 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
    std::string got;
    ThreadHandle* reader = StartThread([&] {
        char buf[65536];
        int n;
        while ((n = TcpRecv(server, buf, sizeof buf, 10000)) > 0)
            got.append(buf, static_cast<size_t>(n));
    });
    ASSERT_NE(reader, nullptr);

    EXPECT_EQ(TcpSendAll(client, data.data(), static_cast<int>(data.size()), 20000),
              static_cast<int>(data.size()));
    BlockSockClose(client);  // the reader then reads 0 and ends
    ASSERT_TRUE(WaitThread(reader, 20000));
    DetachThread(reader);
    EXPECT_TRUE(got == data) << "received " << got.size() << " of " << data.size() << " bytes";
    BlockSockClose(server);
}

TEST_F(TcpPeer, ReceiveTimesOutThenSeesDataThenThePeerClose)
{
    SockHandle client, server;
    ASSERT_NO_FATAL_FAILURE(Connect(&client, &server));
    char buf[16];

    uint32_t start = TickCountMs();
    EXPECT_EQ(TcpRecv(client, buf, sizeof buf, 150), kSockTimedOut);
    EXPECT_GE(TickCountMs() - start, 100u);

    EXPECT_EQ(TcpSendAll(server, "abc", 3, 5000), 3);
    EXPECT_EQ(TcpRecv(client, buf, sizeof buf, 5000), 3);
    BlockSockClose(server);
    EXPECT_EQ(TcpRecv(client, buf, sizeof buf, 5000), 0);
    BlockSockClose(client);
}

TEST_F(TcpPeer, SendAllTimesOutWhenThePeerDoesNotRead)
{
    SockHandle client, server;
    ASSERT_NO_FATAL_FAILURE(Connect(&client, &server));
    // Some stacks take a whole first chunk whatever its size, so send until
    // the buffers are full.
    const std::string chunk(8 << 20, 'x');
    int result = 0;
    uint32_t took = 0;
    for (int i = 0; i < 16 && result != kSockTimedOut; ++i) {
        uint32_t start = TickCountMs();
        result = TcpSendAll(client, chunk.data(), static_cast<int>(chunk.size()), 300);
        took = TickCountMs() - start;
    }
    EXPECT_EQ(result, kSockTimedOut);
    EXPECT_LT(took, 5000u);
    BlockSockClose(client);
    BlockSockClose(server);
}

TEST_F(BlockSock, ResolveIPv4)
{
    const uint32_t loopback = InetAddr("127.0.0.1");
    uint32_t addr = 0;
    EXPECT_TRUE(ResolveIPv4("127.0.0.1", &addr));
    EXPECT_EQ(addr, loopback);
    addr = 0;
    EXPECT_TRUE(ResolveIPv4("localhost", &addr));
    EXPECT_EQ(addr, loopback);
    // An empty label: refused by the resolver itself, so nothing is sent.
    EXPECT_FALSE(ResolveIPv4("bad..name", &addr));
}

}  // namespace
