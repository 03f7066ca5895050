// The sample game: the whole story of a game and the engine, from top to
// bottom, against the reference servers on 127.0.0.1.
//
//   qxdemo --disp PORT --game PORT
//
// It loads the engine library that lies beside it, points it at the dispatch
// server through SvrAddr.ini, and then: discovers the gate server, logs in,
// echoes a few messages through the encrypted gate connection, runs a
// resource update, talks to the game server over a game-client connection,
// and releases everything. Every notification is printed as it arrives with
// the milliseconds since the start; the exit code is 0 only if every step
// happened.
#include "QXNetEngine.h"
#include "loader/engineloader.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// ---- Printing -----------------------------------------------------------

const auto g_Start = std::chrono::steady_clock::now();

long ElapsedMs()
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - g_Start)
                                 .count());
}

void Print(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    printf("[%6ld ms] ", ElapsedMs());
    vprintf(fmt, args);
    printf("\n");
    fflush(stdout);
    va_end(args);
}

// ---- Message bodies: module id, message id, payload (little-endian) -------

const unsigned short kEchoModule = 7;  // the reference gate sends these back
const unsigned short kChatModule = 7;  // the reference game server echoes everything
const unsigned short kResInfoModule = 300;
const unsigned short kGoodbye = 0xFFFF;  // the game server closes after it

void PutU16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& s, unsigned v)
{
    PutU16(s, v & 0xFFFF);
    PutU16(s, v >> 16);
}
std::string Body(unsigned short module, unsigned short msg, const std::string& payload)
{
    std::string b;
    PutU16(b, module);
    PutU16(b, msg);
    return b + payload;
}

// Reads the fields of a received body, refusing to run past its end.
class CReader {
public:
    CReader(const char* p, unsigned int n) : m_p(reinterpret_cast<const unsigned char*>(p)), m_n(n)
    {
    }
    bool U8(unsigned* v) { return Take(1, v); }
    bool U16(unsigned* v) { return Take(2, v); }
    bool U32(unsigned* v) { return Take(4, v); }
    // A short string: an 8-bit length, then the bytes.
    bool Text(std::string* s)
    {
        unsigned len;
        if (!U8(&len) || m_n - m_at < len)
            return false;
        s->assign(reinterpret_cast<const char*>(m_p + m_at), len);
        m_at += len;
        return true;
    }
    // A long string: an 8-bit count of short strings.
    bool BigText(std::string* s)
    {
        unsigned pieces;
        if (!U8(&pieces))
            return false;
        for (unsigned i = 0; i < pieces; ++i) {
            std::string piece;
            if (!Text(&piece))
                return false;
            *s += piece;
        }
        return true;
    }

private:
    bool Take(unsigned width, unsigned* v)
    {
        if (m_n - m_at < width)
            return false;
        *v = 0;
        for (unsigned i = 0; i < width; ++i) *v |= static_cast<unsigned>(m_p[m_at + i]) << (8 * i);
        m_at += width;
        return true;
    }
    const unsigned char* m_p;
    unsigned int m_n, m_at = 0;
};

// ---- The game's side of the net engine ----------------------------------

class CEngineEvents : public INetEngineHandler {
public:
    void QXNET_CALL OnDispSvrAddr(int ok, const char* ip, int port) override
    {
        Print("OnDispSvrAddr(ok %d, %s:%d)", ok, ip, port);
    }
    void QXNET_CALL OnGateSvrAddr(int ok, const char* ip, unsigned int port) override
    {
        Print("OnGateSvrAddr(ok %d, %s:%u)", ok, ip, port);
        m_bGateAddr = ok == 1;
        m_bDiscoveryEnded = true;
    }
    void QXNET_CALL OnGateLogin(int accepted) override
    {
        Print("OnGateLogin(accepted %d)", accepted);
        m_bLoginEnded = true;
    }
    void QXNET_CALL OnGateClosed(int closed) override
    {
        Print("OnGateClosed(%d)", closed);
        m_bLoginEnded = true;
        m_bClosed = true;
    }
    void QXNET_CALL OnConnected() override
    {
        Print("OnConnected(): the gate connection is ready");
        m_bConnected = true;
    }
    void QXNET_CALL OnReconnected(int accepted) override { Print("OnReconnected(%d)", accepted); }
    unsigned int QXNET_CALL GetClientVersion() override { return 20261210; }
    void QXNET_CALL OnDispNotice(unsigned int code, int value) override
    {
        Print("OnDispNotice(code %u, value %d)", code, value);
    }

