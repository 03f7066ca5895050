#include "common/msgsocket/msgsocket.h"
#include "common/bytes/byteorder.h"
#include "common/msgdisp/msgdisp.h"
#include "common/msgdisp/pkgsender.h"
#include "common/msgsocket/sockregistry.h"
#include "support/fakes.h"
#include "support/pump.h"
#include "support/testsockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

class MsgSocket : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureSockWnd();
        ASSERT_TRUE(m_Listener.Listen(0));
        m_nPort = m_Listener.Port();
    }
    void TearDown() override
    {
        m_Listener.Close();
        m_Listener.m_Accepted.clear();
    }

    // Connects client and waits until both ends are up.
    void ConnectPair(CTestConn& client)
    {
        ASSERT_TRUE(client.ConnectEx("127.0.0.1", m_nPort, 1));
        ASSERT_TRUE(PumpUntil(
            [&] { return !client.m_Connects.empty() && !m_Listener.m_Accepted.empty(); }));
        ASSERT_EQ(std::vector<bool>{true}, client.m_Connects);
        ASSERT_TRUE(client.IsConnected());
    }
    CTestConn& Server() { return *m_Listener.m_Accepted.at(0); }

    CTestListener m_Listener;
    unsigned short m_nPort = 0;
};

TEST_F(MsgSocket, PackagesAreCutAndRouted)
{
    CMsgDisp disp;
    CRecordingHandler h7(7), h9(9);
    disp.RegisterHandler(&h7);
    disp.RegisterHandler(&h9);
    m_Listener.m_pDisp = &disp;

    CTestConn client;
    ConnectPair(client);
    CPkgSender sender;
    sender.SetSocket(&client);
    EXPECT_TRUE(sender.Send(MakeBody(7, 1, "one").data(), 7));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == 1; }));
    EXPECT_EQ(MakeBody(7, 1, "one"), h7.m_Bodies[0]);

    // A package split across reads is dispatched once complete.
    std::string split = MakePkg(MakeBody(9, 2, "split"));
    client.Send(split.data(), 5);
    PumpFor(100);
    EXPECT_TRUE(h9.m_Bodies.empty());
    client.Send(split.data() + 5, static_cast<unsigned>(split.size() - 5));
    ASSERT_TRUE(PumpUntil([&] { return h9.m_Bodies.size() == 1; }));
    EXPECT_EQ(MakeBody(9, 2, "split"), h9.m_Bodies[0]);

    // Several packages in one write arrive in order.
    std::string three = MakePkg(MakeBody(7, 3, "a")) + MakePkg(MakeBody(9, 4, "bb")) +
                        MakePkg(MakeBody(7, 5, "ccc"));
    client.Send(three.data(), static_cast<unsigned>(three.size()));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == 3; }));
    EXPECT_EQ(MakeBody(7, 3, "a"), h7.m_Bodies[1]);
    EXPECT_EQ(MakeBody(7, 5, "ccc"), h7.m_Bodies[2]);
    ASSERT_EQ(2u, h9.m_Bodies.size());
    EXPECT_EQ(MakeBody(9, 4, "bb"), h9.m_Bodies[1]);
    client.Close();
}

TEST_F(MsgSocket, DataQueuedBeforeConnectLeavesAfterIt)
{
    CTestConn client;
    client.Send("early", 5);  // no handle at all yet
    ASSERT_TRUE(client.ConnectEx("127.0.0.1", m_nPort, 1));
    client.Send("-later", 6);  // connecting
    ASSERT_TRUE(PumpUntil(
        [&] { return !m_Listener.m_Accepted.empty() && Server().m_strRecv.size() == 11; }));
    EXPECT_EQ("early-later", Server().m_strRecv);
    client.Close();
}

TEST_F(MsgSocket, PeerCloseGivesExactlyOneOnClose)
{
    CTestConn client;
    ConnectPair(client);
    Server().Close();
    EXPECT_EQ(1, Server().m_nCloses);
    ASSERT_TRUE(PumpUntil([&] { return client.m_nCloses > 0; }));
    PumpFor(100);
    EXPECT_EQ(1, client.m_nCloses);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(2, client.GetState());
    EXPECT_TRUE(client.Close());  // closed already: nothing more
    EXPECT_EQ(1, client.m_nCloses);
}

