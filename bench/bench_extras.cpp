// What the summary prints beside the ratios: heap allocations per message on
// the steady paths, heap bytes per idle connection, and the round trips'
// latency percentiles with a chart of their distributions.
#include "allochook.h"
#include "bench.h"
#include "engineenv.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

// <build>/bench/, beside the build tree that holds this program.
std::string OutputDir()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string exe = n > 0 ? std::string(path, static_cast<size_t>(n)) : "./qxbench";
    std::string dir = exe.substr(0, exe.rfind('/') + 1) + "../../bench";
    if (system(("mkdir -p '" + dir + "'").c_str()) != 0)
        return std::string();
    char real[4096];
    return realpath(dir.c_str(), real) ? std::string(real) + "/" : dir + "/";
}

std::string Format(const char* fmt, double a, double b = 0, double c = 0)
{
    char text[256];
    std::snprintf(text, sizeof text, fmt, a, b, c);
    return text;
}

// ---- Allocations --------------------------------------------------------

double AllocsPerMessage(CLink& link, bool stream)
{
    const uint64_t n = 4000;
    for (int i = 0; i < 200; ++i) link.RoundTrip();  // buffers reach their steady size
    CAllocCounter counter;
    bool ok = stream ? link.Stream(n, 16) : [&] {
        for (uint64_t i = 0; i < n; ++i)
            if (!link.RoundTrip())
                return false;
        return true;
    }();
    TAllocCount c = counter.Count();
    if (!ok)
        BenchFail("a message did not come back while allocations were counted");
    return static_cast<double>(c.calls) / static_cast<double>(n);
}

void CountAllocations()
{
    std::unique_ptr<CLink> game = OpenGameClientLink(64), gate = OpenGateLink(64);
    AddNote(Format("Allocations per message, game client (send + dispatch), round trips: %.3f",
                   AllocsPerMessage(*game, false)));
    AddNote(
        Format("Allocations per message, gate (encrypt + send + decrypt + dispatch), round "
               "trips: %.3f",
               AllocsPerMessage(*gate, false)));
    AddNote(Format("Allocations per message, gate, streamed 16 in flight: %.3f",
                   AllocsPerMessage(*gate, true)));
}

// ---- Idle connections ----------------------------------------------------

class CIdleClient : public IGameClientHandler {
public:
    void QXNET_CALL OnConnect(int result) override { m_nConnect = result; }
    void QXNET_CALL OnClose() override {}
    IGameClient* m_pClient = nullptr;
    int m_nConnect = -1;
};

void MeasureIdleMemory()
{
    CEngineEnv& env = CEngineEnv::Get();
    const int kClients = 32, kGates = 8;
    std::vector<CIdleClient> clients(kClients);
    std::vector<std::unique_ptr<CGateSession>> gates;
    for (int i = 0; i < kGates; ++i) gates.emplace_back(new CGateSession);
    env.PumpUntil([] { return false; }, 50);

    int64_t clientBytes, gateBytes;
    {
        CAllocCounter counter;
        for (CIdleClient& c : clients) {
            env.Lib().GameClientGet(&c.m_pClient, 0);
            if (!c.m_pClient || !c.m_pClient->Init(kClientId, &c) ||
                !c.m_pClient->Connect("127.0.0.1", env.GamePort()))
                BenchFail("an idle game client did not start");
        }
        if (!env.PumpUntil([&] {
                return std::all_of(clients.begin(), clients.end(),
                                   [](const CIdleClient& c) { return c.m_nConnect == 1; });
            }))
            BenchFail("the idle game clients did not connect");
        env.PumpUntil([] { return false; }, 50);
        clientBytes = counter.Count().bytes;
    }
    {
        CAllocCounter counter;
        for (auto& g : gates)
            if (!g->Open())
                BenchFail("an idle net engine did not log in");
        env.PumpUntil([] { return false; }, 50);
        gateBytes = counter.Count().bytes;
    }
    for (CIdleClient& c : clients) c.m_pClient->Release();
    gates.clear();
    AddNote(
        Format("Heap bytes per idle game-client connection: %.0f (kernel socket buffers "
               "not included)",
               static_cast<double>(clientBytes) / kClients));
    AddNote(
        Format("Heap bytes per idle gate connection (net engine logged in): %.0f (kernel "
               "socket buffers not included)",
               static_cast<double>(gateBytes) / kGates));
}

// ---- Latency -------------------------------------------------------------

