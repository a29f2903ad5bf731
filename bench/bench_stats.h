// What a row of paired runs can tell: the ratio of the medians, its 95 % bootstrap interval, and a
// verdict against the goal only where the interval is wholly on one side of it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

inline double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

struct RatioInterval {
    double ratio, low, high;
};

// Resamples whole pairs: the runs alternate, so a run and its baseline share whatever the machine was
// doing then. The seed is fixed and the draw is the engine's own output, which the standard specifies,
// so the same samples give the same interval with any standard library.
inline RatioInterval BootstrapRatio(const std::vector<double>& ours, const std::vector<double>& theirs) {
    constexpr int resamples = 2000;
    const size_t pairs = std::min(ours.size(), theirs.size());
    if (pairs == 0) {
        return {0, 0, 0};
    }
    std::mt19937 engine(20261209);
    std::vector<double> ratios, oursDrawn(pairs), theirsDrawn(pairs);
    ratios.reserve(resamples);
    for (int resample = 0; resample < resamples; ++resample) {
        for (size_t i = 0; i < pairs; ++i) {
            const size_t pair = engine() % pairs;
            oursDrawn[i] = ours[pair];
            theirsDrawn[i] = theirs[pair];
        }
        ratios.push_back(Median(oursDrawn) / Median(theirsDrawn));
    }
    std::sort(ratios.begin(), ratios.end());
    return {Median(ours) / Median(theirs), ratios[resamples / 40], ratios[resamples - resamples / 40 - 1]};
}

// "met" when even the interval's top keeps the goal, "missed" when even its bottom is over it.
inline std::string Verdict(const RatioInterval& interval, double goal) {
    if (interval.high <= goal) {
        return "met";
    }
    return interval.low > goal ? "missed" : "too close to call";
}
