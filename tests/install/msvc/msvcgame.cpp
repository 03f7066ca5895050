// A game as Microsoft's compiler builds it: MSVC's C++ ABI, no C runtime,
// the engine's five functions called through its import library. It talks
// to a game server that echoes (its port is the last word of the command
// line) and prints one line per step; the last says every step happened.
#include <QXNetEngine.h>

typedef unsigned long DWORD;

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(DWORD which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, DWORD len,
                                              DWORD* written, void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) DWORD __stdcall GetTickCount(void);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);
__declspec(dllimport) int __stdcall PeekMessageA(void* msg, void* wnd, unsigned int first,
                                                 unsigned int last, unsigned int remove);
__declspec(dllimport) long __stdcall DispatchMessageA(const void* msg);
__declspec(dllimport) DWORD __stdcall MsgWaitForMultipleObjects(DWORD count, void* const* handles,
                                                                int waitAll, DWORD ms, DWORD mask);

// Abstract classes' vtables name it (the C runtime's name, hence reserved);
// nothing here calls a pure function.
#ifdef __clang__
#pragma clang diagnostic ignored "-Wreserved-identifier"
#endif
int __cdecl _purecall(void);
int __cdecl _purecall(void)
{
    ExitProcess(3);
    return 0;
}
}

namespace {

const DWORD kStdOutput = static_cast<DWORD>(-11);
const unsigned int kPmRemove = 1;
const DWORD kQsAllInput = 0x04FF;

unsigned int Length(const char* text)
{
    unsigned int n = 0;
    while (text[n]) ++n;
    return n;
}

void Print(const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(kStdOutput), text, Length(text), &written, nullptr);
}

[[noreturn]] void Fail(const char* what)
{
    Print("msvc game: FAILED: ");
    Print(what);
    Print("\n");
    ExitProcess(1);
    for (;;) {
    }
}

void Check(bool ok, const char* what)
{
    if (!ok)
        Fail(what);
    Print("msvc game: ");
    Print(what);
    Print("\n");
}

// The window messages that carry every notification, until done() or 10 s.
template <typename Cond>
bool PumpUntil(Cond done)
{
    const DWORD start = GetTickCount();
    unsigned char msg[64];  // an MSG on either architecture
    while (!done()) {
        if (GetTickCount() - start > 10000)
            return false;
        if (PeekMessageA(msg, nullptr, 0, 0, kPmRemove))
            DispatchMessageA(msg);
        else
            MsgWaitForMultipleObjects(0, nullptr, 0, 50, kQsAllInput);
    }
    return true;
}

unsigned int PortFromCommandLine()
{
    const char* line = GetCommandLineA();
    unsigned int port = 0;
    for (const char* p = line; *p; ++p) {
        if (*p == ' ')
            port = 0;
        else if (*p >= '0' && *p <= '9')
            port = port * 10 + static_cast<unsigned int>(*p - '0');
    }
    return port;
}

class CEngineHandler final : public INetEngineHandler {
public:
    void QXNET_CALL OnDispSvrAddr(int, const char*, int) override {}
    void QXNET_CALL OnGateSvrAddr(int, const char*, unsigned int) override {}
    void QXNET_CALL OnGateLogin(int) override {}
    void QXNET_CALL OnGateClosed(int) override {}
    void QXNET_CALL OnConnected() override {}
    void QXNET_CALL OnReconnected(int) override {}
    unsigned int QXNET_CALL GetClientVersion() override
    {
        ++m_nVersionAsked;
        return 0x01020304u;
    }
    void QXNET_CALL OnDispNotice(unsigned int, int) override {}
    int m_nVersionAsked = 0;
};

class CClientHandler final : public IGameClientHandler {
public:
    void QXNET_CALL OnConnect(int result) override { m_nConnect = result; }
    void QXNET_CALL OnClose() override { ++m_nCloses; }
    int m_nConnect = -1;
    int m_nCloses = 0;
};

// Module 7's messages, as the echoing server sends them back.
class CEchoHandler final : public IMsgHandler {
public:
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        m_nLen = len;
        for (unsigned int i = 0; i < len && i < sizeof m_Body; ++i) m_Body[i] = body[i];
        return true;
    }
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return 7; }
    IMsgSender* m_pSender = nullptr;
    unsigned int m_nLen = 0;
    char m_Body[64] = {};
};

bool Same(const char* a, const char* b, unsigned int len)
{
    for (unsigned int i = 0; i < len; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

}  // namespace

// The entry point: no C runtime starts this program.
extern "C" int GameMain(void);
extern "C" int GameMain(void)
{
    unsigned char digest[20];
    unsigned int digestLen = sizeof digest;
    Check(QXNetEngine_GetHashCode("abc", 3, digest, &digestLen) == 0 && digestLen == 20,
          "QXNetEngine_GetHashCode: 20 bytes");
    Check(QXNetEngine_Init(0, 0) == 1, "QXNetEngine_Init");

    INetEngine* engine = nullptr;
    CEngineHandler engineHandler;
    Check(QXNetEngine_Get(&engine, 0) == 1 && engine, "QXNetEngine_Get");
    Check(engine->Initialize(&engineHandler) == 1 && engineHandler.m_nVersionAsked == 1,
          "INetEngine::Initialize asked the handler for its version");
    Check(engine->GetMsgDisp() != nullptr, "INetEngine::GetMsgDisp");
    Check(engine->GetSender() == nullptr, "INetEngine::GetSender: none before a login");

    IGameClient* client = nullptr;
    CClientHandler clientHandler;
    Check(QXGameClient_Get(&client, 0) == 1 && client, "QXGameClient_Get");
    Check(client->Init(0x5150, &clientHandler) == 1, "IGameClient::Init");
    Check(client->Connect("127.0.0.1", PortFromCommandLine()) == 1, "IGameClient::Connect");
    Check(PumpUntil([&] { return clientHandler.m_nConnect != -1; }) && clientHandler.m_nConnect == 1,
          "IGameClientHandler::OnConnect(1)");

    CEchoHandler echo;
    IMsgDisp* disp = client->GetMsgDisp();
    Check(disp && disp->RegisterHandler(&echo), "IMsgDisp::RegisterHandler");
    // Module 7, message 1, then the payload.
    const char body[] = {7, 0, 1, 0, 'h', 'e', 'l', 'l', 'o', ' ', 'm', 's', 'v', 'c'};
    IMsgSender* sender = client->GetSender();
    Check(sender && sender->Send(body, sizeof body), "IMsgSender::Send");
    Check(PumpUntil([&] { return echo.m_nLen != 0; }) && echo.m_nLen == sizeof body &&
              Same(echo.m_Body, body, sizeof body),
          "IMsgHandler::OnMsg: the echo came back whole");
    Check(disp->UnregisterHandler(&echo), "IMsgDisp::UnregisterHandler");

    client->Release();
    engine->Release();
    Check(QXNetEngine_Uninit() == 1, "QXNetEngine_Uninit");
    Print("msvc game: every step happened\n");
    ExitProcess(0);
    return 0;
}
