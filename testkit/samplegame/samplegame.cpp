// A sample game: everything it knows of the engine comes from
// include/QXNetEngine.h and the library loaded at run time. It drives the
// engine from its own message loop against the reference game server, which
// runs on a thread of its own.
#include "QXNetEngine.h"
#include "loader/engineloader.h"
#include "refserversthread.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// The reference game server on its own thread and message loop.
class CGameServer {
public:
    bool Start()
    {
        TRefServersConfig config;
        config.gamePort = 0;
        return m_Servers.Start(config);
    }
    unsigned short Port() const { return m_Servers.GamePort(); }

private:
    CRefServersThread m_Servers;
};

const unsigned int kClientId = 0xC0FFEE01u;
#ifdef _WIN32
const char kLibraryFile[] = "QXNetEngine.dll";
#else
const char kLibraryFile[] = "libqxnetengine.so";
#endif
const unsigned short kChatModule = 7;

TEngineExports g_Engine;

class CChatHandler : public IMsgHandler {
public:
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        m_Messages.emplace_back(body, len);
        return true;
    }
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return kChatModule; }

    IMsgSender* m_pSender = nullptr;
    std::vector<std::string> m_Messages;
};

class CGame : public IGameClientHandler {
public:
    void QXNET_CALL OnConnect(int result) override
    {
        m_Connects.push_back(result);
        if (result != 1)
            return;
        IMsgDisp* disp = m_pClient->GetMsgDisp();
        m_bRegistered = disp && disp->RegisterHandler(&m_Chat);
        m_Chat.SetSender(m_pClient->GetSender());
    }
    void QXNET_CALL OnClose() override { ++m_nCloses; }

    IGameClient* m_pClient = nullptr;
    CChatHandler m_Chat;
    std::vector<int> m_Connects;
    int m_nCloses = 0;
    bool m_bRegistered = false;
};

// The vtable as a C caller (or MSVC) sees it: one pointer to a table of
// functions taking the object as their first stack argument.
struct TGameClientVtbl {
    int(QXNET_CALL* Init)(IGameClient* self, unsigned int id, IGameClientHandler* handler);
    int(QXNET_CALL* Connect)(IGameClient* self, const char* ip, unsigned int port);
    IMsgDisp*(QXNET_CALL* GetMsgDisp)(IGameClient* self);
    IMsgSender*(QXNET_CALL* GetSender)(IGameClient* self);
    void(QXNET_CALL* Release)(IGameClient* self);
};
const TGameClientVtbl* Vtbl(IGameClient* c) { return *reinterpret_cast<TGameClientVtbl**>(c); }

class SampleGame : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(LoadEngine(&g_Engine));
#ifndef _WIN32
        EXPECT_EQ(-1, Pump(0));  // nothing to pump before start-up
#endif
        EXPECT_EQ(1, g_Engine.Init(0x1234, -1));  // both arguments ignored
#ifndef _WIN32
        EXPECT_EQ(0, Pump(0));
        int elsewhere = 0;
        std::thread([&] { elsewhere = Pump(0); }).join();
        EXPECT_EQ(-1, elsewhere);  // only the thread that started the engine pumps
#endif
    }
};

