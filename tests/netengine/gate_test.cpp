#include "common/bytes/byteorder.h"
#include "common/syncwnd/msgsyncwnd.h"
#include "dispserver.h"
#include "enginetest.h"
#include "gatefixture.h"
#include "gateserver.h"
#include "qxnetengine/gameclient/gatesvrsocket.h"
#include "qxnetengine/log/logfile.h"
#include "qxnetengine/netengine/netengine.h"
#include "support/fakes.h"
#include "support/pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include <cstring>

namespace {

TEST_F(Gate, FreshLoginThenEncryptedTrafficBothWays)
{
    CRecordingHandler h7(7);
    ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&h7));
    ASSERT_EQ(1, m_pEngine->Connect(0));
    std::string req = NextRequest();
    ASSERT_EQ(36u, req.size());
    EXPECT_EQ(24, ReadU16LE(req.data()));
    EXPECT_EQ(49, ReadU16LE(req.data() + 2));
    EXPECT_EQ("etaG1010", req.substr(4, 8));
    EXPECT_EQ(1u, ReadU32LE(req.data() + 12));
    EXPECT_EQ(0u, ReadU32LE(req.data() + 16));  // a fresh connection has gate id 0
    memcpy(m_ClientHalf, req.data() + 20, 16);

    // The accepted reply and an encrypted frame arrive in one piece: the
    // frame is already read with the new key (the routine's result).
    unsigned char serverHalf[16];
    for (int i = 0; i < 16; ++i) serverHalf[i] = kBlock[i] ^ kParam;
    m_Crypto.SetKey(m_ClientHalf, serverHalf);
    Reply(m_Crypto.EncryptedFrame(MakePkg(MakeBody(7, 3, "from gate"))));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == 1; }));
    EXPECT_EQ(MakeBody(7, 3, "from gate"), h7.m_Bodies[0]);
    std::vector<std::string> expected = {"DispSvrAddr 1 127.0.0.1 " + std::to_string(m_Disp.Port()),
                                         "GateSvrAddr 1 127.0.0.1 " + std::to_string(m_Gate.Port()),
                                         "GateLogin 1", "Connected"};
    EXPECT_EQ(expected, m_Handler.m_Lines);

    IMsgSender* sender = m_pEngine->GetSender();
    ASSERT_NE(nullptr, sender);
    std::string body = MakeBody(9, 4, std::string(300, 'g'));
    ASSERT_TRUE(sender->Send(body.data(), static_cast<unsigned>(body.size())));
    std::string payload;
    ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
    EXPECT_EQ(MakePkg(body), m_Crypto.Decrypt(payload));
}

TEST_F(Gate, ReplyKindsAndAMalformedReply)
{
    // Kind 1 sets the server half; a reconnect answered with kind 2 keeps it.
    LogIn(77);
    Conn().Close();
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateClosed"); }));
    EXPECT_EQ(nullptr, m_pEngine->GetSender());
    ASSERT_EQ(1, m_pEngine->Connect(1));
    std::string req = NextRequest();
    EXPECT_EQ(77u, ReadU32LE(req.data() + 16));  // the id of the last accepted handshake
    Reply("", 2, 78);
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("Reconnected 1"); }));
    std::string body = MakeBody(9, 1, "same key");
    ASSERT_TRUE(m_pEngine->GetSender()->Send(body.data(), static_cast<unsigned>(body.size())));
    std::string payload;
    ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
    EXPECT_EQ(MakePkg(body), m_Crypto.Decrypt(payload));

    // Refused: the login fails, the connection is gone.
    Conn().Close();
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_Lines.back() == "GateClosed 1"; }));
    m_Handler.m_Lines.clear();
    ASSERT_EQ(1, m_pEngine->Connect(1));
    NextRequest();
    Reply("", 0, 99);
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_Lines.size() >= 2; }));
    EXPECT_EQ((std::vector<std::string>{"GateLogin 0", "Reconnected 0"}), m_Handler.m_Lines);
    EXPECT_EQ(nullptr, m_pEngine->GetSender());
    ASSERT_TRUE(PumpUntil([&] { return Conn().m_nCloses == 1; }));

    // A body one byte short is no result at all: only the close is heard.
    m_Handler.m_Lines.clear();
    ASSERT_EQ(1, m_pEngine->Connect(1));
    NextRequest();
    Reply("", 1, 77, 553);
    ASSERT_TRUE(PumpUntil([&] { return !m_Handler.m_Lines.empty(); }));
    PumpFor(50);
    EXPECT_EQ(std::vector<std::string>{"GateClosed 1"}, m_Handler.m_Lines);
}

