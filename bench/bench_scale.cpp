// Many connections in one process: N game clients against the reference game
// server, and N net engines logged in at the reference gate, each sending one
// 64-byte message per round and waiting for its echo. The servers run in a
// child process, so this process's CPU time is the engine's alone. Printed:
// messages per second, CPU time per message (ours, and the servers'),
// resident memory per connection, and the cost per message at the largest N
// over the cost at 10 (lower is better; a loop that scanned every socket per
// wake-up would grow with N).
#include "allochook.h"
#include "bench.h"
#include "engineenv.h"
#include "serverchild.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

namespace {

const size_t kBodyLen = 64;
const uint64_t kMessagesPerN = 200000;  // rounds enough for this many messages
const size_t kOpenBatch = 4;            // the servers listen with a backlog of 5

double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long ResidentBytes()
{
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// As many descriptors as the system lets this process have.
rlim_t RaiseOpenFileLimit()
{
    rlimit lim;
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0)
        return 1024;
    const rlim_t before = lim.rlim_cur;
    lim.rlim_cur = lim.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &lim) != 0)
        lim.rlim_cur = before;
    char line[160];
    std::snprintf(line, sizeof line, "Scale: open-file limit raised from %lu to %lu (the system's most)",
                  static_cast<unsigned long>(before), static_cast<unsigned long>(lim.rlim_cur));
    AddNote(line);
    return lim.rlim_cur;
}

uint64_t g_nEchoes = 0;  // every echo of every connection of the run

// One connection of the run, game client or net engine, with its echo handler.
class CPeer {
public:
    virtual ~CPeer() = default;
    virtual bool Open() = 0;       // starts connecting
    virtual int Ready() const = 0;  // 1 connected, 0 failed, -1 not yet
    virtual IMsgSender* Sender() = 0;
    virtual void Close() = 0;

protected:
    CCountingHandler m_Echo{kEchoModule, &g_nEchoes};
};

class CClientPeer : public CPeer, public IGameClientHandler {
public:
    CClientPeer(unsigned short port, unsigned int id) : m_nPort(port), m_nId(id) {}
    bool Open() override
    {
        CEngineEnv::Get().Lib().GameClientGet(&m_pClient, 0);
        return m_pClient && m_pClient->Init(m_nId, this) && m_pClient->Connect("127.0.0.1", m_nPort);
    }
    int Ready() const override { return m_nConnect; }
    IMsgSender* Sender() override { return m_pClient->GetSender(); }
    void Close() override
    {
        if (m_pClient)
            m_pClient->Release();
        m_pClient = nullptr;
    }
    void QXNET_CALL OnConnect(int result) override
    {
        m_nConnect = result == 1 ? 1 : 0;
        if (m_nConnect)
            m_pClient->GetMsgDisp()->RegisterHandler(&m_Echo);
    }
    void QXNET_CALL OnClose() override { m_nConnect = 0; }

private:
    unsigned short m_nPort;
    unsigned int m_nId;
    IGameClient* m_pClient = nullptr;
    int m_nConnect = -1;
};

class CEnginePeer : public CPeer, public INetEngineHandler {
public:
    bool Open() override
    {
        CEngineEnv::Get().Lib().NetEngineGet(&m_pEngine, 0);
        return m_pEngine && m_pEngine->Initialize(this) == 1 && m_pEngine->Connect(0) == 1;
    }
    int Ready() const override { return m_nState; }
    IMsgSender* Sender() override { return m_pEngine->GetSender(); }
    void Close() override
    {
        if (m_pEngine)
            m_pEngine->Release();
        m_pEngine = nullptr;
    }
    void QXNET_CALL OnDispSvrAddr(int, const char*, int) override {}
    void QXNET_CALL OnGateSvrAddr(int ok, const char*, unsigned int) override
    {
        if (!ok)
            m_nState = 0;
    }
    void QXNET_CALL OnGateLogin(int accepted) override
    {
        if (!accepted)
            m_nState = 0;
    }
    void QXNET_CALL OnGateClosed(int) override { m_nState = 0; }
    void QXNET_CALL OnConnected() override
    {
        m_pEngine->GetMsgDisp()->RegisterHandler(&m_Echo);
        m_nState = 1;
    }
    void QXNET_CALL OnReconnected(int) override {}
    unsigned int QXNET_CALL GetClientVersion() override { return 1; }
    void QXNET_CALL OnDispNotice(unsigned int, int) override { m_nState = 0; }

private:
    INetEngine* m_pEngine = nullptr;
    int m_nState = -1;
};

struct TScaleRow {
    size_t n = 0;
    double openSeconds = 0, msgsPerSecond = 0, cpuUsPerMsg = 0, serverCpuUsPerMsg = 0;
    int64_t heapPerConn = 0;
    long rssPerConn = 0;
};

class CScaleRun {
public:
    CScaleRun(const CServerChild& servers, std::function<CPeer*(size_t)> make)
        : m_Servers(servers), m_Make(std::move(make)), m_strBody(EchoBody(kBodyLen))
    {
    }
    ~CScaleRun() { CloseAll(); }

