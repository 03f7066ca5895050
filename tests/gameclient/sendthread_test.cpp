// The game client's sender used on a thread other than the window's.
#include "qxnetengine/gameclient/gameclient.h"
#include "support/pump.h"
#include "support/testsockets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

// Tells of OnClose from whatever thread it comes on, and can hold that
// thread there until the test lets it go.
struct CThreadHandler : public IGameClientHandler {
    void QXNET_CALL OnConnect(int result) override { m_Connects.push_back(result); }
    void QXNET_CALL OnClose() override
    {
        m_ClosedOn.push_back(std::this_thread::get_id());
        if (m_bHold) {
            m_Inside.set_value();
            m_Released.wait_for(std::chrono::seconds(10));
        }
    }
    std::vector<int> m_Connects;
    std::vector<std::thread::id> m_ClosedOn;
    bool m_bHold = false;
    std::promise<void> m_Inside;
    std::shared_future<void> m_Released;
};

class GameClientSendThread : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureSockWnd();
        ASSERT_TRUE(m_Listener.Listen(0));
        m_pClient = new CGameClient;
        ASSERT_TRUE(m_pClient->Init(0x77, &m_Handler));
        ASSERT_TRUE(m_pClient->Connect("127.0.0.1", m_Listener.Port()));
        ASSERT_TRUE(PumpUntil(
            [&] { return !m_Handler.m_Connects.empty() && !m_Listener.m_Accepted.empty(); }));
    }
    void TearDown() override
    {
        if (m_pClient)
            m_pClient->Release();
        m_Listener.Close();
    }
    // Sends a message too big for the send buffer on a thread of its own.
    std::thread SendTooBig(bool* sent)
    {
        IMsgSender* sender = m_pClient->GetSender();
        return std::thread([sender, sent] {
            std::string big(5000, 'x');
            *sent = sender->Send(big.data(), static_cast<unsigned>(big.size()));
        });
    }
    CTestConn& Server() { return *m_Listener.m_Accepted.at(0); }

    CTestListener m_Listener;
    CThreadHandler m_Handler;
    IGameClient* m_pClient = nullptr;
};

TEST_F(GameClientSendThread, AnOverflowClosesAndReportsInsideThatSend)
{
    bool sent = false;
    std::thread game = SendTooBig(&sent);
    std::thread::id gameId = game.get_id();
    game.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(std::vector<std::thread::id>{gameId}, m_Handler.m_ClosedOn);
    EXPECT_EQ(nullptr, m_pClient->GetSender());
    // The window's thread closes the handle; the game hears nothing more.
    ASSERT_TRUE(PumpUntil([&] { return Server().m_nCloses == 1; }));
    PumpFor(100);
    EXPECT_EQ(1u, m_Handler.m_ClosedOn.size());
    EXPECT_TRUE(Server().m_strRecv.empty());
}

TEST_F(GameClientSendThread, ReleasedWhileAnotherThreadIsInsideSend)
{
    std::promise<void> released;
    m_Handler.m_bHold = true;
    m_Handler.m_Released = released.get_future().share();
    bool sent = false;
    std::thread game = SendTooBig(&sent);
    ASSERT_EQ(std::future_status::ready,
              m_Handler.m_Inside.get_future().wait_for(std::chrono::seconds(10)));
    m_pClient->Release();  // the game thread is still inside Send
    m_pClient = nullptr;
    released.set_value();
    game.join();
    EXPECT_TRUE(sent);
    ASSERT_TRUE(PumpUntil([&] { return Server().m_nCloses == 1; }));
    PumpFor(50);
    EXPECT_EQ(1u, m_Handler.m_ClosedOn.size());
}

TEST_F(GameClientSendThread, ReleasedWhileAnotherThreadKeepsSending)
{
    IMsgSender* sender = m_pClient->GetSender();
    CGameClient* client = static_cast<CGameClient*>(m_pClient);
    // Nothing can guard a call that has not begun yet: the test keeps the
    // memory, and sees to it that Release closes nothing under a Send.
    client->EnterCall();
    std::atomic<bool> refused{false};
    std::thread game([&] {
        std::string body(16, 's');
        for (int i = 0; i < 5000000 && !refused; ++i)
            refused = !sender->Send(body.data(), static_cast<unsigned>(body.size()));
    });
    ASSERT_TRUE(PumpUntil([&] { return Server().m_strRecv.size() > 20000 || refused; }));
    m_pClient->Release();
    m_pClient = nullptr;
    game.join();  // Send refuses once the connection is gone
    client->LeaveCall();
    EXPECT_TRUE(refused);
    EXPECT_LE(m_Handler.m_ClosedOn.size(), 1u);  // only were the buffer to overflow first
}

}  // namespace
