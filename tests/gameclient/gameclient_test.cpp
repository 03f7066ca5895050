#include "qxnetengine/gameclient/gameclient.h"
#include "common/bytes/byteorder.h"
#include "common/texts/texts.h"
#include "platform/paths.h"
#include "qxnetengine/log/logfile.h"
#include "support/fakes.h"
#include "support/logcount.h"
#include "support/pump.h"
#include "support/testsockets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

const unsigned int kId = 0x11223344;

struct CGameHandler : public IGameClientHandler {
    void QXNET_CALL OnConnect(int result) override { m_Connects.push_back(result); }
    void QXNET_CALL OnClose() override
    {
        ++m_nCloses;
        if (m_ppReleaseOnClose && *m_ppReleaseOnClose) {
            (*m_ppReleaseOnClose)->Release();
            *m_ppReleaseOnClose = nullptr;
        }
    }
    std::vector<int> m_Connects;
    int m_nCloses = 0;
    IGameClient** m_ppReleaseOnClose = nullptr;
};

// A frame as the game server sends it: pkgLen, token, one package.
std::string ServerFrame(unsigned int token, const std::string& pkg)
{
    char head[8];
    WriteU32LE(head, static_cast<uint32_t>(pkg.size() + 4));
    WriteU32LE(head + 4, token);
    return std::string(head, 8) + pkg;
}

std::string Header(uint32_t pkgLen, uint32_t token)
{
    char head[8];
    WriteU32LE(head, pkgLen);
    WriteU32LE(head + 4, token);
    return std::string(head, 8);
}

// Log lines of this program go to a fixed date's file, so they can be counted.
void FixedClock(qxplat::TLocalTime* t) { *t = qxplat::TLocalTime{2030, 5, 6, 7, 8, 9, 10}; }
// The daily log lies beside this program.
const std::string kLogFile = qxplat::ExeDir() + "NetLog20300506.log";

int CountInLog(const std::string& text) { return CountInFile(kLogFile, text); }

std::string Formatted(const char* format)
{
    char buf[256];
    snprintf(buf, sizeof buf, format, "CGameClient::DispMsg");
    return buf;
}

class GameClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureSockWnd();
        CLogFile::SetClock(FixedClock);
        std::remove(kLogFile.c_str());
        ASSERT_TRUE(m_Listener.Listen(0));
        m_pClient = new CGameClient;
    }
    void TearDown() override
    {
        if (m_pClient)
            m_pClient->Release();
        m_Listener.Close();
        m_Listener.m_Accepted.clear();
        CLogFile::SetClock(nullptr);
    }
    void Connect(unsigned int id = kId)
    {
        m_pClient->Init(id, &m_Handler);
        ASSERT_TRUE(m_pClient->Connect("127.0.0.1", m_Listener.Port()));
        ASSERT_TRUE(PumpUntil(
            [&] { return !m_Handler.m_Connects.empty() && !m_Listener.m_Accepted.empty(); }));
        ASSERT_EQ(std::vector<int>{1}, m_Handler.m_Connects);
    }
    CTestConn& Server() { return *m_Listener.m_Accepted.at(0); }
    void ServerSends(const std::string& bytes)
    {
        Server().Send(bytes.data(), static_cast<unsigned>(bytes.size()));
    }

    CTestListener m_Listener;
    CGameHandler m_Handler;
    IGameClient* m_pClient = nullptr;
};

TEST_F(GameClient, FramesBothWays)
{
    EXPECT_EQ(nullptr, m_pClient->GetMsgDisp());
    EXPECT_EQ(nullptr, m_pClient->GetSender());
    m_pClient->Init(kId, &m_Handler);
    ASSERT_TRUE(m_pClient->Connect("127.0.0.1", m_Listener.Port()));
    EXPECT_EQ(nullptr, m_pClient->GetSender());  // not before the connect completed
    ASSERT_TRUE(
        PumpUntil([&] { return !m_Handler.m_Connects.empty() && !m_Listener.m_Accepted.empty(); }));
    ASSERT_NE(nullptr, m_pClient->GetMsgDisp());
    ASSERT_NE(nullptr, m_pClient->GetSender());

    CRecordingHandler h7(7);
    ASSERT_TRUE(m_pClient->GetMsgDisp()->RegisterHandler(&h7));

    std::string body = MakeBody(7, 1, "hi");
    ASSERT_TRUE(m_pClient->GetSender()->Send(body.data(), static_cast<unsigned>(body.size())));
    const char expected[] = "\x0e\x00\x00\x00\x44\x33\x22\x11\x06\x00\x00\x00\x07\x00\x01\x00hi";
    ASSERT_TRUE(PumpUntil([&] { return Server().m_strRecv.size() == 18; }));
    EXPECT_EQ(std::string(expected, 18), Server().m_strRecv);

    // One frame split over several receives is dispatched once complete.
    std::string frame = ServerFrame(kId, MakePkg(MakeBody(7, 2, "split")));
    ServerSends(frame.substr(0, 3));
    PumpFor(50);
    ServerSends(frame.substr(3, 6));
    PumpFor(50);
    EXPECT_TRUE(h7.m_Bodies.empty());
    ServerSends(frame.substr(9));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == 1; }));
    EXPECT_EQ(MakeBody(7, 2, "split"), h7.m_Bodies[0]);

    // Three frames in one receive, in order.
    ServerSends(ServerFrame(kId, MakePkg(MakeBody(7, 3))) +
                ServerFrame(kId, MakePkg(MakeBody(7, 4))) +
                ServerFrame(kId, MakePkg(MakeBody(7, 5))));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == 4; }));
    EXPECT_EQ(MakeBody(7, 3), h7.m_Bodies[1]);
    EXPECT_EQ(MakeBody(7, 5), h7.m_Bodies[3]);
}

