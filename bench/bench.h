#pragma once

#include "summary.h"

#include <cstddef>
#include <functional>
#include <string>

// "64 B", "16 KiB"
std::string SizeText(size_t len);

// Registers "<what>/<size>/ours" and "<what>/<size>/<baseline>" next to each
// other and records them as the comparison "<what> <size> vs <baseline>".
void RegisterPair(const std::string& what, const std::string& size,
                  std::function<void(benchmark::State&)> ours,
                  std::function<void(benchmark::State&)> base, const std::string& baseline);

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
