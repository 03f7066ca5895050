// qxsoak: many cycles of the whole story against reference servers that
// misbehave on purpose, watching the process's memory and descriptors.
//
//   qxsoak (--minutes M | --cycles N) --packages DESCRIPTION [--faults EVERY]
//          [--network PROFILE|rotation] [--ignore-memory]
//
// Each cycle: a net engine discovers the gate, logs in and echoes messages
// (every fourth cycle also runs a resource update), then a game client talks
// to the game server and says goodbye; everything is released. Every N-th
// server connection closes mid-frame, sends garbage or stalls. A cycle ends
// in success or in the notification its fault calls for; anything else is
// unexpected. The exit code is 0 only when nothing unexpected happened and
// memory and descriptors stayed flat (--ignore-memory: descriptors only, for a
// build whose allocator keeps freed memory on purpose, as AddressSanitizer's does).
// --network puts the chaos proxy in front of every server: one named profile,
// or "rotation", a different one each cycle.
#include "QXNetEngine.h"
#include "chaosproxy.h"
#include "dispserver.h"
#include "loader/engineloader.h"
#include "packages.h"
#include "refserversthread.h"

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const unsigned short kEchoModule = 7;
const unsigned short kResInfoModule = 300;
const int kMessagesPerSession = 20;

struct TCounts {
    long cycles = 0, logins = 0, echoes = 0, gateClosedByServer = 0, gateStalled = 0;
    long updates = 0, updatesFailed = 0, updatesUnanswered = 0;
    long gameSessions = 0, gameClosedByServer = 0, unexpected = 0;
};
TCounts g_Counts;

void Unexpected(const char* what)
{
    ++g_Counts.unexpected;
    fprintf(stderr, "cycle %ld: unexpected: %s\n", g_Counts.cycles, what);
}

bool Send(IMsgSender* sender, const std::string& body)
{
    return sender && sender->Send(body.data(), static_cast<unsigned int>(body.size()));
}

template <typename F>
bool WaitFor(F condition, int ms)
{
    return RunMessageLoopUntil([](void* f) { return (*static_cast<F*>(f))(); }, &condition, ms);
}

class CEvents : public INetEngineHandler {
public:
    void QXNET_CALL OnDispSvrAddr(int, const char*, int) override {}
    void QXNET_CALL OnGateSvrAddr(int ok, const char*, unsigned int) override
    {
        m_bDiscoveryFailed = ok != 1;
    }
    void QXNET_CALL OnGateLogin(int accepted) override { m_bRefused = accepted != 1; }
    void QXNET_CALL OnGateClosed(int) override { m_bClosed = true; }
    void QXNET_CALL OnConnected() override { m_bConnected = true; }
    void QXNET_CALL OnReconnected(int) override {}
    unsigned int QXNET_CALL GetClientVersion() override { return 1; }
    void QXNET_CALL OnDispNotice(unsigned int, int) override { m_bDiscoveryFailed = true; }
    bool m_bConnected = false, m_bClosed = false, m_bRefused = false, m_bDiscoveryFailed = false;
};

class CHandler : public IMsgHandler {
public:
    explicit CHandler(unsigned short module) : m_nModule(module) {}
    bool QXNET_CALL OnMsg(const char* body, unsigned int len) override
    {
        if (m_nModule == kResInfoModule && len >= 8 && body[2] == 1) {
            m_nResult = static_cast<int>(
                static_cast<unsigned char>(body[4]) | static_cast<unsigned char>(body[5]) << 8 |
                static_cast<unsigned char>(body[6]) << 16 |
                static_cast<unsigned>(static_cast<unsigned char>(body[7])) << 24);
            m_bAnswered = true;
        }
        ++m_nReceived;
        return true;
    }
    IMsgSender* QXNET_CALL SetSender(IMsgSender*) override { return nullptr; }
    unsigned short QXNET_CALL GetModuleId() override { return m_nModule; }
    unsigned short m_nModule;
    int m_nReceived = 0, m_nResult = 0;
    bool m_bAnswered = false;
};

class CClientEvents : public IGameClientHandler {
public:
    void QXNET_CALL OnConnect(int result) override { m_nConnect = result; }
    void QXNET_CALL OnClose() override { m_bClosed = true; }
    int m_nConnect = -1;
    bool m_bClosed = false;
};