// A connection that frames what it sends and, like every such owner, takes
// no empty call as a message of its own.
class CFramingConn : public CTestConn {
public:
    CFramingConn() : CTestConn(1024, 16 << 20) {}
    void Send(const char* data, unsigned int len) override
    {
        if (!data || len == 0)
            return;
        std::string frame(4, '\0');
        WriteU32LE(&frame[0], len);
        frame.append(data, len);
        CMsgSocket::Send(frame.data(), static_cast<unsigned int>(frame.size()));
    }
};

// More than the system's socket buffer takes at once: the rest waits in the
// send buffer and leaves as the peer reads, though the owner's Send has
// nothing to say to a flush.
TEST_F(MsgSocket, WriteNotificationFlushesPastAnOwnersSend)
{
    CFramingConn client;
    ConnectPair(client);
    const std::string chunk(60000, 'c');
    const size_t chunks = 140;  // about 8 MiB
    for (size_t i = 0; i < chunks; ++i)
        client.Send(chunk.data(), static_cast<unsigned int>(chunk.size()));
    const size_t total = chunks * (chunk.size() + 4);
    ASSERT_TRUE(PumpUntil([&] { return Server().m_strRecv.size() == total; }, 20000))
        << Server().m_strRecv.size() << " of " << total;
    EXPECT_EQ(0, client.m_nCloses);
}

// An owner that streams more than fits: it fills its send buffer and adds
// the next parts whenever the write notification has moved bytes out, with
// no timer of its own.
class CStreamingConn : public CTestConn {
public:
    static const unsigned int kPart = 8192;
    CStreamingConn() : CTestConn(1024, 64 * 1024) {}
    void Pour()
    {
        while (m_nSent < m_nTotal && SendRoom() >= kPart) {
            std::string part(kPart, static_cast<char>('a' + m_nSent / kPart % 26));
            Send(part.data(), kPart);
            m_nSent += kPart;
        }
    }
    void OnSendRoom() override
    {
        ++m_nRooms;
        Pour();
    }
    size_t m_nSent = 0, m_nTotal = 4u << 20;
    int m_nRooms = 0;
};

TEST_F(MsgSocket, AStreamingOwnerRefillsOnTheWriteNotification)
{
    CStreamingConn client;
    ConnectPair(client);
    ASSERT_TRUE(qxplat::SockSetBufferSizes(client.GetHandle(), 16384, 0));
    ASSERT_TRUE(qxplat::SockSetBufferSizes(Server().GetHandle(), 0, 16384));
    client.Pour();
    ASSERT_TRUE(PumpUntil([&] { return Server().m_strRecv.size() == client.m_nTotal; }, 20000))
        << Server().m_strRecv.size() << " of " << client.m_nTotal;
    EXPECT_GT(client.m_nRooms, 0);
    EXPECT_EQ(0, client.m_nCloses);
    for (size_t at = 0; at < client.m_nTotal; at += CStreamingConn::kPart)
        ASSERT_EQ(static_cast<char>('a' + at / CStreamingConn::kPart % 26), Server().m_strRecv[at])
            << at;
}

TEST_F(MsgSocket, SendBufferOverflowClosesOnce)
{
    CTestConn client(1024, 4096);
    ConnectPair(client);
    std::string full(4096, 'f');
    client.Send(full.data(), 4096);  // exactly the capacity is accepted
    ASSERT_TRUE(PumpUntil([&] { return Server().m_strRecv.size() == 4096; }));
    EXPECT_EQ(0, client.m_nCloses);

    std::string over(4097, 'o');
    client.Send(over.data(), 4097);
    EXPECT_EQ(1, client.m_nCloses);
    EXPECT_FALSE(client.IsConnected());
    ASSERT_TRUE(PumpUntil([&] { return Server().m_nCloses == 1; }));
    PumpFor(100);
    EXPECT_EQ(1, client.m_nCloses);
    EXPECT_EQ(4096u, Server().m_strRecv.size());
}