    TScaleRow Measure(size_t n)
    {
        TScaleRow row;
        row.n = n;
        const long rssBefore = ResidentBytes();
        std::unique_ptr<CAllocCounter> heap(new CAllocCounter);
        double t0 = WallSeconds();
        // A few at a time, each proven by an echo, so the listen queue never overflows.
        for (size_t first = 0; first < n; first += kOpenBatch) {
            const size_t end = std::min(n, first + kOpenBatch);
            for (size_t i = first; i < end; ++i) {
                m_Peers.emplace_back(m_Make(i));
                if (!m_Peers.back()->Open())
                    BenchFail("a connection of the scale run could not start");
            }
            if (!CEngineEnv::Get().PumpUntil(
                    [&] {
                        for (size_t i = first; i < end; ++i)
                            if (m_Peers[i]->Ready() == -1)
                                return false;
                        return true;
                    },
                    30000))
                BenchFail("connections of the scale run did not open in time");
            for (size_t i = first; i < end; ++i)
                if (m_Peers[i]->Ready() != 1)
                    BenchFail("a connection of the scale run was refused");
            if (!Round(first, end))
                BenchFail("the first echo of a new connection did not come back");
        }
        row.openSeconds = WallSeconds() - t0;
        row.heapPerConn = heap->Count().bytes / static_cast<int64_t>(n);
        heap.reset();
        // Resident memory grows only past what earlier runs freed and the
        // allocator kept: read it with the heap figure beside it.
        row.rssPerConn = (ResidentBytes() - rssBefore) / static_cast<long>(n);

        Round(0, n);  // every connection warm
        const uint64_t rounds = std::max<uint64_t>(5, kMessagesPerN / n);
        const double cpu0 = CpuSeconds(), server0 = m_Servers.CpuSeconds();
        t0 = WallSeconds();
        for (uint64_t r = 0; r < rounds; ++r)
            if (!Round(0, n))
                BenchFail("an echo of the scale run did not come back");
        const double wall = WallSeconds() - t0;
        const double messages = static_cast<double>(rounds * n);
        row.msgsPerSecond = messages / wall;
        row.cpuUsPerMsg = (CpuSeconds() - cpu0) * 1e6 / messages;
        row.serverCpuUsPerMsg = (m_Servers.CpuSeconds() - server0) * 1e6 / messages;
        CloseAll();
        return row;
    }

private:
    // Every peer in [first, end) sends one message; pumps until all are back.
    bool Round(size_t first, size_t end)
    {
        const uint64_t expected = g_nEchoes + (end - first);
        for (size_t i = first; i < end; ++i)
            if (!m_Peers[i]->Sender()->Send(m_strBody.data(),
                                            static_cast<unsigned int>(m_strBody.size())))
                return false;
        return CEngineEnv::Get().PumpUntil([&] { return g_nEchoes >= expected; }, 30000);
    }
    void CloseAll()
    {
        for (auto& p : m_Peers) p->Close();
        m_Peers.clear();
        CEngineEnv::Get().PumpUntil([] { return false; }, 200);  // closes settle
    }

    const CServerChild& m_Servers;
    std::function<CPeer*(size_t)> m_Make;
    std::string m_strBody;
    std::vector<std::unique_ptr<CPeer>> m_Peers;
};

std::string RowText(const TScaleRow& r)
{
    char line[200];
    std::snprintf(line, sizeof line, "  %6zu  %11.0f  %11.2f  %13.2f  %11lld  %10ld  %6.1f", r.n,
                  r.msgsPerSecond, r.cpuUsPerMsg, r.serverCpuUsPerMsg,
                  static_cast<long long>(r.heapPerConn), r.rssPerConn, r.openSeconds);
    return line;
}

void RunTable(const char* what, const std::vector<size_t>& sizes, rlim_t fileLimit,
              CServerChild& servers, const std::function<CPeer*(size_t)>& make)
{
    AddNote(std::string("Scale, ") + what + " (64 B echo per connection per round):");
    AddNote("       N   messages/s   CPU us/msg  server us/msg  heap B/conn  RSS B/conn  open s");
    CScaleRun run(servers, make);
    std::vector<TScaleRow> rows;
    for (size_t n : sizes) {
        // Each connection holds one descriptor here; keep room for the rest.
        if (n + 256 > fileLimit) {
            AddNote("  " + std::to_string(n) + ": skipped, beyond the open-file limit");
            continue;
        }
        rows.push_back(run.Measure(n));
        AddNote(RowText(rows.back()));
    }
    if (rows.size() >= 2) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "Scale, %s: CPU per message at %zu over at %zu: %.2fx (lower is better; "
                      "target <= 1.5x)",
                      what, rows.back().n, rows.front().n,
                      rows.back().cpuUsPerMsg / rows.front().cpuUsPerMsg);
        AddNote(line);
    }
}

void WriteSvrAddr(unsigned short dispPort)
{
    std::ofstream ini(EngineDir() + "SvrAddr.ini");
    ini << "[SvrAddr]\nIP=127.0.0.1\nPort=" << dispPort << "\nTCP=-1\n";
    if (!ini)
        BenchFail("cannot write SvrAddr.ini");
}

}  // namespace

void RunScaleBenchmarks()
{
    CEngineEnv& env = CEngineEnv::Get();
    const rlim_t limit = RaiseOpenFileLimit();
    CServerChild servers;
    if (!servers.Start("--game --disp --gate"))
        BenchFail("the reference servers' program did not start");
    const unsigned short gamePort = servers.Port("game");
    RunTable("game clients", {10, 100, 1000, 10000}, limit, servers, [gamePort](size_t i) {
        return new CClientPeer(gamePort, 0x5CA10000u + static_cast<unsigned int>(i));
    });
    WriteSvrAddr(servers.Port("disp"));
    RunTable("net engines at the gate", {10, 100, 1000}, limit, servers,
             [](size_t) { return new CEnginePeer; });
    WriteSvrAddr(env.DispPort());
    servers.Stop();
}
