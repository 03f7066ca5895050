// Game threads sending through the engine's sender and a game client's while
// the window's thread receives, flushes and closes.
#include "common/bytes/byteorder.h"
#include "gatefixture.h"
#include "qxnetengine/gameclient/gameclient.h"
#include "support/fakes.h"
#include "support/numbered.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

namespace {

const uint16_t kModule = 7;
const unsigned int kThreads = 2;
#ifdef _WIN32
// Under Wine every socket call is a round trip to its server: a tenth of a
// millisecond per message on two cores shared with other tests.
const uint32_t kPerThread = 2500;  // through each sender
#else
const uint32_t kPerThread = 10000;
#endif
const unsigned int kMaxLen = 400;
// The test servers echo from buffers that never overflow in these runs.
const unsigned int kEchoCapacity = 8u << 20;
const unsigned int kClientId = 0x5150;
const int kSystemBuffer = 4096;

struct CClientHandler : public IGameClientHandler {
    void QXNET_CALL OnConnect(int result) override { m_Connects.push_back(result); }
    void QXNET_CALL OnClose() override { ++m_nCloses; }
    std::vector<int> m_Connects;
    std::atomic<int> m_nCloses{0};  // may come on a game thread
};

// A logged-in engine whose gate echoes, and a game client whose server
// echoes; both deliver numbered messages to a checker.
class SendThreads : public Gate {
protected:
    void SetUp() override
    {
        Gate::SetUp();
        // Small system buffers on both ends: the network soon takes less
        // than the game threads send, and the send buffers fill.
        qxplat::SockSetBufferSizes(m_Gate.GetHandle(), 0, kSystemBuffer);
        m_Gate.m_nSendCap = kEchoCapacity;
        ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&m_GateChecker));
        LogIn();
        Conn().m_bEcho = true;

        m_GameSvr.m_bEcho = true;
        m_GameSvr.m_nSendCap = kEchoCapacity;
        ASSERT_TRUE(m_GameSvr.Listen(0));
        qxplat::SockSetBufferSizes(m_GameSvr.GetHandle(), 0, kSystemBuffer);
        m_pClient = new CGameClient;
        ASSERT_TRUE(m_pClient->Init(kClientId, &m_ClientHandler));
        ASSERT_TRUE(m_pClient->Connect("127.0.0.1", m_GameSvr.Port()));
        ASSERT_TRUE(PumpUntil([&] { return !m_ClientHandler.m_Connects.empty(); }));
        ASSERT_TRUE(m_pClient->GetMsgDisp()->RegisterHandler(&m_ClientChecker));
        // Nothing sends from here on but the game threads.
        m_pGate = const_cast<CGateSvrSocket*>(m_pEngine->GetGateConn());
        m_pGate->EnterCall();  // the threads look at its buffer even after a close
        qxplat::SockSetBufferSizes(m_pGate->GetHandle(), kSystemBuffer, 0);
        qxplat::SockSetBufferSizes(m_pClient->GetHandle(), kSystemBuffer, 0);
    }
    void TearDown() override
    {
        if (m_pGate)
            m_pGate->LeaveCall();
        if (m_pClient)
            m_pClient->Release();
        m_GameSvr.Close();
        Gate::TearDown();
    }
    // Paced threads wait for room in the send buffers; others overflow them.
    std::vector<std::unique_ptr<CNumberedSender>> StartThreads(bool paced = true)
    {
        std::vector<std::unique_ptr<CNumberedSender>> threads;
        for (uint16_t t = 0; t < kThreads; ++t) {
            std::vector<TSendChannel> channels(2);
            channels[0].sender = m_pEngine->GetSender();
            channels[0].socket = paced ? m_pGate : nullptr;
            channels[1].sender = m_pClient->GetSender();
            channels[1].socket = paced ? m_pClient : nullptr;
            for (TSendChannel& c : channels) {
                c.module = kModule;
                c.maxLen = kMaxLen;
            }
            threads.emplace_back(new CNumberedSender(t, channels, kPerThread, kThreads));
        }
        for (auto& t : threads) t->Start();
        return threads;
    }

    CNumberedChecker m_GateChecker{kModule, kThreads, kMaxLen};
    CNumberedChecker m_ClientChecker{kModule, kThreads, kMaxLen};
    CTestListener m_GameSvr;
    CClientHandler m_ClientHandler;
    CGameClient* m_pClient = nullptr;
    CGateSvrSocket* m_pGate = nullptr;
};

