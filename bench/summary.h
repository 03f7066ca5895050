#pragma once
// Pairs each benchmark of ours with its baseline and prints, after the run,
// one line per pair: "<comparison>: <ratio>x", our throughput over the
// baseline's (higher is better).

#include <benchmark/benchmark.h>

#include <string>

// Records that the benchmarks named ours and baseline form a comparison.
void AddComparison(const std::string& comparison, const std::string& ours,
                   const std::string& baseline);

// Runs every benchmark and prints the summary; returns the process exit code.
int RunWithSummary(int argc, char** argv);
