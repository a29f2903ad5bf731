// The benchmarks' rule, on made-up runs whose answer is known: the interval's ends, the order the sides
// run in, and how often a row at its goal is called one way or the other.
#include "bench_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Printed(const RatioInterval& interval) {
    char text[64];
    snprintf(text, sizeof text, "%.2fx (%.2f-%.2f)", interval.ratio, interval.low, interval.high);
    return text;
}

TEST(BenchStats, TheIntervalOfAFixedSampleAsPrinted) {
    // Worked out apart from this code; at 95 % the ends are 0.98-1.41, at 90 % 1.05-1.35, and the least and
    // greatest resampled ratios 0.84-1.53.
    const std::vector<double> ours{459, 365, 489, 391, 503, 476, 515, 489, 466, 435, 307, 515};
    const std::vector<double> theirs{419, 498, 363, 466, 313, 340, 328, 395, 420, 363, 397, 439};
    EXPECT_EQ(Printed(*BootstrapRatio(ours, theirs, LookLevel)), "1.19x (0.94-1.44)");
    // Nothing to judge without pairs, or with runs that are not all in pairs.
    EXPECT_FALSE(BootstrapRatio({}, {}, LookLevel));
    EXPECT_FALSE(BootstrapRatio(ours, {theirs.begin(), theirs.end() - 1}, LookLevel));
    // The goal's own edge: met at the top, missed only past the bottom.
    EXPECT_EQ(Verdict({1.0, 0.9, 1.05}, 1.05), "met");
    EXPECT_EQ(Verdict({1.1, 1.05, 1.2}, 1.05), "too close to call");
    EXPECT_EQ(Verdict({1.1, 1.06, 1.2}, 1.05), "missed");
}

TEST(BenchStats, TheSidesTakeTurnsGoingFirstAndWarmUpRoundsAreNotKept) {
    std::string order;
    double run = 0;
    const auto side = [&](char name) {
        return [&, name] {
            order += name;
            return ++run;
        };
    };
    Rounds rounds({side('A'), side('B'), side('C')}, 2);
    ASSERT_TRUE(rounds.RunUntil(3));
    EXPECT_EQ(order, "ABCCBAABCCBAABC");
    // Kept from the third round on, each side's run of that round.
    EXPECT_EQ(rounds.Times(0), (std::vector<double>{7, 12, 13}));
    EXPECT_EQ(rounds.Times(2), (std::vector<double>{9, 10, 15}));
    // A failed run ends the row.
    Rounds failing({[] { return 1.0; }, [] { return -1.0; }}, 0);
    EXPECT_FALSE(failing.RunUntil(1));
    EXPECT_EQ(failing.Kept(), 0u);
}

// A made-up machine: each run's speed drifts from the one before, as Wine's do, and spreads about as
// widely as the widest row under Wine; `ratio` is the true ratio of the two sides. The noise is drawn
// from the engine's own output, so every standard library makes the same rows.
struct Machine {
    std::mt19937 engine{20261210};
    double drift = 0;

    double Normal() {  // the sum of twelve uniforms, less six
        double sum = -6;
        for (int i = 0; i < 12; ++i) {
            sum += engine() / 4294967296.0;
        }
        return sum;
    }
    double Run(double base) {
        drift = 0.8 * drift + 0.1 * Normal();
        return 100 * base * std::exp(drift + 0.15 * Normal());
    }
    // The share of `rows` rows at `ratio` that the whole rule, both looks, calls met and missed.
    std::pair<double, double> Verdicts(double ratio, double goal, int rows) {
        int met = 0, missed = 0;
        for (int row = 0; row < rows; ++row) {
            Rounds rounds({[&] { return Run(ratio); }, [&] { return Run(1); }}, 2);
            const std::string verdict = JudgeRow(rounds, goal, {10, 20})->verdict;
            met += verdict == "met";
            missed += verdict == "missed";
        }
        return {double(met) / rows, double(missed) / rows};
    }
};

TEST(BenchStats, ARowAtItsGoalIsCalledEitherWayAtMostOneTimeInTwenty) {
    Machine machine;
    const auto [met, missed] = machine.Verdicts(1.05, 1.05, 400);
    EXPECT_LE(met + missed, 0.05) << met << " met, " << missed << " missed";
    // Rows clearly faster or clearly slower than the goal are decided, and the right way.
    EXPECT_GE(machine.Verdicts(0.7, 1.05, 50).first, 0.95);
    EXPECT_GE(machine.Verdicts(1.5, 1.05, 50).second, 0.95);
}

}  // namespace