TEST_F(Gate, ConnectFailuresReleaseAndASecondConnect)
{
    LogIn();
    EXPECT_FALSE(m_pEngine->ConnectGateSvr(false));  // one connection at a time
    EXPECT_NE(nullptr, m_pEngine->GetSender());

    // Release while connected: OnGateClosed(1) comes during Release.
    m_Handler.m_Lines.clear();
    m_pEngine->Release();
    m_Handler.m_pEngine = nullptr;
    EXPECT_EQ(std::vector<std::string>{"GateClosed 1"}, m_Handler.m_Lines);

    // A gate that refuses the TCP connect, fresh and as a reconnect.
    CRecordingEngineHandler handler;
    CNetEngine* engine = new CNetEngine;
    engine->Initialize(&handler);
    m_Gate.Close();
    ASSERT_EQ(1, engine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return handler.Has("GateLogin"); }));
    EXPECT_EQ("GateLogin 0", handler.m_Lines.back());
    handler.m_Lines.clear();
    ASSERT_EQ(1, engine->Connect(1));
    ASSERT_TRUE(PumpUntil([&] { return handler.m_Lines.size() >= 2; }));
    EXPECT_EQ((std::vector<std::string>{"GateLogin 0", "Reconnected 0"}), handler.m_Lines);
    engine->Release();
}

TEST_F(Gate, ModuleThreeHundredStaysInsideTheProcess)
{
    CRecordingHandler h300(300);
    ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&h300));
    LogIn();
    std::string getVersions = MakeBody(300, 1, std::string("\x07\x00\x00\x00", 4));
    ASSERT_TRUE(m_pEngine->GetSender()->Send(getVersions.data(),
                                             static_cast<unsigned>(getVersions.size())));
    // What reaches the gate is the engine's own question (module 302), never
    // the game's module-300 body.
    std::string payload;
    ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
    EXPECT_EQ(MakePkg(MakeBody(302, 1)), m_Crypto.Decrypt(payload));
    EXPECT_TRUE(h300.m_Bodies.empty());
}

TEST(GateSocket, BeforeTheReplyPackagesGoOutScrambled)
{
    EnsureSockWnd();
    CTestListener gate;
    ASSERT_TRUE(gate.Listen(0));
    CGateSvrSocket socket(nullptr, 5);
    ASSERT_TRUE(socket.ConnectEx("127.0.0.1", gate.Port(), 1));
    ASSERT_TRUE(PumpUntil([&] { return socket.GetGateState() == CGateSvrSocket::Handshake; }));
    socket.Send("abcd", 4);
    ASSERT_TRUE(PumpUntil(
        [&] { return !gate.m_Accepted.empty() && gate.m_Accepted[0]->m_strRecv.size() == 48; }));
    std::string stream = gate.m_Accepted[0]->m_strRecv, request, pkg;
    ASSERT_TRUE(TakeGateFrame(stream, &request));
    ASSERT_TRUE(TakeGateFrame(stream, &pkg));
    EXPECT_EQ(5u, ReadU32LE(Scrambled(request).data() + 16));
    EXPECT_EQ("abcd", Scrambled(pkg));
    EXPECT_NE("abcd", pkg);
    const unsigned char start[6] = {0xFE, 0xFF, 0x08, 0x1F, 0x4A, 0x8F};
    std::string zeros(6, '\0');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(start), 6), Scrambled(zeros));
    socket.Close();
}

TEST_F(Gate, NoCallbackAfterAReleaseInsideOnGateLogin)
{
    m_Handler.m_OnLine = [this](const std::string& line) {
        if (line == "GateLogin 1" && m_Handler.m_pEngine) {
            INetEngine* e = m_Handler.m_pEngine;
            m_Handler.m_pEngine = nullptr;
            e->Release();
        }
    };
    ASSERT_EQ(1, m_pEngine->Connect(0));
    std::string req = NextRequest();
    ASSERT_EQ(36u, req.size());
    Reply("", 1, 77);
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.Has("GateLogin"); }));
    PumpFor(100);
    EXPECT_FALSE(m_Handler.Has("Connected")) << "handler called after Release";
}

// Frames the server writes at once arrive together; more than one read's
// worth of them must all be dispatched, in order, with no notification
// needed for the rest; a handler that releases the engine mid-burst ends it.
TEST_F(Gate, ABurstIsDispatchedInOrderUntilAHandlerReleasesTheEngine)
{
    class CReleasingHandler : public CRecordingHandler {
    public:
        explicit CReleasingHandler(CRecordingEngineHandler* h) : CRecordingHandler(7), m_pH(h) {}
        bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
        {
            CRecordingHandler::OnMsg(body, len);
            if (m_Bodies.size() == m_nReleaseAt && m_pH->m_pEngine) {
                INetEngine* e = m_pH->m_pEngine;
                m_pH->m_pEngine = nullptr;
                e->Release();
            }
            return true;
        }
        CRecordingEngineHandler* m_pH;
        size_t m_nReleaseAt = 0;
    };
    CReleasingHandler h7(&m_Handler);
    ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&h7));
    LogIn();

    // About 600 KiB as fast as the server's small send buffer takes it:
    // several reads' worth behind one notification.
    auto sendAll = [&](const std::string& bytes) {
        for (size_t at = 0; at < bytes.size();) {
            // The test connection's send buffer holds 4096 bytes.
            ASSERT_TRUE(PumpUntil([&] { return Conn().GetSendQueued() < 4096; }));
            size_t n = std::min<size_t>(bytes.size() - at, 4096 - Conn().GetSendQueued());
            Conn().Send(bytes.data() + at, static_cast<unsigned>(n));
            at += n;
        }
    };
    std::string burst;
    std::vector<std::string> bodies;
    for (int i = 0; i < 2000; ++i) {
        bodies.push_back(MakeBody(7, static_cast<uint16_t>(i), std::string(i % 600, 'a' + i % 26)));
        burst += m_Crypto.EncryptedFrame(MakePkg(bodies.back()));
    }
    sendAll(burst);
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() == bodies.size(); }))
        << h7.m_Bodies.size() << " " << m_Handler.m_Lines.back();
    EXPECT_EQ(bodies, h7.m_Bodies);

    h7.m_nReleaseAt = bodies.size() + 5;
    sendAll(burst.substr(0, 4000));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() >= h7.m_nReleaseAt; }));
    PumpFor(100);
    EXPECT_EQ(h7.m_nReleaseAt, h7.m_Bodies.size()) << "dispatched after the release";
    // Release reports the close at once, and nothing follows it.
    EXPECT_EQ("GateClosed 1", m_Handler.m_Lines.back());
    EXPECT_EQ(1, std::count(m_Handler.m_Lines.begin(), m_Handler.m_Lines.end(), "GateClosed 1"));
}

}  // namespace

