#pragma once

#include "summary.h"

#include <cstddef>
#include <functional>
#include <string>

// "64 B", "16 KiB"
std::string SizeText(size_t len);

// Registers "<what>/<size>/ours" and "<what>/<size>/<baseline>" next to each
// other and records them as the comparison "<what> <size> vs <baseline>".
// The summary keeps the fastest of the repetitions.
void RegisterPair(const std::string& what, const std::string& size,
                  std::function<void(benchmark::State&)> ours,
                  std::function<void(benchmark::State&)> base, const std::string& baseline,
                  int repetitions = 3);

// Registers "<what>/<size>/<name>" as one more baseline for the pair above,
// recorded as the comparison "<what> <size> vs <baseline>".
void RegisterExtraBaseline(const std::string& what, const std::string& size,
                           const std::string& name, std::function<void(benchmark::State&)> base,
                           const std::string& baseline, int repetitions = 3);

void RegisterDataEncryptionBenchmarks();
void RegisterHashBenchmarks();
void RegisterCrcBenchmarks();
void RegisterRoundTripBenchmarks();
void RegisterDownloadBenchmarks();
// The connections the benchmarks kept open, closed while the library lives.
void ReleaseRoundTripLinks();
void ReleaseDownloadSession();
// Allocations per message, memory per idle connection, latency: notes only.
void RunEndToEndExtras();
// N connections in one process against the servers in a child process: notes only.
void RunScaleBenchmarks();