void EngineSession(const TEngineExports& lib, bool update)
{
    CEvents events;
    INetEngine* engine = nullptr;
    lib.NetEngineGet(&engine, 0);
    if (!engine || engine->Initialize(&events) != 1) {
        Unexpected("no engine");
        return;
    }
    CHandler echo(kEchoModule), resInfo(kResInfoModule);
    engine->GetMsgDisp()->RegisterHandler(&echo);
    engine->GetMsgDisp()->RegisterHandler(&resInfo);
    engine->Connect(0);
    WaitFor(
        [&] {
            return events.m_bConnected || events.m_bClosed || events.m_bDiscoveryFailed ||
                   events.m_bRefused;
        },
        25000);
    if (!events.m_bConnected) {
        // The gate may close during the handshake on purpose; nothing else fails here.
        if (events.m_bClosed)
            ++g_Counts.gateClosedByServer;
        else
            Unexpected("no login and no close");
        engine->Release();
        return;
    }
    ++g_Counts.logins;
    for (int i = 0; i < kMessagesPerSession; ++i)
        Send(engine->GetSender(), MessageBody(kEchoModule, 1, std::string(16 + i * 7, 'e')));
    WaitFor([&] { return echo.m_nReceived == kMessagesPerSession || events.m_bClosed; }, 5000);
    g_Counts.echoes += echo.m_nReceived;
    if (events.m_bClosed) {
        ++g_Counts.gateClosedByServer;
    } else if (echo.m_nReceived < kMessagesPerSession) {
        ++g_Counts.gateStalled;  // the stalling gate answers nothing more
    } else if (update) {
        std::string version(4, '\0');
        Send(engine->GetSender(), MessageBody(kResInfoModule, 1, version));
        WaitFor([&] { return resInfo.m_bAnswered || events.m_bClosed; }, 70000);
        if (!resInfo.m_bAnswered)
            ++g_Counts.updatesUnanswered;
        else if (resInfo.m_nResult == 0)
            ++g_Counts.updates;
        else if (resInfo.m_nResult == -3)
            ++g_Counts.updatesFailed;  // the server closed mid-file
        else
            Unexpected("an update result other than 0 or -3");
    }
    engine->Release();
}

void GameSession(const TEngineExports& lib, unsigned short port)
{
    CClientEvents events;
    IGameClient* client = nullptr;
    lib.GameClientGet(&client, 0);
    if (!client || client->Init(0x50AC0001u, &events) != 1 ||
        client->Connect("127.0.0.1", port) != 1) {
        Unexpected("no game client");
        if (client)
            client->Release();
        return;
    }
    WaitFor([&] { return events.m_nConnect != -1; }, 5000);
    if (events.m_nConnect != 1) {
        Unexpected("the game client did not connect");
        client->Release();
        return;
    }
    CHandler chat(kEchoModule);
    client->GetMsgDisp()->RegisterHandler(&chat);
    for (int i = 0; i < kMessagesPerSession; ++i)
        Send(client->GetSender(), MessageBody(kEchoModule, 1, std::string(8 + i * 11, 'g')));
    WaitFor([&] { return chat.m_nReceived == kMessagesPerSession || events.m_bClosed; }, 5000);
    if (events.m_bClosed) {
        ++g_Counts.gameClosedByServer;
    } else if (chat.m_nReceived < kMessagesPerSession) {
        Unexpected("the game server's echoes did not all come back");
    } else {
        Send(client->GetSender(), MessageBody(kEchoModule, 0xFFFF, ""));
        WaitFor([&] { return events.m_bClosed; }, 5000);
        if (events.m_bClosed)
            ++g_Counts.gameSessions;
        else
            Unexpected("no close after goodbye");
    }
    client->Release();
}

// Resident memory in KiB and open descriptors of this process.
long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return atol(line.c_str() + 6);
    return -1;
}
long OpenDescriptors()
{
    long n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n - 3;  // ".", ".." and the directory's own descriptor
}