// Packages on both sides of the size that is dispatched without copying to
// the heap, in one receive: each arrives whole and in order.
TEST_F(GameClient, PackagesOfEverySizeArriveWhole)
{
    Connect();
    CRecordingHandler h7(7);
    ASSERT_TRUE(m_pClient->GetMsgDisp()->RegisterHandler(&h7));
    std::vector<std::string> bodies;
    std::string frames;
    for (size_t payload : {0, 504, 505, 3000}) {
        std::string text(payload, '\0');
        for (size_t i = 0; i < payload; ++i) text[i] = static_cast<char>(i * 7 + bodies.size());
        bodies.push_back(MakeBody(7, static_cast<unsigned short>(bodies.size()), text));
        frames += ServerFrame(kId, MakePkg(bodies.back()));
    }
    ServerSends(frames);
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == bodies.size(); }));
    EXPECT_EQ(bodies, h7.m_Bodies);
}

TEST_F(GameClient, RefusedConnectReportsOnceAndReleasesQuietly)
{
    m_pClient->Init(kId, &m_Handler);
    ASSERT_TRUE(m_pClient->Connect("127.0.0.1", ClosedPort()));
    ASSERT_TRUE(PumpUntil([&] { return !m_Handler.m_Connects.empty(); }));
    PumpFor(700);  // one attempt: no retry follows
    EXPECT_EQ(std::vector<int>{0}, m_Handler.m_Connects);
    m_pClient->Release();
    m_pClient = nullptr;
    EXPECT_EQ(0, m_Handler.m_nCloses);
}

TEST_F(GameClient, ConnectArguments)
{
    m_pClient->Init(kId, &m_Handler);
    EXPECT_FALSE(m_pClient->Connect(nullptr, 80));
    EXPECT_FALSE(m_pClient->Connect("127.0.0.1", 0));
    EXPECT_FALSE(m_pClient->Connect("127.0.0.1", 0x10000));  // only the low 16 bits count
    EXPECT_FALSE(m_pClient->Connect("localhost", 80));
}

TEST_F(GameClient, ServerCloseGivesOneOnCloseAndDetaches)
{
    Connect();
    Server().Close();
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_nCloses > 0; }));
    PumpFor(100);
    EXPECT_EQ(1, m_Handler.m_nCloses);
    EXPECT_EQ(nullptr, m_pClient->GetSender());

    // A new connect without Init reaches no handler.
    ASSERT_TRUE(m_pClient->Connect("127.0.0.1", m_Listener.Port()));
    ASSERT_TRUE(
        PumpUntil([&] { return m_Listener.m_Accepted.size() == 2 && m_pClient->GetSender(); }));
    EXPECT_EQ(1u, m_Handler.m_Connects.size());
}

TEST_F(GameClient, ReleaseWhileConnectedIsNotReported)
{
    Connect();
    m_pClient->Release();
    m_pClient = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return Server().m_nCloses == 1; }));
    EXPECT_EQ(0, m_Handler.m_nCloses);
}

TEST_F(GameClient, InitWithZeroIdStillStoresTheHandler)
{
    EXPECT_FALSE(m_pClient->Init(0, &m_Handler));
    ASSERT_TRUE(m_pClient->Connect("127.0.0.1", m_Listener.Port()));
    ASSERT_TRUE(
        PumpUntil([&] { return !m_Handler.m_Connects.empty() && !m_Listener.m_Accepted.empty(); }));
    ASSERT_TRUE(m_pClient->GetSender()->Send("\x07\x00\x01\x00", 4));
    ASSERT_TRUE(PumpUntil([&] { return Server().m_strRecv.size() == 16; }));
    EXPECT_EQ(0u, ReadU32LE(Server().m_strRecv.data() + 4));
}