    bool m_bGateAddr = false, m_bDiscoveryEnded = false, m_bLoginEnded = false;
    bool m_bConnected = false, m_bClosed = false;
};

// Base of the game's module handlers: keeps the sender the dispatcher hands it.
class CModuleHandler : public IMsgHandler {
public:
    explicit CModuleHandler(unsigned short module) : m_nModule(module) {}
    IMsgSender* QXNET_CALL SetSender(IMsgSender* sender) override
    {
        IMsgSender* old = m_pSender;
        m_pSender = sender;
        return old;
    }
    unsigned short QXNET_CALL GetModuleId() override { return m_nModule; }

protected:
    unsigned short m_nModule;
    IMsgSender* m_pSender = nullptr;
};

// Messages that come back from an echo, printed and counted.
class CEchoHandler : public CModuleHandler {
public:
    CEchoHandler(unsigned short module, const char* where) : CModuleHandler(module), m_pWhere(where)
    {
    }
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        CReader r(body, len);
        unsigned module, msg;
        if (!r.U16(&module) || !r.U16(&msg))
            return false;
        Print("%s: module %u message %u came back: \"%s\"", m_pWhere, module, msg,
              std::string(body + 4, len - 4).c_str());
        ++m_nReceived;
        return true;
    }
    int m_nReceived = 0;

private:
    const char* m_pWhere;
};

// Module 300: the engine's answers to a resource update.
class CResInfoHandler : public CModuleHandler {
public:
    CResInfoHandler() : CModuleHandler(kResInfoModule) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        CReader r(body, len);
        unsigned module, msg;
        if (!r.U16(&module) || !r.U16(&msg))
            return false;
        if (msg == 1) {  // RetVersions: result, version, number of records that follow
            unsigned result, version, count;
            if (!r.U32(&result) || !r.U32(&version) || !r.U32(&count))
                return false;
            m_nResult = static_cast<int>(result);
            m_nExpected = static_cast<int>(count);
            m_bAnswered = true;
            Print("RetVersions(result %d, version %u, %u record(s))", m_nResult, version, count);
            return true;
        }
        if (msg == 2) {  // RetResInfo: resource id, package id, the record as XML
            unsigned resId;
            std::string packageId, xml;
            if (!r.U32(&resId) || !r.Text(&packageId) || !r.BigText(&xml))
                return false;
            Print("RetResInfo(%u, \"%s\"): %s", resId, packageId.c_str(), xml.c_str());
            ++m_nRecords;
            return true;
        }
        return false;
    }
    bool Done() const { return m_bAnswered && m_nRecords >= m_nExpected; }

    bool m_bAnswered = false;
    int m_nResult = -99, m_nExpected = 0, m_nRecords = 0;
};

class CGameClientEvents : public IGameClientHandler {
public:
    void QXNET_CALL OnConnect(int result) override
    {
        Print("game client OnConnect(%d)", result);
        m_nConnect = result;
    }
    void QXNET_CALL OnClose() override
    {
        Print("game client OnClose()");
        m_bClosed = true;
    }
    int m_nConnect = -1;
    bool m_bClosed = false;
};

// ---- The story ----------------------------------------------------------

struct TStep {
    const char* name;
    bool done = false;
    long ms = 0;
};
std::vector<TStep> g_Steps;

// Records a step's outcome; false stops the story.
bool Step(const char* name, bool done)
{
    TStep s;
    s.name = name;
    s.done = done;
    s.ms = ElapsedMs();
    g_Steps.push_back(s);
    Print("%s %s", done ? "DONE  " : "FAILED", name);
    return done;
}

// Runs the message loop until the condition holds or seconds pass.
template <typename F>
bool WaitFor(F condition, int seconds)
{
    return RunMessageLoopUntil([](void* f) { return (*static_cast<F*>(f))(); }, &condition,
                               seconds * 1000);
}

bool Send(IMsgSender* sender, const std::string& body)
{
    return sender && sender->Send(body.data(), static_cast<unsigned int>(body.size()));
}

bool WriteServerAddress(unsigned dispPort)
{
    std::string ini = EngineDir() + "SvrAddr.ini";
    std::ofstream out(ini);
    out << "[SvrAddr]\nIP=127.0.0.1\nPort=" << dispPort << "\nTCP=-1\n";
    Print("wrote %s: dispatch server 127.0.0.1:%u", ini.c_str(), dispPort);
    return static_cast<bool>(out);
}

