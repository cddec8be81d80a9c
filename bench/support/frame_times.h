// A console reporter that also keeps each benchmark's time per iteration
// (one frame), so that a program can print ratios against a baseline
// measured in the same run once all benchmarks have run.
#pragma once

#include <benchmark/benchmark.h>

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

}  // namespace lumora::bench