TEST_F(GameClient, DispatchVerdicts)
{
    Connect();
    CRecordingHandler refusing(9, false);
    m_pClient->GetMsgDisp()->RegisterHandler(&refusing);
    std::string noHandler = Formatted(TXT_CANNOT_HANDLE_MSG);
    std::string refused = Formatted(TXT_HANDLE_MSG_EXCEPTION);

    ServerSends(ServerFrame(kId, MakePkg(MakeBody(8, 1))) +
                ServerFrame(kId, MakePkg(MakeBody(8, 2))) +
                ServerFrame(kId, MakePkg(MakeBody(9, 3))));
    ASSERT_TRUE(PumpUntil([&] { return refusing.m_Bodies.size() == 1; }));
    EXPECT_EQ(2, CountInLog(noHandler));
    EXPECT_EQ(1, CountInLog(refused));
    EXPECT_EQ(0, m_Handler.m_nCloses);
    EXPECT_NE(nullptr, m_pClient->GetSender());
}

TEST_F(GameClient, MalformedFramesClose)
{
    // An inner package length above 65,535, whatever follows.
    std::string bigInner = "\x00\x00\x01\x00" + MakeBody(7, 1);
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"inner length above 65535", ServerFrame(kId, bigInner)},
        {"inner length disagrees", ServerFrame(kId, MakePkg(MakeBody(7, 1)) + "x")},
        {"pkgLen below 4", Header(3, kId)},
        {"pkgLen 4, empty payload", Header(4, kId)},
        // Closed on its header alone: no buffering up to gigabytes for it.
        {"pkgLen beyond any package", Header(0xFFFF + 9, kId)},
        {"pkgLen near 4 GiB", Header(0xFFFFFFFF, kId)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_Handler = CGameHandler();
        m_Listener.m_Accepted.clear();
        Connect();
        CRecordingHandler h7(7);
        m_pClient->GetMsgDisp()->RegisterHandler(&h7);
        ServerSends(c.bytes);
        ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_nCloses == 1; }));
        EXPECT_TRUE(h7.m_Bodies.empty());
        ASSERT_TRUE(PumpUntil([&] { return Server().m_nCloses == 1; }));
        m_pClient->GetMsgDisp();  // still a valid object
    }
}

TEST_F(GameClient, ReleaseFromOnCloseAfterABadFrame)
{
    m_Handler.m_ppReleaseOnClose = &m_pClient;
    Connect();
    ServerSends(Header(2, kId));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_nCloses == 1; }));
    EXPECT_EQ(nullptr, m_pClient);  // released inside its own notification
}

TEST_F(GameClient, UnfinishedFrameIsNotCarriedIntoTheNextConnection)
{
    Connect();
    CRecordingHandler h7(7);
    m_pClient->GetMsgDisp()->RegisterHandler(&h7);
    std::string frame = ServerFrame(kId, MakePkg(MakeBody(7, 1, "abc")));
    ServerSends(frame.substr(0, 10));
    PumpFor(50);
    Server().Close();
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_nCloses == 1; }));

    m_pClient->Init(kId, &m_Handler);
    ASSERT_TRUE(m_pClient->Connect("127.0.0.1", m_Listener.Port()));
    ASSERT_TRUE(PumpUntil(
        [&] { return m_Listener.m_Accepted.size() == 2 && m_Handler.m_Connects.size() == 2; }));
    m_Listener.m_Accepted[1]->Send(frame.data(), static_cast<unsigned>(frame.size()));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == 1; }));
    EXPECT_EQ(MakeBody(7, 1, "abc"), h7.m_Bodies[0]);
    EXPECT_EQ(1, m_Handler.m_nCloses);
}

TEST_F(GameClient, SenderBufferAndOverflow)
{
    Connect();
    CGameClient* client = static_cast<CGameClient*>(m_pClient);
    EXPECT_EQ(2048u, client->GetSenderCapacity());
    std::string body3000(3000, 'm');
    ASSERT_TRUE(m_pClient->GetSender()->Send(body3000.data(), 3000));
    EXPECT_EQ(3012u, client->GetSenderCapacity());
    ASSERT_TRUE(PumpUntil([&] { return Server().m_strRecv.size() == 3012; }));
    EXPECT_EQ(0, m_Handler.m_nCloses);

    std::string body5000(5000, 'n');
    m_pClient->GetSender()->Send(body5000.data(), 5000);
    EXPECT_EQ(1, m_Handler.m_nCloses);
    EXPECT_EQ(nullptr, m_pClient->GetSender());
    EXPECT_EQ(5012u, client->GetSenderCapacity());
}