// The servers with a chaos proxy in front of each, on a thread and loop of
// their own: the dispatch server names the gate's proxy, the gate the
// resource server's; the engine is pointed at the dispatch proxy.
class CNetworkServers {
public:
    explicit CNetworkServers(std::vector<std::string> profiles) : m_Profiles(std::move(profiles)) {}
    ~CNetworkServers() { Stop(); }
    // Stops the proxies and the servers; m_Counts then holds the proxies' sums.
    void Stop()
    {
        m_bStop = true;
        if (m_Thread.joinable())
            m_Thread.join();
    }
    bool Start(const TRefServersConfig& config)
    {
        m_Thread = std::thread([this, config] { Run(config); });
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Ready.wait_for(lock, std::chrono::seconds(10), [this] { return m_bReady; });
        return m_bStarted;
    }
    // The profile for the cycle, taken by connections and datagrams from now on.
    void ForCycle(long cycle)
    {
        m_nProfile = static_cast<int>(cycle % static_cast<long>(m_Profiles.size()));
    }
    unsigned short DispPort() const { return m_nDispPort; }
    unsigned short GamePort() const { return m_nGamePort; }
    TChaosCounts m_Counts;  // summed when the thread ends

private:
    void Run(TRefServersConfig config)
    {
        config.dispPort = -1;
        CRefServers servers;
        CChaosProxy gate, res, game, disp;
        std::unique_ptr<CRefDispServer> dispServer;
        TChaosProfile profile;
        bool ok = servers.Start(config) && ChaosNamedProfile(m_Profiles[0], &profile);
        auto start = [&](CChaosProxy& proxy, unsigned short target, bool udp, uint32_t seed) {
            TChaosConfig c;
            c.profile = profile;
            c.tcpTarget = target;
            c.udpTarget = udp ? target : 0;
            c.seed = seed;
            return proxy.Start(c);
        };
        ok = ok && start(gate, servers.GatePort(), false, 1) &&
             start(res, servers.ResInfoPort(), false, 2) &&
             start(game, servers.GamePort(), false, 3);
        if (ok) {
            servers.NameResInfoPort(res.TcpPort());
            TDispConfig dc = config.disp;
            dc.gatePort = gate.TcpPort();
            dispServer.reset(new CRefDispServer(dc));
            ok = dispServer->Start(0) && start(disp, dispServer->Port(), true, 4);
        }
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bStarted = ok;
            m_nDispPort = disp.UdpPort();
            m_nGamePort = game.TcpPort();
            m_bReady = true;
        }
        m_Ready.notify_all();
        int current = 0;
        while (ok && !m_bStop) {
            int wanted = m_nProfile;
            if (wanted != current &&
                ChaosNamedProfile(m_Profiles[static_cast<size_t>(wanted)], &profile)) {
                for (CChaosProxy* p : {&gate, &res, &game, &disp}) p->SetProfile(profile);
                current = wanted;
            }
            qxplat::PumpMessages(20);
        }
        for (CChaosProxy* p : {&gate, &res, &game, &disp}) {
            p->Stop();
            const TChaosCounts& c = p->Counts();
            m_Counts.tcpAccepted += c.tcpAccepted;
            m_Counts.tcpResets += c.tcpResets;
            m_Counts.tcpStalls += c.tcpStalls;
            m_Counts.udpForwarded += c.udpForwarded;
            m_Counts.udpDropped += c.udpDropped;
        }
        if (dispServer)
            dispServer->Stop();
        servers.Stop();
    }

    std::vector<std::string> m_Profiles;
    std::thread m_Thread;
    std::mutex m_Mutex;
    std::condition_variable m_Ready;
    bool m_bReady = false, m_bStarted = false;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nProfile{0};
    unsigned short m_nDispPort = 0, m_nGamePort = 0;
};

// The proxies keep a client's UDP mapping until it has been idle a while;
// both counts of descriptors are taken once the last cycle's has ended.
void SettleProxies(bool proxied)
{
    if (proxied)
        RunMessageLoopUntil([](void*) { return false; }, nullptr, 2500);
}

}  // namespace

