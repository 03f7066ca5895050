#include "summary.h"

#include <cstdio>
#include <map>
#include <vector>

namespace {

struct TComparison {
    std::string name, ours, baseline;
};

std::vector<TComparison>& Comparisons()
{
    static std::vector<TComparison> list;
    return list;
}

std::vector<std::string>& Notes()
{
    static std::vector<std::string> list;
    return list;
}

// Console output of the fastest repetition of each benchmark (other work on
// the machine only ever slows a run down), remembered for the summary.
class CSummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        const Run* best = nullptr;
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            if (!best || run.GetAdjustedRealTime() < best->GetAdjustedRealTime())
                best = &run;
        }
        if (!best)
            return;
        ConsoleReporter::ReportRuns(std::vector<Run>(1, *best));
        m_Best[best->run_name.function_name] = best->GetAdjustedRealTime();
    }

    void PrintSummary() const
    {
        std::printf("\nsummary: our throughput over the baseline's (higher is better)\n");
        for (const TComparison& c : Comparisons()) {
            auto ours = m_Best.find(c.ours);
            auto base = m_Best.find(c.baseline);
            if (ours == m_Best.end() || base == m_Best.end() || ours->second <= 0)
                continue;
            // Same work per iteration on both sides: the time ratio is the throughput ratio.
            std::printf("%s: %.2fx\n", c.name.c_str(), base->second / ours->second);
        }
        if (!Notes().empty())
            std::printf("\n");
        for (const std::string& note : Notes()) std::printf("%s\n", note.c_str());
    }

private:
    std::map<std::string, double> m_Best;
};

}  // namespace

void AddComparison(const std::string& comparison, const std::string& ours,
                   const std::string& baseline)
{
    Comparisons().push_back({comparison, ours, baseline});
}

void AddNote(const std::string& line) { Notes().push_back(line); }

int RunWithSummary(int argc, char** argv, const std::function<void()>& afterwards)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::fflush(stdout);
    if (afterwards)
        afterwards();
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
