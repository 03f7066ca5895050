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
// or "rotation", a different one each cycle. A profile that resets, stalls or
// refuses connections makes that the outcome each connection must show.
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
    long cycles = 0, logins = 0, echoes = 0, gateClosed = 0, gateStalled = 0, gateRefused = 0;
    long updates = 0, updatesFailed = 0;
    long gameSessions = 0, gameClosed = 0, gameStalled = 0, gameRefused = 0, unexpected = 0;
};
TCounts g_Counts;

void Unexpected(const char* what)
{
    ++g_Counts.unexpected;
    fprintf(stderr, "cycle %ld: unexpected: %s\n", g_Counts.cycles, what);
}

// How a connection ended, and which endings a cycle's faults call for.
enum Outcome { kDone = 1, kClosed = 2, kStalled = 4, kRefused = 8 };
const char* OutcomeName(int outcome)
{
    switch (outcome) {
    case kDone: return "completed";
    case kClosed: return "closed";
    case kStalled: return "stalled";
    default: return "refused";
    }
}

// What the cycle's network does to every connection: the outcome it calls
// for (kDone on a network that only slows things down).
int g_nNetworkOutcome = kDone;

int NetworkOutcome(const TChaosProfile& p)
{
    auto resets = [](const TChaosDirection& d) {
        return d.resetAfterBytes >= 0 || d.resetAfterMs >= 0;
    };
    auto stalls = [](const TChaosDirection& d) {
        return d.stallAfterBytes >= 0 || d.stallAfterMs >= 0;
    };
    if (p.refuse)
        return kRefused;
    if (resets(p.up) || resets(p.down))
        return kClosed;
    if (stalls(p.up) || stalls(p.down))
        return kStalled;
    return kDone;
}