int main(int argc, char** argv)
{
    double minutes = 0;
    long cycles = 0;
    int faults = 3;
    std::string description;
    bool ignoreMemory = false;
    std::string network;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--ignore-memory") == 0) {
            ignoreMemory = true;
            continue;
        }
        if (i + 1 == argc)
            break;
        if (strcmp(argv[i], "--minutes") == 0)
            minutes = atof(argv[i + 1]);
        else if (strcmp(argv[i], "--cycles") == 0)
            cycles = atol(argv[i + 1]);
        else if (strcmp(argv[i], "--faults") == 0)
            faults = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--packages") == 0)
            description = argv[i + 1];
        else if (strcmp(argv[i], "--network") == 0)
            network = argv[i + 1];
        ++i;
    }
    if ((minutes <= 0 && cycles <= 0) || description.empty()) {
        fprintf(stderr,
                "usage: qxsoak (--minutes M | --cycles N) --packages DESCRIPTION [--faults EVERY]\n"
                "              [--network PROFILE|rotation] [--ignore-memory]\n");
        return 2;
    }
    // The rotation: every profile whose faults the cycle's accounting knows
    // (the servers' own --faults give the closes and stalls).
    std::vector<std::string> profiles;
    if (network == "rotation")
        profiles = {"mobile", "lossy-udp", "1-byte", "thin"};
    else if (!network.empty())
        profiles = {network};
    TChaosProfile probe;
    for (const std::string& p : profiles) {
        if (!ChaosNamedProfile(p, &probe)) {
            fprintf(stderr, "qxsoak: no network profile named %s\n", p.c_str());
            return 2;
        }
    }
    TEngineExports lib;
    if (!LoadEngine(&lib)) {
        fprintf(stderr, "qxsoak: cannot load the engine library\n");
        return 1;
    }
    const std::string packages = EngineDir() + "soak-packages";
    if (!BuildPackages(description.c_str(), packages, false))
        return 1;
    SetRefLogQuiet(true);
    TRefServersConfig config;
    config.dispPort = config.gatePort = config.resInfoPort = config.gamePort = 0;
    config.packageDir = packages;
    config.faultEvery = faults;
    CRefServersThread servers;
    std::unique_ptr<CNetworkServers> proxied;
    unsigned short dispPort = 0, gamePort = 0;
    if (profiles.empty()) {
        if (!servers.Start(config)) {
            fprintf(stderr, "qxsoak: the servers did not start\n");
            return 1;
        }
        dispPort = servers.DispPort();
        gamePort = servers.GamePort();
    } else {
        proxied.reset(new CNetworkServers(profiles));
        if (!proxied->Start(config)) {
            fprintf(stderr, "qxsoak: the servers or their proxies did not start\n");
            return 1;
        }
        dispPort = proxied->DispPort();
        gamePort = proxied->GamePort();
    }
    std::ofstream(EngineDir() + "SvrAddr.ini")
        << "[SvrAddr]\nIP=127.0.0.1\nPort=" << dispPort << "\nTCP=-1\n";
    lib.Init(0, 0);

    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    long rssStart = 0, fdsStart = 0;
    double nextReport = 30;
    while (cycles > 0 ? g_Counts.cycles < cycles : elapsed() < minutes * 60) {
        ++g_Counts.cycles;
        if (proxied)
            proxied->ForCycle(g_Counts.cycles);
        EngineSession(lib, g_Counts.cycles % 4 == 0);
        GameSession(lib, gamePort);
        RunMessageLoopUntil([](void*) { return false; }, nullptr, 10);
        if (g_Counts.cycles == 10 || (cycles > 0 && cycles < 10 && g_Counts.cycles == 1)) {
            SettleProxies(proxied != nullptr);
            rssStart = ResidentKiB();  // after the warm-up: caches and pools are filled
            fdsStart = OpenDescriptors();
        }
        if (elapsed() >= nextReport) {
            printf("%6.0f s: %ld cycles, %ld unexpected, %ld KiB resident, %ld descriptors\n",
                   elapsed(), g_Counts.cycles, g_Counts.unexpected, ResidentKiB(),
                   OpenDescriptors());
            fflush(stdout);
            nextReport += 30;
        }
    }
    SettleProxies(proxied != nullptr);
    long rssEnd = ResidentKiB(), fdsEnd = OpenDescriptors();
    lib.Uninit();
    if (proxied)
        proxied->Stop();

    const TCounts& c = g_Counts;
    printf("\nSoak: %.0f s, %ld cycles, one server connection in %d misbehaving\n", elapsed(),
           c.cycles, faults);
    printf(
        "  gate logins %ld, messages echoed %ld, gate closed by the server %ld, gate stalled "
        "%ld\n",
        c.logins, c.echoes, c.gateClosedByServer, c.gateStalled);
    printf("  updates: %ld complete, %ld failed with -3, %ld unanswered (stalled gate)\n",
           c.updates, c.updatesFailed, c.updatesUnanswered);
    printf("  game sessions: %ld complete, %ld closed by the server\n", c.gameSessions,
           c.gameClosedByServer);
    printf("  faults shown by the servers: %u\n", RefFaultsShown());
    if (proxied) {
        const TChaosCounts& n = proxied->m_Counts;
        printf(
            "  network %s: %llu connections proxied, %llu reset, %llu stalled; %llu datagrams "
            "passed, %llu dropped\n",
            network.c_str(), static_cast<unsigned long long>(n.tcpAccepted),
            static_cast<unsigned long long>(n.tcpResets),
            static_cast<unsigned long long>(n.tcpStalls),
            static_cast<unsigned long long>(n.udpForwarded),
            static_cast<unsigned long long>(n.udpDropped));
    }
    printf("  resident memory: %ld KiB after warm-up, %ld KiB at the end\n", rssStart, rssEnd);
    printf("  open descriptors: %ld after warm-up, %ld at the end\n", fdsStart, fdsEnd);
    printf("  unexpected outcomes: %ld\n", c.unexpected);
    // Allocator pools settle slowly; growth beyond a few MiB is a leak.
    const bool flat = fdsEnd <= fdsStart && (ignoreMemory || rssEnd - rssStart < 8 * 1024);
    printf("%s\n", c.unexpected == 0 && flat ? "Soak passed." : "Soak FAILED.");
    return c.unexpected == 0 && flat ? 0 : 1;
}
