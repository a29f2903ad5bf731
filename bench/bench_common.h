// Timing helpers for the benchmarks: a monotonic clock in milliseconds, a row run and printed.
#pragma once

#include <windows.h>

#include "bench_stats.h"
#include "unique_handle.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

inline double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// One line of the table: what was measured and its baseline, each as min / median / max, the ratio of
// the medians with the interval its verdict was judged on, the goal and the verdict; a goal of 0 marks a
// row kept for information.
inline void Report(const char* name, const char* baseline, const std::vector<double>& ours,
                   const std::vector<double>& theirs, const Judged& judged, double goal) {
    const auto spread = [](const std::vector<double>& samples) {
        char text[64];
        snprintf(text, sizeof text, "%.1f / %.1f / %.1f ms",
                 *std::min_element(samples.begin(), samples.end()), Median(samples),
                 *std::max_element(samples.begin(), samples.end()));
        return std::string(text);
    };
    char verdict[64];
    if (goal > 0) {
        snprintf(verdict, sizeof verdict, "%.2fx | %s", goal, judged.verdict.c_str());
    } else {
        snprintf(verdict, sizeof verdict, "– | information");
    }
    const RatioInterval& interval = judged.interval;
    printf("| %s | %s | %s | %s | %.2fx (%.2f-%.2f) | %zu | %s |\n", name, spread(ours).c_str(), baseline,
           spread(theirs).c_str(), interval.ratio, interval.low, interval.high, ours.size(), verdict);
    fflush(stdout);
}

// Runs a row's rounds for its looks and prints its line: the first two sides, the program's and the
// baseline's, against the goal. False when a run failed, which ends the benchmark.
inline bool RunRow(const char* name, const char* baseline, Rounds& rounds, double goal, Looks looks) {
    const std::optional<Judged> judged = JudgeRow(rounds, goal, looks);
    if (!judged) {
        fprintf(stderr, "%s: a run failed, so the row has no verdict\n", name);
        return false;
    }
    Report(name, baseline, rounds.Times(0), rounds.Times(1), *judged, goal);
    return true;
}

// The simplest enumeration there is: one fixed buffer, one call per index, each name handed to `use`.
template <typename Use>
size_t ForEachNameBare(HKEY root, const std::wstring& path, Use use) {
    unique_hkey key;
    RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put());
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return index;
        }
        use(name, length);
    }
}

// The names found that way, kept: what EnumSubKeys is measured against. Gives how many there were.
inline size_t BareEnumeration(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    return ForEachNameBare(root, path,
                           [&](const wchar_t* name, DWORD length) { names.emplace_back(name, length); });
}

// A window procedure that does nothing but end the program with its window.
inline LRESULT CALLBACK QuitOnDestroy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
