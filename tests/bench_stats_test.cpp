// The benchmarks' interval and verdict, on made-up runs whose answer is known.
#include "bench_stats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row {
    const char* what;
    std::vector<double> ours, theirs;
    double low, high;  // bounds the interval must lie within
    std::string verdict;
};

TEST(BenchStats, IntervalAndVerdictAgainstAGoalOf105) {
    std::vector<double> machine, wide;
    for (int run = 0; run < 20; ++run) {
        machine.push_back(100.0 + 37.0 * (run % 7));  // a machine whose speed swings from run to run
        wide.push_back(machine.back() * (0.80 + 0.05 * (run % 11)));  // 0.80x to 1.30x of the baseline
    }
    std::vector<double> twice;
    for (double baseline : machine) {
        twice.push_back(2 * baseline + (static_cast<int>(baseline) % 3));
    }
    const Row rows[] = {
        // Pairs alike however far the machine swings: resampled as pairs, every ratio is 1.
        {"all pairs equal", machine, machine, 1.0, 1.0, "met"},
        {"one side clearly slower", twice, machine, 1.95, 2.05, "missed"},
        {"one side clearly faster", machine, twice, 0.48, 0.52, "met"},
        {"a wide spread around the goal", wide, machine, 0.8, 1.3, "too close to call"},
    };
    for (const Row& row : rows) {
        const RatioInterval interval = BootstrapRatio(row.ours, row.theirs);
        EXPECT_LE(interval.low, interval.ratio) << row.what;
        EXPECT_GE(interval.high, interval.ratio) << row.what;
        EXPECT_GE(interval.low, row.low) << row.what;
        EXPECT_LE(interval.high, row.high) << row.what;
        EXPECT_EQ(Verdict(interval, 1.05), row.verdict) << row.what;
        // The seed is fixed: the same runs, the same table.
        EXPECT_EQ(BootstrapRatio(row.ours, row.theirs).low, interval.low) << row.what;
    }
    // The goal's own edge: met at the top, missed only past the bottom.
    EXPECT_EQ(Verdict({1.0, 0.9, 1.05}, 1.05), "met");
    EXPECT_EQ(Verdict({1.1, 1.05, 1.2}, 1.05), "too close to call");
}

}  // namespace
