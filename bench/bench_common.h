// Timing helpers for the benchmarks: a monotonic clock in milliseconds, the table's rows, runs until a
// row settles.
#pragma once

#include <windows.h>

#include "bench_stats.h"
#include "unique_handle.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// One line of the table: what was measured and its baseline, each as min / median / max, the ratio of
// the medians with its interval, the goal and the verdict; a goal of 0 marks a row kept for information.
inline void Report(const char* name, const char* baseline, const std::vector<double>& ours,
                   const std::vector<double>& theirs, double goal) {
    const auto spread = [](const std::vector<double>& samples) {
        char text[64];
        snprintf(text, sizeof text, "%.1f / %.1f / %.1f ms",
                 *std::min_element(samples.begin(), samples.end()), Median(samples),
                 *std::max_element(samples.begin(), samples.end()));
        return std::string(text);
    };
    const RatioInterval interval = BootstrapRatio(ours, theirs);
    char verdict[64];
    if (goal > 0) {
        snprintf(verdict, sizeof verdict, "%.2fx | %s", goal, Verdict(interval, goal).c_str());
    } else {
        snprintf(verdict, sizeof verdict, "– | information");
    }
    printf("| %s | %s | %s | %s | %.2fx (%.2f-%.2f) | %s |\n", name, spread(ours).c_str(), baseline,
           spread(theirs).c_str(), interval.ratio, interval.low, interval.high, verdict);
    fflush(stdout);
}

// Runs a row `runs` times, then, while its interval straddles the goal, once more at a time until
// `extraMs` have gone: runs spread widely under Wine, and a verdict wants enough of them. `run` makes one
// run of each side, appending to `ours` and `theirs`; false when it failed, which ends the row.
template <typename Run>
bool RunUntilSettled(Run run, const std::vector<double>& ours, const std::vector<double>& theirs, double goal,
                     int runs, double extraMs) {
    for (int i = 0; i < runs; ++i) {
        if (!run()) {
            return false;
        }
    }
    const double start = NowMs();
    while (goal > 0 && Verdict(BootstrapRatio(ours, theirs), goal) == "too close to call" &&
           NowMs() - start < extraMs) {
        if (!run()) {
            return false;
        }
    }
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
