#pragma once

// Benchmarks that state their goal. A run records what it measured and the
// goal with SetGoalAtMost / SetGoalAtLeast; after all runs a table says, for
// each, the median of its repetitions against the goal, and the program
// exits 1 when any goal was missed, so that scripts/bench.sh can tell.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace tavlin::bench {

inline constexpr const char* kMeasured = "measured";
inline constexpr const char* kGoalAtMost = "goal_max";
inline constexpr const char* kGoalAtLeast = "goal_min";

inline void SetGoalAtMost(benchmark::State& state, double measured, double goal) {
    state.counters[kMeasured] = measured;
    state.counters[kGoalAtMost] = goal;
}

inline void SetGoalAtLeast(benchmark::State& state, double measured, double goal) {
    state.counters[kMeasured] = measured;
    state.counters[kGoalAtLeast] = goal;
}

// The calling thread's processor time: the machine may be busy with other
// work, and what a benchmark asks is what its own code costs.
inline double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

class GoalReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            if (run.error_occurred) {
                errors_.push_back(run.benchmark_name());
                continue;
            }
            // With aggregates only, the median stands for the repetitions.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) {
                continue;
            }
            const auto measured = run.counters.find(kMeasured);
            if (measured == run.counters.end()) {
                continue;
            }
            Verdict& verdict = verdicts_[run.run_name.str()];
            (median ? verdict.medians : verdict.values).push_back(measured->second.value);
            if (const auto most = run.counters.find(kGoalAtMost); most != run.counters.end()) {
                verdict.goal = most->second.value;
                verdict.atMost = true;
            } else if (const auto least = run.counters.find(kGoalAtLeast);
                       least != run.counters.end()) {
                verdict.goal = least->second.value;
                verdict.atMost = false;
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const std::string& name : errors_) {
            std::printf("\n%s: ERROR, no measurement", name.c_str());
        }
        if (verdicts_.empty()) {
            return;
        }
        std::printf("\n%-48s %12s %14s  %s\n", "benchmark", "measured", "goal", "verdict");
        for (const auto& [name, verdict] : verdicts_) {
            std::printf("%-48s %12.4g %2s %11.4g  %s\n", name.c_str(), verdict.Median(),
                        verdict.atMost ? "<=" : ">=", verdict.goal,
                        verdict.Met() ? "met" : "MISSED");
        }
    }

    bool Missed() const {
        return !errors_.empty() ||
               std::any_of(verdicts_.begin(), verdicts_.end(),
                           [](const auto& entry) { return !entry.second.Met(); });
    }

  private:
    struct Verdict {
        std::vector<double> values;
        std::vector<double> medians;  // from aggregate reports
        double goal = 0.0;
        bool atMost = true;

        double Median() const {
            std::vector<double> sorted = values.empty() ? medians : values;
            std::sort(sorted.begin(), sorted.end());
            const std::size_t middle = sorted.size() / 2;
            return sorted.size() % 2 != 0 ? sorted[middle]
                                          : (sorted[middle - 1] + sorted[middle]) / 2.0;
        }
        bool Met() const { return atMost ? Median() <= goal : Median() >= goal; }
    };

    std::map<std::string, Verdict> verdicts_;
    std::vector<std::string> errors_;
};

// A benchmark program's main: the runs, the table of goals, and exit 1 on a
// miss (or on an option the library does not know).
inline int RunWithGoals(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.Missed() ? 1 : 0;
}

}  // namespace tavlin::bench