TEST_F(MsgSocket, FullReceiveBufferIsDiscardedWhole)
{
    // The server's connections keep everything (consume nothing) in 1,024 bytes.
    class CHoarder : public CTestConn {
    public:
        unsigned int OnRecv(const char* data, unsigned int len) override
        {
            m_Views.emplace_back(data, len);
            return 0;
        }
        std::vector<std::string> m_Views;
    };
    class CHoardListener : public CTestListener {
    public:
        CMsgSocket* OnAcceptSocket(const char*, unsigned short) override
        {
            m_pConn.reset(new CHoarder);
            return m_pConn.get();
        }
        std::unique_ptr<CHoarder> m_pConn;
    } listener;
    ASSERT_TRUE(listener.Listen(0));

    CTestConn client;
    ASSERT_TRUE(client.ConnectEx("127.0.0.1", listener.Port(), 1));
    std::string data(1034, 0);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 256);
    client.Send(data.data(), static_cast<unsigned>(data.size()));

    // Each view continues the stream; after a full view the next starts empty.
    size_t start = 0;
    auto covered = [&] {
        if (!listener.m_pConn || listener.m_pConn->m_Views.empty())
            return size_t(0);
        return start + listener.m_pConn->m_Views.back().size();
    };
    size_t checked = 0;
    ASSERT_TRUE(PumpUntil([&] {
        if (!listener.m_pConn)
            return false;
        auto& views = listener.m_pConn->m_Views;
        for (; checked < views.size(); ++checked) {
            EXPECT_EQ(data.substr(start, views[checked].size()), views[checked]);
            if (views[checked].size() == 1024)
                start += 1024;
        }
        return covered() == data.size() || start == data.size();
    }));
    EXPECT_EQ(1024u, start);
    client.Close();
    listener.Close();
}

TEST_F(MsgSocket, ReconnectAttemptsEndInOneFailure)
{
    unsigned short port = ClosedPort();
    CTestConn client;
    auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.ConnectEx("127.0.0.1", port, 3));
    ASSERT_TRUE(PumpUntil([&] { return !client.m_Connects.empty(); }));
    auto spent = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(std::vector<bool>{false}, client.m_Connects);
    EXPECT_EQ(3, client.m_nCreated);                   // one socket per attempt
    EXPECT_GE(spent, std::chrono::milliseconds(950));  // two 500 ms pauses
    PumpFor(700);
    EXPECT_EQ(1u, client.m_Connects.size());
    EXPECT_EQ(0, client.m_nCloses);
    client.Close();
}

TEST_F(MsgSocket, SingleAttemptFailsWithoutTimer)
{
    CTestConn client;
    ASSERT_TRUE(client.ConnectEx("127.0.0.1", ClosedPort(), 1));
    ASSERT_TRUE(PumpUntil([&] { return !client.m_Connects.empty(); }));
    EXPECT_EQ(std::vector<bool>{false}, client.m_Connects);
    PumpFor(700);
    EXPECT_EQ(1, client.m_nCreated);
    client.Close();
}

TEST_F(MsgSocket, CloseCancelsPendingReconnect)
{
    CTestConn client;
    ASSERT_TRUE(client.ConnectEx("127.0.0.1", ClosedPort(), 3));
    ASSERT_TRUE(PumpUntil([&] { return client.GetState() == 2; }));
    client.Close();
    PumpFor(800);
    EXPECT_EQ(1, client.m_nCreated);
    EXPECT_TRUE(client.m_Connects.empty());
}

TEST_F(MsgSocket, ReconnectAfterCloseCountsAsFailure)
{
    CTestConn client;
    ConnectPair(client);
    client.Close();  // keeps state 1
    EXPECT_EQ(1, client.GetState());
    ASSERT_TRUE(client.ConnectEx("127.0.0.1", ClosedPort(), 1));
    ASSERT_TRUE(PumpUntil([&] { return client.m_Connects.size() == 2; }));
    EXPECT_FALSE(client.m_Connects[1]);
    client.Close();
}

TEST_F(MsgSocket, BadAddressesAreRefusedBeforeAnySocket)
{
    CTestConn client;
    for (const char* addr : {"", "localhost", "256.1.1.1", "255.255.255.255", "1.2.3.4.5"}) {
        SCOPED_TRACE(addr);
        EXPECT_FALSE(client.Connect(addr, m_nPort));
    }
    EXPECT_EQ(0, client.m_nCreated);
}

TEST_F(MsgSocket, DestroyingASocketUnregistersIt)
{
    qxplat::SockHandle h;
    {
        CTestConn client;
        ConnectPair(client);
        h = client.GetHandle();
        EXPECT_EQ(1u, SockRegistry().count(h));
    }
    EXPECT_EQ(0u, SockRegistry().count(h));
    ASSERT_TRUE(PumpUntil([&] { return Server().m_nCloses == 1; }));
}

TEST_F(MsgSocket, ShutdownClosesWithNotification)
{
    CTestConn client;
    ConnectPair(client);
    EXPECT_TRUE(client.Shutdown());
    EXPECT_EQ(1, client.m_nCloses);
    EXPECT_EQ(2, client.GetState());
    EXPECT_TRUE(client.Shutdown());
    EXPECT_EQ(1, client.m_nCloses);
}