TEST_F(GameClient, ReleaseFromOnCloseDuringSend)
{
    m_Handler.m_ppReleaseOnClose = &m_pClient;
    Connect();
    IMsgSender* sender = m_pClient->GetSender();
    std::string body5000(5000, 'n');
    sender->Send(body5000.data(), 5000);  // overflow closes; OnClose releases
    EXPECT_EQ(nullptr, m_pClient);
    EXPECT_EQ(1, m_Handler.m_nCloses);
}

// Records each body and throws while handling the chosen one.
class CThrowingHandler : public CRecordingHandler {
public:
    CThrowingHandler(unsigned short moduleId, size_t throwAt)
        : CRecordingHandler(moduleId), m_nThrowAt(throwAt)
    {
    }
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        CRecordingHandler::OnMsg(body, len);
        if (m_Bodies.size() == m_nThrowAt)
            throw std::runtime_error("handler failed");
        return true;
    }
    size_t m_nThrowAt;
};

TEST_F(GameClient, AThrowingHandlerNeverSeesTheSameFrameTwice)
{
    Connect();
    CThrowingHandler h7(7, 2);
    ASSERT_TRUE(m_pClient->GetMsgDisp()->RegisterHandler(&h7));
    ServerSends(ServerFrame(kId, MakePkg(MakeBody(7, 1))) +
                ServerFrame(kId, MakePkg(MakeBody(7, 2))));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == 2; }));
    ServerSends(ServerFrame(kId, MakePkg(MakeBody(7, 3))));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() >= 3; }));
    PumpFor(50);
    std::vector<std::string> expected = {MakeBody(7, 1), MakeBody(7, 2), MakeBody(7, 3)};
    EXPECT_EQ(expected, h7.m_Bodies);
}

// Frames that arrived with the throwing one are dispatched at once, not
// when the server next sends something.
TEST_F(GameClient, AThrowingHandlerLosesOnlyItsOwnFrame)
{
    Connect();
    CThrowingHandler h7(7, 1);
    ASSERT_TRUE(m_pClient->GetMsgDisp()->RegisterHandler(&h7));
    ServerSends(ServerFrame(kId, MakePkg(MakeBody(7, 1))) +
                ServerFrame(kId, MakePkg(MakeBody(7, 2))) +
                ServerFrame(kId, MakePkg(MakeBody(7, 3))));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() >= 3; }));
    std::vector<std::string> expected = {MakeBody(7, 1), MakeBody(7, 2), MakeBody(7, 3)};
    EXPECT_EQ(expected, h7.m_Bodies);
    EXPECT_EQ(0, m_Handler.m_nCloses);
}

// Windows reports a close as soon as the peer's FIN arrives, even while
// its last bytes wait unread: here more than one read notification takes
// waits when the close is reported. Every frame is dispatched before the
// game hears of the close.
TEST_F(GameClient, TheLastFramesBeforeAServerCloseAreDispatched)
{
    const uint16_t kFrames = 10;  // 600 KB, more than one notification reads
    m_Listener.m_nSendCap = 1 << 20;
    Connect();
    CRecordingHandler h7(7);
    ASSERT_TRUE(m_pClient->GetMsgDisp()->RegisterHandler(&h7));
    struct CClosing : public CGameHandler {
        void QXNET_CALL OnClose() override
        {
            m_nAtClose = m_pH7->m_Bodies.size();
            CGameHandler::OnClose();
        }
        size_t m_nAtClose = 0;
        CRecordingHandler* m_pH7 = nullptr;
    } handler;
    handler.m_pH7 = &h7;
    m_pClient->Init(kId, &handler);
    const qxplat::SockHandle h = static_cast<CGameClient*>(m_pClient)->GetHandle();
    ASSERT_TRUE(qxplat::SockSetBufferSizes(h, 0, 4 << 20));
    ASSERT_TRUE(qxplat::SockSetBufferSizes(Server().GetHandle(), 4 << 20, 0));
    std::string bytes;
    for (uint16_t i = 0; i < kFrames; ++i)
        bytes += ServerFrame(kId, MakePkg(MakeBody(7, i, std::string(60000, 'a' + i))));
    ServerSends(bytes);
    ASSERT_EQ(0u, Server().GetSendQueued());  // all of it on its way, nothing pumped
    ASSERT_TRUE(qxplat::PostWndMessage(GetSockWnd(), WM_SOCKET_EVENT, h, qxplat::kFdClose));
    Server().Close();
    ASSERT_TRUE(PumpUntil([&] { return handler.m_nCloses == 1; }));
    EXPECT_EQ(kFrames, handler.m_nAtClose);
}

}  // namespace