TEST_F(SendThreads, EveryMessageComesBackOnceInItsThreadsOrder)
{
    auto threads = StartThreads();
    ASSERT_TRUE(PumpUntil(
        [&] {
            return m_GateChecker.Total() + m_ClientChecker.Total() >= 2 * kThreads * kPerThread ||
                   m_GateChecker.Faults() + m_ClientChecker.Faults() > 0;
        },
        30000));
    for (auto& t : threads) t->Join();
    EXPECT_EQ(0u, m_GateChecker.Faults());
    EXPECT_EQ(0u, m_ClientChecker.Faults());
    unsigned int gateQueued = 0, clientQueued = 0;
    for (uint16_t t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        EXPECT_FALSE(threads[t]->TimedOut());
        EXPECT_EQ(kPerThread, threads[t]->Channel(0).sent);
        EXPECT_EQ(kPerThread, threads[t]->Channel(1).sent);
        EXPECT_EQ(kPerThread, m_GateChecker.Received(t));
        EXPECT_EQ(kPerThread, m_ClientChecker.Received(t));
        gateQueued += threads[t]->Channel(0).queued;
        clientQueued += threads[t]->Channel(1).queued;
    }
    // The send buffers did fill: the network took less than was sent, and
    // the rest left with later flushes.
    EXPECT_GT(gateQueued, 0u);
    EXPECT_GT(clientQueued, 0u);
    EXPECT_FALSE(m_Handler.Has("GateClosed"));
    EXPECT_EQ(0, m_ClientHandler.m_nCloses);

    // The servers read the same: the gate with the key it made itself.
    CNumberedChecker atGate(kModule, kThreads, kMaxLen), atGameSvr(kModule, kThreads, kMaxLen);
    const std::string& gateIn = Conn().m_strRecv;
    for (size_t at = 0; gateIn.size() - at >= 4;) {
        uint32_t len = ReadU32LE(&gateIn[at]);
        ASSERT_LE(len + 4ull, gateIn.size() - at);
        std::string pkg = m_Crypto.Decrypt(gateIn.substr(at + 4, len));
        ASSERT_EQ(MakePkg(pkg.substr(std::min<size_t>(4, pkg.size()))), pkg);
        atGate.OnMsg(pkg.data() + 4, static_cast<unsigned>(pkg.size() - 4));
        at += len + 4;
    }
    const std::string& frames = m_GameSvr.m_Accepted.at(0)->m_strRecv;
    for (size_t at = 0; frames.size() - at >= 12;) {
        uint32_t contLen = ReadU32LE(&frames[at]);
        ASSERT_LE(contLen + 4ull, frames.size() - at);
        ASSERT_EQ(kClientId, ReadU32LE(&frames[at + 4]));
        ASSERT_EQ(contLen - 8, ReadU32LE(&frames[at + 8]));
        atGameSvr.OnMsg(&frames[at + 12], contLen - 8);
        at += contLen + 4;
    }
    for (const CNumberedChecker* c : {&atGate, &atGameSvr}) {
        EXPECT_EQ(0u, c->Faults());
        EXPECT_EQ(kThreads * kPerThread, c->Total());
    }
}

struct TEnding {
    const char* name;
    size_t serverCloseAfter;  // bytes each server echoes before it closes; 0: never
    bool paced;
};

class SendThreadsEnding : public SendThreads, public ::testing::WithParamInterface<TEnding> {};

