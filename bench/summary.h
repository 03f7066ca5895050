#pragma once
// Pairs each benchmark of ours with its baseline and prints, after the run,
// one line per pair: "<comparison>: <ratio>x", our throughput over the
// baseline's (higher is better).

#include <benchmark/benchmark.h>

#include <functional>
#include <string>

// Records that the benchmarks named ours and baseline form a comparison.
void AddComparison(const std::string& comparison, const std::string& ours,
                   const std::string& baseline);

// A line the summary prints after the ratios: a figure that has no baseline.
void AddNote(const std::string& line);

// Runs every benchmark, then afterwards (which may add notes), and prints the
// summary; returns the process exit code.
int RunWithSummary(int argc, char** argv, const std::function<void()>& afterwards);