// Entries of the registry that lead to this object.
size_t RegisteredHandles(const CMsgSocket* s)
{
    size_t n = 0;
    for (const auto& entry : SockRegistry()) n += entry.second == s ? 1 : 0;
    return n;
}

// Retries once from its failed connect, as a game does from OnConnect(false).
class CRetryingConn : public CTestConn {
public:
    void OnConnect(bool ok) override
    {
        CTestConn::OnConnect(ok);
        if (!ok && m_nRetries-- > 0)
            Connect("127.0.0.1", m_nPort);
    }
    int m_nRetries = 1;
    unsigned short m_nPort = 0;
};

TEST_F(MsgSocket, ConnectAndListenOnAnOpenHandleCloseItFirst)
{
    CRetryingConn client;
    client.m_nPort = ClosedPort();
    ASSERT_TRUE(client.ConnectEx("127.0.0.1", client.m_nPort, 1));
    ASSERT_TRUE(PumpUntil([&] { return client.m_Connects.size() == 2; }));
    EXPECT_EQ(1u, RegisteredHandles(&client));
    client.Close();
    EXPECT_EQ(0u, RegisteredHandles(&client));

    CTestListener listener;
    ASSERT_TRUE(listener.Listen(0));
    ASSERT_TRUE(listener.Listen(0));
    EXPECT_EQ(1u, RegisteredHandles(&listener));
    listener.Close();
    EXPECT_EQ(0u, RegisteredHandles(&listener));
}

// Throws from the chosen notification, optionally after asking to be deleted.
class CThrowingConn : public CTestConn {
public:
    explicit CThrowingConn(bool* deleted) : m_pDeleted(deleted) {}
    ~CThrowingConn() override { *m_pDeleted = true; }
    void OnConnect(bool ok) override
    {
        CTestConn::OnConnect(ok);
        Throw(m_bOnConnect);
    }
    void OnClose() override
    {
        CTestConn::OnClose();
        Throw(m_bOnClose);
    }
    void Throw(bool here)
    {
        if (!here)
            return;
        if (m_bDeleteFirst)
            DeleteLater();
        throw 42;
    }
    bool* m_pDeleted;
    bool m_bOnConnect = false;
    bool m_bOnClose = false;
    bool m_bDeleteFirst = false;
};

TEST_F(MsgSocket, ExceptionsFromNotificationsStayInTheEventHandler)
{
    struct Case {
        const char* name;
        bool onConnect;
        bool deleteFirst;
    } cases[] = {
        {"OnConnect", true, false},
        {"OnConnect after DeleteLater", true, true},
        {"OnClose after DeleteLater", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool deleted = false;
        CThrowingConn* conn = new CThrowingConn(&deleted);
        conn->m_bOnConnect = c.onConnect;
        conn->m_bOnClose = !c.onConnect;
        conn->m_bDeleteFirst = c.deleteFirst;
        size_t accepted = m_Listener.m_Accepted.size();
        ASSERT_TRUE(conn->ConnectEx("127.0.0.1", m_nPort, 1));
        ASSERT_TRUE(PumpUntil([&] { return m_Listener.m_Accepted.size() > accepted; }));
        if (!c.onConnect) {
            ASSERT_TRUE(PumpUntil([&] { return !conn->m_Connects.empty(); }));
            m_Listener.m_Accepted.back()->Close();  // the peer's close reaches OnClose
        }
        ASSERT_TRUE(PumpUntil([&] { return deleted || conn->m_Connects.size() == 1; }));
        if (c.deleteFirst) {
            ASSERT_TRUE(PumpUntil([&] { return deleted; }));
            continue;
        }
        // Still driven by the socket window after its notification threw.
        m_Listener.m_Accepted.back()->Send("ping", 4);
        ASSERT_TRUE(PumpUntil([&] { return conn->m_strRecv == "ping"; }));
        delete conn;
    }
}

TEST(MsgSocketCalls, CallCountHoldsAcrossThreads)
{
    bool deleted = false;
    CThrowingConn* conn = new CThrowingConn(&deleted);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([conn] {
            for (int i = 0; i < 100000; ++i) {
                conn->EnterCall();
                conn->LeaveCall();
            }
        });
    conn->EnterCall();
    conn->DeleteLater();  // held by the call above until it leaves
    for (std::thread& t : threads) t.join();
    EXPECT_FALSE(deleted);
    conn->LeaveCall();
    EXPECT_TRUE(deleted);
}

}  // namespace
