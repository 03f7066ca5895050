#include "bench.h"

std::string SizeText(size_t len)
{
    return len >= 1024 && len % 1024 == 0 ? std::to_string(len / 1024) + " KiB"
                                          : std::to_string(len) + " B";
}

void RegisterPair(const std::string& what, const std::string& size,
                  std::function<void(benchmark::State&)> ours,
                  std::function<void(benchmark::State&)> base, const std::string& baseline)
{
    const std::string stem = what + "/" + size + "/";
    // Three repetitions each; the summary keeps the fastest.
    benchmark::RegisterBenchmark((stem + "ours").c_str(), ours)->Repetitions(3)->MinTime(0.2);
    benchmark::RegisterBenchmark((stem + "baseline").c_str(), base)->Repetitions(3)->MinTime(0.2);
    AddComparison(what + " " + size + " vs " + baseline, stem + "ours", stem + "baseline");
}

int main(int argc, char** argv)
{
    RegisterDataEncryptionBenchmarks();
    RegisterHashBenchmarks();
    RegisterCrcBenchmarks();
    RegisterRoundTripBenchmarks();
    RegisterDownloadBenchmarks();
    return RunWithSummary(argc, argv, [] {
        ReleaseRoundTripLinks();
        ReleaseDownloadSession();
        RunEndToEndExtras();
    });
}
