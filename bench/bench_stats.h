// What a row of paired runs can tell, and how the runs are taken: every side once a round, the order
// reversed every other round; the ratio of the medians with its bootstrap interval; a verdict against the
// goal only where the interval is wholly on one side of it, after at most two looks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

inline double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

struct RatioInterval {
    double ratio, low, high;
};

// The ratio of the medians of `ours` to `theirs` and the interval holding `level` of the ratios of
// 2,000 resamplings. Whole pairs are resampled: a run and its baseline share whatever the machine was
// doing then. The seed is fixed and the draw is the engine's own output, which the standard specifies,
// so the same samples give the same interval with any standard library. Nothing without pairs, or
// when the two sides hold different numbers of runs: the ratio and its interval come from the same pairs.
inline std::optional<RatioInterval> BootstrapRatio(const std::vector<double>& ours,
                                                   const std::vector<double>& theirs, double level) {
    constexpr size_t resamples = 2000;
    const size_t pairs = ours.size();
    if (pairs == 0 || theirs.size() != pairs) {
        return std::nullopt;
    }
    std::mt19937 engine(20261209);
    std::vector<double> ratios, oursDrawn(pairs), theirsDrawn(pairs);
    ratios.reserve(resamples);
    for (size_t resample = 0; resample < resamples; ++resample) {
        for (size_t i = 0; i < pairs; ++i) {
            const size_t pair = engine() % pairs;
            oursDrawn[i] = ours[pair];
            theirsDrawn[i] = theirs[pair];
        }
        ratios.push_back(Median(oursDrawn) / Median(theirsDrawn));
    }
    std::sort(ratios.begin(), ratios.end());
    const auto tail = static_cast<size_t>(std::lround((1 - level) / 2 * resamples));
    return RatioInterval{Median(ours) / Median(theirs), ratios[tail], ratios[resamples - tail - 1]};
}

// "met" when even the interval's top keeps the goal, "missed" when even its bottom is over it.
inline std::string Verdict(const RatioInterval& interval, double goal) {
    if (interval.high <= goal) {
        return "met";
    }
    return interval.low > goal ? "missed" : "too close to call";
}

// One side of a row: makes one run and gives its milliseconds, or a negative value when it failed.
using Side = std::function<double()>;

// Runs every side once a round, in order in even rounds and reversed in odd ones (ABBA for two sides,
// ABC CBA for three), so that whatever the first or the second of two runs in a row pays or gains lands
// on every side alike. The first `warmups` rounds warm the caches and are not kept.
class Rounds {
  public:
    Rounds(std::vector<Side> sides, size_t warmups)
        : sides_(std::move(sides)), times_(sides_.size()), warmups_(warmups) {}

    // Runs rounds until `kept` are kept; false as soon as a run fails.
    bool RunUntil(size_t kept) {
        while (Kept() < kept) {
            std::vector<double> round(sides_.size());
            for (size_t turn = 0; turn < sides_.size(); ++turn) {
                const size_t side = round_ % 2 ? sides_.size() - 1 - turn : turn;
                round[side] = sides_[side]();
                if (round[side] < 0) {
                    return false;
                }
            }
            if (round_++ >= warmups_) {
                for (size_t side = 0; side < sides_.size(); ++side) {
                    times_[side].push_back(round[side]);
                }
            }
        }
        return true;
    }

    size_t Kept() const { return times_.empty() ? 0 : times_[0].size(); }
    const std::vector<double>& Times(size_t side) const { return times_[side]; }

  private:
    std::vector<Side> sides_;
    std::vector<std::vector<double>> times_;
    size_t warmups_, round_ = 0;
};

// A row is looked at after `first` pairs and, only if that look cannot tell, once more after `second`.
// Each look is judged at 97.5 %, so that over both a row whose true ratio is its goal is called met or
// missed at most 5 % of the time; the interval printed is the one the verdict was judged on.
struct Looks {
    size_t first, second;
};
constexpr double LookLevel = 0.975;

struct Judged {
    RatioInterval interval;
    std::string verdict;
};

// The first two sides of `rounds` judged against `goal` (0 for a row kept for information, which is
// looked at once); nothing when a run failed.
inline std::optional<Judged> JudgeRow(Rounds& rounds, double goal, Looks looks) {
    if (!rounds.RunUntil(looks.first)) {
        return std::nullopt;
    }
    std::optional<RatioInterval> interval = BootstrapRatio(rounds.Times(0), rounds.Times(1), LookLevel);
    if (interval && goal > 0 && Verdict(*interval, goal) == "too close to call") {
        if (!rounds.RunUntil(looks.second)) {
            return std::nullopt;
        }
        interval = BootstrapRatio(rounds.Times(0), rounds.Times(1), LookLevel);
    }
    if (!interval) {
        return std::nullopt;
    }
    return Judged{*interval, goal > 0 ? Verdict(*interval, goal) : "information"};
}