TEST_F(SampleGame, ChatsWithTheGameServer)
{
    CGameServer server;
    ASSERT_TRUE(server.Start());
    CGame game;
    ASSERT_EQ(1, g_Engine.GameClientGet(&game.m_pClient, 99));
    ASSERT_NE(nullptr, game.m_pClient);

    // Called through the raw table, exactly as a C or MSVC caller would.
    const TGameClientVtbl* vt = Vtbl(game.m_pClient);
    EXPECT_EQ(1, vt->Init(game.m_pClient, kClientId, &game));
    EXPECT_EQ(nullptr, vt->GetSender(game.m_pClient));
    ASSERT_EQ(1, vt->Connect(game.m_pClient, "127.0.0.1", server.Port()));

    ASSERT_TRUE(RunMessageLoopUntil(
        [](void* g) { return !static_cast<CGame*>(g)->m_Connects.empty(); }, &game, 5000));
    ASSERT_EQ(std::vector<int>{1}, game.m_Connects);
    ASSERT_TRUE(game.m_bRegistered);
    ASSERT_NE(nullptr, game.m_Chat.m_pSender);

    std::string hello = MessageBody(kChatModule, 1, "hello");
    ASSERT_TRUE(game.m_Chat.m_pSender->Send(hello.data(), static_cast<unsigned>(hello.size())));
    std::string again = MessageBody(kChatModule, 2, std::string(300, 'x'));
    ASSERT_TRUE(game.m_Chat.m_pSender->Send(again.data(), static_cast<unsigned>(again.size())));
    ASSERT_TRUE(RunMessageLoopUntil(
        [](void* g) { return static_cast<CGame*>(g)->m_Chat.m_Messages.size() == 2; }, &game,
        5000));
    EXPECT_EQ(hello, game.m_Chat.m_Messages[0]);
    EXPECT_EQ(again, game.m_Chat.m_Messages[1]);

    // The client says goodbye and the server leaves: exactly one OnClose.
    std::string bye = MessageBody(kChatModule, 0xFFFF, "");
    game.m_Chat.m_pSender->Send(bye.data(), static_cast<unsigned>(bye.size()));
    ASSERT_TRUE(RunMessageLoopUntil([](void* g) { return static_cast<CGame*>(g)->m_nCloses > 0; },
                                    &game, 5000));
    RunMessageLoopUntil([](void*) { return false; }, nullptr, 100);
    EXPECT_EQ(1, game.m_nCloses);
    vt->Release(game.m_pClient);
    EXPECT_EQ(1, g_Engine.Uninit());
}

TEST_F(SampleGame, RefusedConnectAndQuietRelease)
{
    unsigned short closedPort;
    {
        CGameServer probe;  // gone when the block ends
        ASSERT_TRUE(probe.Start());
        closedPort = probe.Port();
    }
    CGame game;
    g_Engine.GameClientGet(&game.m_pClient, 0);
    ASSERT_NE(nullptr, game.m_pClient);
    EXPECT_EQ(0, game.m_pClient->Init(0, &game));  // stored all the same
    ASSERT_EQ(1, game.m_pClient->Connect("127.0.0.1", closedPort));
    ASSERT_TRUE(RunMessageLoopUntil(
        [](void* g) { return !static_cast<CGame*>(g)->m_Connects.empty(); }, &game, 5000));
    EXPECT_EQ(std::vector<int>{0}, game.m_Connects);
    game.m_pClient->Release();
    EXPECT_EQ(0, game.m_nCloses);
}

// Last, since it lets go of the library: once initialised it stays loaded,
// for its windows live on and receive the system's broadcasts.
TEST(SampleGameUnload, TheLibraryStaysLoadedOnceInitialised)
{
    const std::string path = EngineDir() + kLibraryFile;
#ifdef _WIN32
    HMODULE h = LoadLibraryA(path.c_str());
    ASSERT_NE(nullptr, h);
    auto init = reinterpret_cast<PFN_QXNetEngine_Init>(
        reinterpret_cast<void*>(GetProcAddress(h, "QXNetEngine_Init")));
    ASSERT_NE(nullptr, init);
    EXPECT_EQ(1, init(0, 0));
    // This reference, then the loader's.
    FreeLibrary(h);
    FreeLibrary(h);
    EXPECT_NE(nullptr, GetModuleHandleA(kLibraryFile));
    // Every top-level window hears it, the engine's among them.
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
#else
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, h);
    auto init = reinterpret_cast<PFN_QXNetEngine_Init>(dlsym(h, "QXNetEngine_Init"));
    ASSERT_NE(nullptr, init);
    EXPECT_EQ(1, init(0, 0));
    dlclose(h);
    dlclose(h);
    EXPECT_NE(nullptr, dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD));
#endif
}

}  // namespace
