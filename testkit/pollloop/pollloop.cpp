// A game with a main loop of its own: it never hands its thread to the
// engine, it only adds the engine's descriptor to its poll() set and calls
// QXNetEngine_Pump(0) when that descriptor is readable. A game client, a
// discovery and a gate login all complete that way against the reference
// servers, which run on a thread of their own.
#include "QXNetEngine.h"
#include "loader/engineloader.h"
#include "refserversthread.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace {

const unsigned short kEchoModule = 7;  // echoed by the game server and by the gate

TEngineExports g_Engine;

class CEcho : public IMsgHandler {
public:
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        m_strLast.assign(body, len);
        ++m_nReceived;
        return true;
    }
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return kEchoModule; }

    IMsgSender* m_pSender = nullptr;
    std::string m_strLast;
    int m_nReceived = 0;
};

class CGameEvents : public IGameClientHandler {
public:
    void QXNET_CALL OnConnect(int result) override { m_nConnect = result; }
    void QXNET_CALL OnClose() override { m_bClosed = true; }
    int m_nConnect = -1;
    bool m_bClosed = false;
};

class CEngineEvents : public INetEngineHandler {
public:
    void QXNET_CALL OnDispSvrAddr(int ok, const char*, int) override { m_nDispAddr = ok; }
    void QXNET_CALL OnGateSvrAddr(int ok, const char*, unsigned int) override { m_nGateAddr = ok; }
    void QXNET_CALL OnGateLogin(int accepted) override { m_nLogin = accepted; }
    void QXNET_CALL OnGateClosed(int) override { m_bClosed = true; }
    void QXNET_CALL OnConnected() override { m_bConnected = true; }
    void QXNET_CALL OnReconnected(int) override {}
    unsigned int QXNET_CALL GetClientVersion() override { return 1; }
    void QXNET_CALL OnDispNotice(unsigned int, int) override {}

    int m_nDispAddr = -1, m_nGateAddr = -1, m_nLogin = -1;
    bool m_bConnected = false, m_bClosed = false;
};

// The game's own loop: poll() over the engine's descriptor (a game would add
// its own), QXNetEngine_Pump(0) whenever it is readable, until done() or the
// time is up. Counts the wake-ups that found nothing to do.
class CGameLoop {
public:
    explicit CGameLoop(int fd) : m_nFd(fd) {}
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            pollfd p = {m_nFd, POLLIN, 0};
            if (poll(&p, 1, 50) == 1 && (p.revents & POLLIN)) {
                ++m_nWakeUps;
                if (Pump(0) == 0)
                    ++m_nEmptyWakeUps;
            }
        }
        return true;
    }
    int m_nWakeUps = 0, m_nEmptyWakeUps = 0;

private:
    int m_nFd;
};

class PollLoop : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(LoadEngine(&g_Engine));
        // Nothing to poll before the engine starts on this thread.
        ASSERT_EQ(GetPollFd(), -1);
        TRefServersConfig config;
        config.dispPort = config.gatePort = config.gamePort = 0;
        s_pServers = new CRefServersThread;
        ASSERT_TRUE(s_pServers->Start(config));
        std::ofstream ini(EngineDir() + "SvrAddr.ini");
        ini << "[SvrAddr]\nIP=127.0.0.1\nPort=" << s_pServers->DispPort() << "\nTCP=-1\n";
        ASSERT_TRUE(ini.good());
        g_Engine.Init(0, 0);
    }
    static void TearDownTestSuite()
    {
        delete s_pServers;
        s_pServers = nullptr;
    }

    static CRefServersThread* s_pServers;
};

CRefServersThread* PollLoop::s_pServers = nullptr;

TEST_F(PollLoop, DescriptorBelongsToTheInitThreadOnly)
{
    int fd = GetPollFd();
    EXPECT_GE(fd, 0);
    EXPECT_EQ(GetPollFd(), fd);
    int other = 0;
    std::thread([&] { other = GetPollFd(); }).join();
    EXPECT_EQ(other, -1);
}

TEST_F(PollLoop, GameClientConnectsAndEchoes)
{
    IGameClient* client = nullptr;
    g_Engine.GameClientGet(&client, 0);
    ASSERT_NE(client, nullptr);
    CGameEvents events;
    CEcho echo;
    CGameLoop loop(GetPollFd());
    ASSERT_EQ(client->Init(0xC0FFEE02u, &events), 1);
    ASSERT_EQ(client->Connect("127.0.0.1", s_pServers->GamePort()), 1);
    ASSERT_TRUE(loop.RunUntil([&] { return events.m_nConnect != -1; }));
    ASSERT_EQ(events.m_nConnect, 1);
    client->GetMsgDisp()->RegisterHandler(&echo);
    for (int i = 1; i <= 20; ++i) {
        const std::string body = MessageBody(kEchoModule, 1, "ping " + std::to_string(i));
        ASSERT_TRUE(client->GetSender()->Send(body.data(), static_cast<unsigned int>(body.size())));
        ASSERT_TRUE(loop.RunUntil([&] { return echo.m_nReceived == i; })) << i;
        EXPECT_EQ(echo.m_strLast, body);
    }
    EXPECT_FALSE(events.m_bClosed);
    // The descriptor is readable only when there is work: a loop that spun
    // on it would show thousands of empty wake-ups here.
    EXPECT_LT(loop.m_nEmptyWakeUps, 10) << "of " << loop.m_nWakeUps;
    client->Release();
}

TEST_F(PollLoop, NetEngineDiscoversLogsInAndEchoes)
{
    INetEngine* engine = nullptr;
    g_Engine.NetEngineGet(&engine, 0);
    ASSERT_NE(engine, nullptr);
    CEngineEvents events;
    CEcho echo;
    CGameLoop loop(GetPollFd());
    ASSERT_EQ(engine->Initialize(&events), 1);
    ASSERT_EQ(engine->Connect(0), 1);
    // Discovery runs on a thread of the engine's; its result reaches this
    // loop through the descriptor like everything else.
    ASSERT_TRUE(loop.RunUntil([&] { return events.m_bConnected || events.m_bClosed; }));
    EXPECT_EQ(events.m_nDispAddr, 1);
    EXPECT_EQ(events.m_nGateAddr, 1);
    EXPECT_EQ(events.m_nLogin, 1);
    ASSERT_TRUE(events.m_bConnected);
    engine->GetMsgDisp()->RegisterHandler(&echo);
    const std::string body = MessageBody(kEchoModule, 1, "through the gate");
    ASSERT_TRUE(engine->GetSender()->Send(body.data(), static_cast<unsigned int>(body.size())));
    ASSERT_TRUE(loop.RunUntil([&] { return echo.m_nReceived == 1; }));
    EXPECT_EQ(echo.m_strLast, body);
    EXPECT_LT(loop.m_nEmptyWakeUps, 10) << "of " << loop.m_nWakeUps;
    engine->Release();
}

}  // namespace