struct TLatency {
    const char* name;
    const char* file;
    std::vector<double> us;  // sorted
};

// Round robin over the links, one round trip each in turn, so that whatever
// else the machine does at the time weighs on all of them alike.
void Sample(std::vector<TLatency>& all, const std::vector<CLink*>& links)
{
    const int n = 20000;
    for (int i = 0; i < 500; ++i)
        for (CLink* link : links) link->RoundTrip();
    for (TLatency& l : all) l.us.reserve(n);
    for (int i = 0; i < n; ++i) {
        for (size_t k = 0; k < links.size(); ++k) {
            auto t0 = std::chrono::steady_clock::now();
            if (!links[k]->RoundTrip())
                BenchFail(std::string(all[k].name) + ": a message did not come back");
            all[k].us.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                    .count());
        }
    }
    for (TLatency& l : all) std::sort(l.us.begin(), l.us.end());
}

double Percentile(const std::vector<double>& sorted, double p)
{
    size_t i = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size()));
    return sorted[std::min(i, sorted.size() - 1)];
}

std::string PercentileText(const TLatency& l)
{
    return Format("p50 %.1f us, p99 %.1f us, p99.9 %.1f us", Percentile(l.us, 50),
                  Percentile(l.us, 99), Percentile(l.us, 99.9));
}

// The distributions as curves: the share of round trips done within a time,
// and below it the tail, the share slower than a time on a log scale, where
// p99 and p99.9 are read off at 1e-2 and 1e-3.
std::string DrawChart(const std::string& dir, const std::vector<TLatency>& all)
{
    for (const TLatency& l : all) {
        std::ofstream dat(dir + l.file);
        const size_t n = l.us.size();
        for (size_t i = 0; i + 1 < n; ++i) {
            // Every point of the tail, one in ten of the rest.
            if (i < n * 9 / 10 && i % 10 != 0)
                continue;
            const double done = static_cast<double>(i + 1) / static_cast<double>(n);
            dat << l.us[i] << ' ' << done << ' ' << 1.0 - done << '\n';
        }
    }
    const std::string svg = dir + "roundtrip-latency.svg", script = dir + "roundtrip-latency.gp";
    std::ofstream gp(script);
    gp << "set terminal svg size 900,900 dynamic background rgb 'white'\n"
       << "set output '" << svg << "'\n"
       << "set multiplot layout 2,1 title '64-byte round trips on 127.0.0.1'\n"
       << "set logscale x\nset grid\nset key right bottom\n"
       << "set xlabel 'round trip (microseconds, log scale)'\n";
    auto plot = [&](int column) {
        gp << "plot ";
        for (size_t i = 0; i < all.size(); ++i)
            gp << (i ? ", " : "") << "'" << dir << all[i].file << "' using 1:" << column
               << " with lines lw 2 title '" << all[i].name << "'";
        gp << "\n";
    };
    gp << "set ylabel 'share done within'\nset yrange [0:1]\n";
    plot(2);
    gp << "set ylabel 'share slower than (p99 at 1e-2, p99.9 at 1e-3)'\nset logscale y\n"
       << "set yrange [1e-4:1]\nset key right top\n";
    plot(3);
    gp << "unset multiplot\n";
    gp.close();
    if (system(("gnuplot '" + script + "' 2>/dev/null").c_str()) != 0)
        return std::string();
    return svg;
}

void MeasureLatency()
{
    std::unique_ptr<CLink> game = OpenGameClientLink(64), gate = OpenGateLink(64),
                           raw = OpenRawLink(64);
    std::vector<TLatency> all = {{"game client", "latency-gameclient.dat", {}},
                                 {"gate, encrypted", "latency-gate.dat", {}},
                                 {"raw socket + poll()", "latency-raw.dat", {}}};
    Sample(all, {game.get(), gate.get(), raw.get()});
    AddNote("Round-trip latency, 64 B, 20000 each:");
    for (const TLatency& l : all) AddNote(std::string("  ") + l.name + ": " + PercentileText(l));
    const std::string dir = OutputDir();
    const std::string svg = dir.empty() ? std::string() : DrawChart(dir, all);
    AddNote(svg.empty() ? "Latency chart: not drawn (is gnuplot installed?)"
                        : "Latency chart: " + svg);
}

}  // namespace

void RunEndToEndExtras()
{
    CountAllocations();
    MeasureIdleMemory();
    MeasureLatency();
}
