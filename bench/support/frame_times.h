// A console reporter that also keeps each benchmark's time per iteration
// (one frame), so that a program can print ratios against a baseline
// measured in the same run once all benchmarks have run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace lumora::bench {

class FrameTimeReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double wallMs = 0;
        double cpuMs = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            // Per iteration in ms, whatever unit the run was printed in.
            const double n = double(run.iterations);
            m_times[run.benchmark_name()] = {run.real_accumulated_time * 1e3 / n,
                                             run.cpu_accumulated_time * 1e3 / n};
        }
    }

    // The times of a benchmark that ran, else nullptr.
    const Times* find(const std::string& name) const {
        const auto it = m_times.find(name);
        return it == m_times.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Times> m_times;
};

// Prints a cached frame against the plain drawText one: both times and the
// ratio, in CPU time (goals are stated for one core, so this is the figure
// that counts) and in wall time, which on a shared machine also holds the
// time spent waiting for a core. Returns the cached run's times and sets
// *cpuRatio; null when either did not run.
inline const FrameTimeReporter::Times* printCachedAgainstPlain(const FrameTimeReporter& reporter,
                                                               const std::string& cachedName,
                                                               const std::string& plainName,
                                                               const char* label, double* cpuRatio) {
    const auto* cached = reporter.find(cachedName);
    const auto* plain = reporter.find(plainName);
    if (!cached || !plain || cached->cpuMs <= 0 || cached->wallMs <= 0) return nullptr;
    *cpuRatio = plain->cpuMs / cached->cpuMs;
    std::printf("%s, CPU time: cached %.3f ms, plain drawText %.3f ms, %.1fx faster\n", label,
                cached->cpuMs, plain->cpuMs, *cpuRatio);
    std::printf("%s, wall time: cached %.3f ms, plain drawText %.3f ms, %.1fx faster\n", label,
                cached->wallMs, plain->wallMs, plain->wallMs / cached->wallMs);
    return cached;
}

}  // namespace lumora::bench