bool RunStory(const TEngineExports& lib, unsigned gamePort)
{
    // 1. Discovery and login: the engine finds the gate through the dispatch server.
    CEngineEvents events;
    INetEngine* engine = nullptr;
    lib.NetEngineGet(&engine, 0);
    if (!Step("create the net engine", engine && engine->Initialize(&events) == 1))
        return false;
    CEchoHandler gateEcho(kEchoModule, "gate echo");
    CResInfoHandler resInfo;
    engine->GetMsgDisp()->RegisterHandler(&gateEcho);
    engine->GetMsgDisp()->RegisterHandler(&resInfo);
    engine->Connect(0);
    WaitFor([&] { return events.m_bDiscoveryEnded; }, 60);
    bool ok = Step("discover the gate server", events.m_bGateAddr);
    if (ok) {
        WaitFor([&] { return events.m_bConnected || events.m_bLoginEnded; }, 20);
        ok = Step("log in at the gate server", events.m_bConnected);
    }

    // 2. Messages through the encrypted gate connection, echoed by the gate.
    if (ok) {
        for (int i = 1; i <= 3; ++i)
            Send(engine->GetSender(), Body(kEchoModule, static_cast<unsigned short>(i),
                                           "hello gate #" + std::to_string(i)));
        WaitFor([&] { return gateEcho.m_nReceived >= 3 || events.m_bClosed; }, 10);
        ok = Step("echo 3 messages through the gate", gateEcho.m_nReceived == 3);
    }

    // 3. A resource update: the engine fetches the packages newer than version 0.
    if (ok) {
        std::string version;
        PutU32(version, 0);
        Send(engine->GetSender(), Body(kResInfoModule, 1, version));  // GetVersions(0)
        WaitFor([&] { return resInfo.Done() || events.m_bClosed; }, 90);
        ok = Step("update resources",
                  resInfo.Done() && resInfo.m_nResult == 0 && resInfo.m_nRecords > 0);
    }

    // 4. A game-client session with the game server.
    if (ok) {
        CGameClientEvents clientEvents;
        IGameClient* client = nullptr;
        lib.GameClientGet(&client, 0);
        ok = client && client->Init(0xC0FFEE01u, &clientEvents) == 1 &&
             client->Connect("127.0.0.1", gamePort) == 1;
        if (ok) {
            WaitFor([&] { return clientEvents.m_nConnect != -1; }, 10);
            ok = clientEvents.m_nConnect == 1;
        }
        CEchoHandler chat(kChatModule, "game server echo");
        if (ok) {
            client->GetMsgDisp()->RegisterHandler(&chat);
            Send(client->GetSender(), Body(kChatModule, 1, "hello game server"));
            Send(client->GetSender(), Body(kChatModule, 2, "how are you?"));
            WaitFor([&] { return chat.m_nReceived >= 2 || clientEvents.m_bClosed; }, 10);
            ok = chat.m_nReceived == 2;
        }
        if (ok) {
            Send(client->GetSender(), Body(kChatModule, kGoodbye, ""));
            WaitFor([&] { return clientEvents.m_bClosed; }, 10);
            ok = clientEvents.m_bClosed;
        }
        if (client)
            client->Release();
        ok = Step("talk to the game server, then say goodbye", ok);
    }

    // 5. The end: the engine closes the gate connection on Release.
    engine->Release();
    Step("release the engine", true);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned dispPort = 0, gamePort = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--disp") == 0)
            dispPort = static_cast<unsigned>(atoi(argv[i + 1]));
        else if (strcmp(argv[i], "--game") == 0)
            gamePort = static_cast<unsigned>(atoi(argv[i + 1]));
    }
    if (dispPort == 0 || gamePort == 0) {
        fprintf(stderr, "usage: qxdemo --disp PORT --game PORT\n");
        return 2;
    }

    TEngineExports lib;
    if (!Step("load the engine library", LoadEngine(&lib)))
        return 1;
    Print("engine library in %s", EngineDir().c_str());
    lib.Init(0, 0);
    bool ok = WriteServerAddress(dispPort) && RunStory(lib, gamePort);
    lib.Uninit();

    printf("\nSummary\n");
    for (const TStep& s : g_Steps)
        printf("  %-44s %-6s at %6ld ms\n", s.name, s.done ? "done" : "FAILED", s.ms);
    const bool all = ok && g_Steps.size() == 8;
    printf("%s\n", all ? "Every step happened." : "Not every step happened.");
    return all ? 0 : 1;
}