TEST_P(SendThreadsEnding, OneCloseAndWhatCameBackCameOnceInOrder)
{
    Conn().m_nCloseAfter = GetParam().serverCloseAfter;
    m_GameSvr.m_Accepted.at(0)->m_nCloseAfter = GetParam().serverCloseAfter;
    auto threads = StartThreads(GetParam().paced);
    if (!GetParam().paced) {
        // The window's thread stays still while the threads send: nothing is
        // flushed or read, so both send buffers overflow however quickly the
        // system drains its own (Wine's loopback keeps pace with the window
        // thread's reads).
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(threads[0]->Done() && threads[1]->Done()) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }
    ASSERT_TRUE(PumpUntil(
        [&] {
            return threads[0]->Done() && threads[1]->Done() && m_Handler.Has("GateClosed") &&
                   m_ClientHandler.m_nCloses > 0;
        },
        30000));
    for (auto& t : threads) t->Join();
    PumpFor(100);
    int gateCloses = 0;
    for (const std::string& line : m_Handler.m_Lines) gateCloses += line == "GateClosed 1";
    EXPECT_EQ(1, gateCloses);
    EXPECT_EQ(1, m_ClientHandler.m_nCloses);
    EXPECT_EQ(nullptr, m_pEngine->GetSender());
    EXPECT_EQ(nullptr, m_pClient->GetSender());
    EXPECT_EQ(0u, m_GateChecker.Faults());
    EXPECT_EQ(0u, m_ClientChecker.Faults());
    for (uint16_t t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        EXPECT_FALSE(threads[t]->TimedOut());
        EXPECT_TRUE(threads[t]->Channel(0).refused);
        EXPECT_TRUE(threads[t]->Channel(1).refused);
        EXPECT_LE(m_GateChecker.Received(t), threads[t]->Channel(0).sent);
        EXPECT_LE(m_ClientChecker.Received(t), threads[t]->Channel(1).sent);
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, SendThreadsEnding,
                         ::testing::Values(TEnding{"ServersClose", 300000, true},
                                           TEnding{"SendBuffersOverflow", 0, false}),
                         [](const ::testing::TestParamInfo<TEnding>& info) {
                             return std::string(info.param.name);
                         });

class GateSendThread : public Gate {};

TEST_F(GateSendThread, AFrameThatDoesNotFitEndsTheConnectionInsideThatSend)
{
    LogIn();
    std::thread::id window = std::this_thread::get_id();
    std::vector<std::thread::id> closedOn;
    m_Handler.m_OnLine = [&](const std::string& line) {
        if (line == "GateClosed 1")
            closedOn.push_back(std::this_thread::get_id());
    };
    IMsgSender* sender = m_pEngine->GetSender();
    std::string big = MakeBody(kModule, 1, std::string(5000, 'b'));
    bool sent = false;
    std::thread game([&] { sent = sender->Send(big.data(), static_cast<unsigned>(big.size())); });
    game.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(nullptr, m_pEngine->GetSender());  // ended before Send returned
    EXPECT_TRUE(closedOn.empty());               // the game hears it on its window's thread
    ASSERT_TRUE(PumpUntil([&] { return !closedOn.empty() && Conn().m_nCloses == 1; }));
    PumpFor(100);
    EXPECT_EQ(std::vector<std::thread::id>{window}, closedOn);
    EXPECT_TRUE(Conn().m_strRecv.empty());  // nothing of it left
}

TEST_F(GateSendThread, ReleasedWhileAGameThreadSends)
{
    LogIn();
    IMsgSender* sender = m_pEngine->GetSender();
    CNetEngine* engine = m_pEngine;
    // Nothing can guard a call that has not begun yet: the test keeps the
    // engine's memory, and sees to it that Release tears down nothing that a
    // Send in progress still uses.
    engine->EnterCall();
    std::atomic<bool> refused{false};
    std::thread game([&] {
        std::string body = MakeBody(kModule, 1, "sixteen bytes...");
        for (int i = 0; i < 5000000 && !refused; ++i)
            refused = !sender->Send(body.data(), static_cast<unsigned>(body.size()));
    });
    ASSERT_TRUE(PumpUntil([&] { return Conn().m_strRecv.size() > 20000 || refused; }));
    m_Handler.m_pEngine = nullptr;
    engine->Release();
    EXPECT_TRUE(PumpUntil([&] { return refused.load(); }));
    game.join();
    engine->LeaveCall();
    int gateCloses = 0;
    for (const std::string& line : m_Handler.m_Lines) gateCloses += line == "GateClosed 1";
    EXPECT_EQ(1, gateCloses);
}

// Records the thread each message arrives on.
class CThreadRecordingHandler : public CRecordingHandler {
public:
    explicit CThreadRecordingHandler(unsigned short module) : CRecordingHandler(module) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        m_Threads.push_back(std::this_thread::get_id());
        return CRecordingHandler::OnMsg(body, len);
    }
    std::vector<std::thread::id> m_Threads;
};

class LocalRequestThread : public CEngineFixture {};

TEST_F(LocalRequestThread, AResourceRequestFromAGameThreadIsHandledOnTheWindowsThread)
{
    CThreadRecordingHandler game(300);
    ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&game));
    IMsgSender* sender = m_pEngine->GetPkgSender();
    std::string get = MakeBody(300, 1, std::string("\x05\x00\x00\x00", 4));
    auto send = [&] {
        return std::async(std::launch::async, [&] {
            return sender->Send(get.data(), static_cast<unsigned>(get.size()));
        });
    };
    // Sent while the window's thread runs nothing: it returns all the same.
    std::future<bool> sent = send();
    ASSERT_EQ(std::future_status::ready, sent.wait_for(std::chrono::seconds(5)));
    EXPECT_TRUE(sent.get());
    EXPECT_TRUE(game.m_Bodies.empty());
    // Not logged in: the answer is -1, given on the window's thread.
    ASSERT_TRUE(PumpUntil([&] { return !game.m_Bodies.empty(); }));
    EXPECT_EQ(MakeBody(300, 1, std::string("\xff\xff\xff\xff\0\0\0\0\0\0\0\0", 12)),
              game.m_Bodies[0]);
    EXPECT_EQ(std::this_thread::get_id(), game.m_Threads[0]);

    // A request still on its way when the engine is released is dropped.
    sent = send();
    ASSERT_EQ(std::future_status::ready, sent.wait_for(std::chrono::seconds(5)));
    m_Handler.m_pEngine = nullptr;
    m_pEngine->Release();
    PumpFor(100);
    EXPECT_EQ(1u, game.m_Bodies.size());
}

}  // namespace
