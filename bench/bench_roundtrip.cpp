// Round trips and streams through the engine's two kinds of connection,
// each against the raw socket doing the same with the reference game server.
#include "bench.h"
#include "engineenv.h"

#include <map>
#include <utility>

namespace {

const char* const kRawBaseline = "raw socket + poll()";
const char* const kCipheredBaseline = "raw socket + poll(), gate frames and cipher by OpenSSL";
const uint64_t kStreamBatch = 256;  // messages per iteration of a stream
const unsigned kWindow = 16;        // messages in flight at most

enum class EKind { GameClient, Gate, Raw, CipheredRaw };

// One link of each kind and size for the whole run: connecting is not measured.
std::map<std::pair<EKind, size_t>, std::unique_ptr<CLink>> g_Links;

CLink& Link(EKind kind, size_t bodyLen)
{
    std::unique_ptr<CLink>& link = g_Links[{kind, bodyLen}];
    if (!link)
        link = kind == EKind::GameClient ? OpenGameClientLink(bodyLen)
               : kind == EKind::Gate     ? OpenGateLink(bodyLen)
               : kind == EKind::Raw      ? OpenRawLink(bodyLen)
                                         : OpenCipheredRawLink(bodyLen);
    return *link;
}

void RoundTrips(benchmark::State& st, EKind kind, size_t bodyLen)
{
    CLink& link = Link(kind, bodyLen);
    for (auto _ : st)
        if (!link.RoundTrip()) {
            st.SkipWithError("a message did not come back");
            break;
        }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()));
}

void Streams(benchmark::State& st, EKind kind, size_t bodyLen)
{
    CLink& link = Link(kind, bodyLen);
    for (auto _ : st)
        if (!link.Stream(kStreamBatch, kWindow)) {
            st.SkipWithError("a stream stalled");
            break;
        }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations() * kStreamBatch));
}

}  // namespace

void RegisterRoundTripBenchmarks()
{
    RegisterPair(
        "Game-client round trip", "64 B",
        [](benchmark::State& st) { RoundTrips(st, EKind::GameClient, 64); },
        [](benchmark::State& st) { RoundTrips(st, EKind::Raw, 64); }, kRawBaseline);
    RegisterPair(
        "Gate round trip, encrypted", "64 B",
        [](benchmark::State& st) { RoundTrips(st, EKind::Gate, 64); },
        [](benchmark::State& st) { RoundTrips(st, EKind::Raw, 64); }, kRawBaseline);
    // The second baseline pays for the cipher as the engine does, four passes a message.
    for (size_t len : {64, 1024}) {
        RegisterPair(
            "Gate throughput, encrypted", SizeText(len),
            [len](benchmark::State& st) { Streams(st, EKind::Gate, len); },
            [len](benchmark::State& st) { Streams(st, EKind::Raw, len); }, kRawBaseline);
        RegisterExtraBaseline(
            "Gate throughput, encrypted", SizeText(len), "ciphered baseline",
            [len](benchmark::State& st) { Streams(st, EKind::CipheredRaw, len); },
            kCipheredBaseline);
    }
}

void ReleaseRoundTripLinks() { g_Links.clear(); }