// Counts the outcome when the network or a fault the servers showed during
// the connection (sinceFaults: their count when it began) calls for it. A
// server's fault may close, stall or (a garbage frame the engine drops)
// change nothing.
bool Expected(const char* what, int outcome, unsigned sinceFaults)
{
    int allowed = g_nNetworkOutcome;
    if (RefFaultsShown() != sinceFaults)
        allowed |= kDone | kClosed | kStalled;
    if (outcome & allowed)
        return true;
    char line[160];
    snprintf(line, sizeof line, "%s %s (the network calls for %s)", what, OutcomeName(outcome),
             OutcomeName(g_nNetworkOutcome));
    Unexpected(line);
    return false;
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

// Waits for count() to reach want or ended(), giving up once nothing has
// arrived for a while: every profile's slowest echo comes well within it,
// and a stalled connection is told apart without waiting out the whole bound.
template <typename C, typename E>
void WaitForEchoes(C count, int want, E ended)
{
    const int kQuietMs = 2000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (count() < want && !ended() && std::chrono::steady_clock::now() < deadline) {
        int before = count();
        if (!WaitFor([&] { return count() != before || ended(); }, kQuietMs))
            return;
    }
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
    const unsigned faults = RefFaultsShown();
    engine->Connect(0);
    WaitFor(
        [&] {
            return events.m_bConnected || events.m_bClosed || events.m_bDiscoveryFailed ||
                   events.m_bRefused;
        },
        25000);
    if (!events.m_bConnected) {
        // Discovery never fails here: no profile loses every datagram.
        if (events.m_bDiscoveryFailed)
            Unexpected("no gate found");
        else if (events.m_bRefused && Expected("gate login", kRefused, faults))
            ++g_Counts.gateRefused;
        else if (events.m_bClosed && Expected("gate login", kClosed, faults))
            ++g_Counts.gateClosed;
        else if (!events.m_bRefused && !events.m_bClosed)
            Unexpected("no login and no close");
        engine->Release();
        return;
    }
    ++g_Counts.logins;
    for (int i = 0; i < kMessagesPerSession; ++i)
        Send(engine->GetSender(), MessageBody(kEchoModule, 1, std::string(16 + i * 7, 'e')));
    WaitForEchoes([&] { return echo.m_nReceived; }, kMessagesPerSession,
                  [&] { return events.m_bClosed; });
    g_Counts.echoes += echo.m_nReceived;
    if (events.m_bClosed) {
        if (Expected("gate session", kClosed, faults))
            ++g_Counts.gateClosed;
    } else if (echo.m_nReceived < kMessagesPerSession) {
        if (Expected("gate session", kStalled, faults))
            ++g_Counts.gateStalled;
    } else if (Expected("gate session", kDone, faults) && update) {
        const unsigned updateFaults = RefFaultsShown();
        std::string version(4, '\0');
        Send(engine->GetSender(), MessageBody(kResInfoModule, 1, version));
        // The engine's own watchdogs answer within the gate's time to name
        // the server plus the download's stall watchdog.
        WaitFor([&] { return resInfo.m_bAnswered || events.m_bClosed; }, 80000);
        if (!resInfo.m_bAnswered)
            Unexpected("an update without an answer");
        else if (resInfo.m_nResult == 0)
            ++g_Counts.updates;
        else if (resInfo.m_nResult == -3 && RefFaultsShown() != updateFaults)
            ++g_Counts.updatesFailed;  // the server closed mid-file
        else
            Unexpected("an update result other than 0, or -3 after a fault");
    }
    engine->Release();
}

void GameSession(const TEngineExports& lib, unsigned short port)
{
    CClientEvents events;
    IGameClient* client = nullptr;
    lib.GameClientGet(&client, 0);
    const unsigned faults = RefFaultsShown();
    if (!client || client->Init(0x50AC0001u, &events) != 1 ||
        client->Connect("127.0.0.1", port) != 1) {
        Unexpected("no game client");
        if (client)
            client->Release();
        return;
    }
    WaitFor([&] { return events.m_nConnect != -1; }, 5000);
    if (events.m_nConnect != 1) {
        if (events.m_nConnect == 0 && Expected("game client connect", kRefused, faults))
            ++g_Counts.gameRefused;
        else if (events.m_nConnect != 0)
            Unexpected("the game client's connect did not end");
        client->Release();
        return;
    }
    CHandler chat(kEchoModule);
    client->GetMsgDisp()->RegisterHandler(&chat);
    for (int i = 0; i < kMessagesPerSession; ++i)
        Send(client->GetSender(), MessageBody(kEchoModule, 1, std::string(8 + i * 11, 'g')));
    WaitForEchoes([&] { return chat.m_nReceived; }, kMessagesPerSession,
                  [&] { return events.m_bClosed; });
    if (events.m_bClosed) {
        if (Expected("game session", kClosed, faults))
            ++g_Counts.gameClosed;
    } else if (chat.m_nReceived < kMessagesPerSession) {
        if (Expected("game session", kStalled, faults))
            ++g_Counts.gameStalled;
    } else if (Expected("game session", kDone, faults)) {
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
    // The profile for the cycle, taken by connections and datagrams from now
    // on (the first round in order); returns the outcome it calls for.
    int ForCycle(long cycle)
    {
        // Each round starts one profile later, so the servers' every-N-th
        // faults do not meet the same profiles round after round.
        const size_t n = m_Profiles.size();
        size_t round = static_cast<size_t>(cycle - 1) / n;
        size_t wanted = (static_cast<size_t>(cycle - 1) + round) % n;
        TChaosProfile profile;
        ChaosNamedProfile(m_Profiles[wanted], &profile);
        m_nProfile = static_cast<int>(wanted);
        // The proxies' thread takes it on its next turn: no connection of
        // the cycle may meet the previous profile.
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Ready.wait_for(lock, std::chrono::seconds(5),
                         [&] { return m_nApplied == static_cast<int>(wanted); });
        return NetworkOutcome(profile);
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
                std::lock_guard<std::mutex> lock(m_Mutex);
                m_nApplied = wanted;
                m_Ready.notify_all();
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
    int m_nApplied = 0;  // under m_Mutex
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
    // The rotation: slow networks, then one that resets, one that stalls and
    // one that refuses every connection.
    std::vector<std::string> profiles;
    if (network == "rotation")
        profiles = {"mobile", "lossy-udp", "1-byte", "thin", "reset", "stall", "refuse"};
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
            g_nNetworkOutcome = proxied->ForCycle(g_Counts.cycles);
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
    printf("  gate logins %ld, messages echoed %ld; gate closed %ld, stalled %ld, refused %ld\n",
           c.logins, c.echoes, c.gateClosed, c.gateStalled, c.gateRefused);
    printf("  updates: %ld complete, %ld failed with -3\n", c.updates, c.updatesFailed);
    printf("  game sessions: %ld complete, %ld closed, %ld stalled, %ld refused\n", c.gameSessions,
           c.gameClosed, c.gameStalled, c.gameRefused);
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