namespace {

TEST_F(Gate, ADiscoveryBesideALiveConnectionKeepsItsAddressAndReportsTheLogin)
{
    LogIn();
    m_Handler.m_Lines.clear();
    m_Disp.Script({{}, {TDatagram{GateAddrReply("127.0.0.1", 4000)}}});
    ASSERT_EQ(1, m_pEngine->Connect(0));
    ASSERT_TRUE(PumpUntil([&] { return m_Handler.m_Lines.size() >= 3; }));
    std::vector<std::string> expected = {"DispSvrAddr 1 127.0.0.1 " + std::to_string(m_Disp.Port()),
                                         "GateSvrAddr 1 127.0.0.1 4000", "GateLogin 0"};
    EXPECT_EQ(expected, m_Handler.m_Lines);
    EXPECT_EQ(m_Gate.Port(), m_pEngine->GetGateSvrPort());
    // The connection itself is untouched.
    std::string body = MakeBody(9, 2, "still here");
    ASSERT_TRUE(m_pEngine->GetSender()->Send(body.data(), static_cast<unsigned>(body.size())));
    std::string payload;
    ASSERT_TRUE(PumpUntil([&] { return TakeGateFrame(Conn().m_strRecv, &payload); }));
    EXPECT_EQ(MakePkg(body), m_Crypto.Decrypt(payload));
    EXPECT_FALSE(m_Handler.Has("GateClosed"));
}

TEST_F(Gate, AThrowingHandlerLosesOnlyItsOwnFrame)
{
    class CThrowingHandler : public CRecordingHandler {
    public:
        CThrowingHandler() : CRecordingHandler(7) {}
        bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
        {
            CRecordingHandler::OnMsg(body, len);
            if (m_Bodies.size() == 1)
                throw std::runtime_error("handler failed");
            return true;
        }
    } h7;
    ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&h7));
    LogIn();
    std::string frames;
    for (uint16_t i = 1; i <= 3; ++i) frames += m_Crypto.EncryptedFrame(MakePkg(MakeBody(7, i)));
    Conn().Send(frames.data(), static_cast<unsigned>(frames.size()));
    ASSERT_TRUE(PumpUntil([&] { return h7.m_Bodies.size() >= 3; }));
    EXPECT_EQ((std::vector<std::string>{MakeBody(7, 1), MakeBody(7, 2), MakeBody(7, 3)}),
              h7.m_Bodies);
}

// Once logged in, a frame longer than any valid one is dropped as its bytes
// arrive, as any frame the dispatcher rejects; the connection stays.
TEST_F(Gate, AnOverlongFrameAfterTheLoginIsSkipped)
{
    CRecordingHandler h7(7);
    ASSERT_TRUE(m_pEngine->GetMsgDisp()->RegisterHandler(&h7));
    LogIn();
    const uint32_t len = CGateSvrSocket::kMaxEncryptedFrame + 16 * 1024;
    std::string frame(4 + len, 'x');
    WriteU32LE(&frame[0], len);
    frame += m_Crypto.EncryptedFrame(MakePkg(MakeBody(7, 9, "after")));
    for (size_t at = 0; at < frame.size();) {
        ASSERT_TRUE(PumpUntil([&] { return Conn().GetSendQueued() < 4096; }));
        size_t n = std::min<size_t>(frame.size() - at, 4096 - Conn().GetSendQueued());
        Conn().Send(frame.data() + at, static_cast<unsigned>(n));
        at += n;
    }
    ASSERT_TRUE(PumpUntil([&] { return !h7.m_Bodies.empty() || m_Handler.Has("GateClosed"); }));
    EXPECT_EQ(std::vector<std::string>{MakeBody(7, 9, "after")}, h7.m_Bodies);
    EXPECT_FALSE(m_Handler.Has("GateClosed"));
}

}  // namespace
