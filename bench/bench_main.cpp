#include "bench.h"

#include <cstring>

std::string SizeText(size_t len)
{
    return len >= 1024 && len % 1024 == 0 ? std::to_string(len / 1024) + " KiB"
                                          : std::to_string(len) + " B";
}

void RegisterPair(const std::string& what, const std::string& size,
                  std::function<void(benchmark::State&)> ours,
                  std::function<void(benchmark::State&)> base, const std::string& baseline,
                  int repetitions)
{
    const std::string stem = what + "/" + size + "/";
    benchmark::RegisterBenchmark((stem + "ours").c_str(), ours)
        ->Repetitions(repetitions)
        ->MinTime(0.2);
    benchmark::RegisterBenchmark((stem + "baseline").c_str(), base)
        ->Repetitions(repetitions)
        ->MinTime(0.2);
    AddComparison(what + " " + size + " vs " + baseline, stem + "ours", stem + "baseline");
}

void RegisterExtraBaseline(const std::string& what, const std::string& size,
                           const std::string& name, std::function<void(benchmark::State&)> base,
                           const std::string& baseline, int repetitions)
{
    const std::string stem = what + "/" + size + "/";
    benchmark::RegisterBenchmark((stem + name).c_str(), base)
        ->Repetitions(repetitions)
        ->MinTime(0.2);
    AddComparison(what + " " + size + " vs " + baseline, stem + "ours", stem + name);
}

int main(int argc, char** argv)
{
    // A filtered run (profiling one benchmark) skips the notes' measurements;
    // --notes_only runs those alone, --scale_only the scale tables alone.
    bool filtered = false, scaleOnly = false;
    static char noBenchmarks[] = "--benchmark_filter=^$";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--notes_only") == 0) {
            argv[i] = noBenchmarks;
        } else if (std::strcmp(argv[i], "--scale_only") == 0) {
            argv[i] = noBenchmarks;
            scaleOnly = true;
        } else if (std::strncmp(argv[i], "--benchmark_filter", 18) == 0)
            filtered = true;
    }
    RegisterDataEncryptionBenchmarks();
    RegisterHashBenchmarks();
    RegisterCrcBenchmarks();
    RegisterRoundTripBenchmarks();
    RegisterDownloadBenchmarks();
    return RunWithSummary(argc, argv, [filtered, scaleOnly] {
        ReleaseRoundTripLinks();
        ReleaseDownloadSession();
        if (!filtered && !scaleOnly)
            RunEndToEndExtras();
        if (!filtered)
            RunScaleBenchmarks();
    });
}
