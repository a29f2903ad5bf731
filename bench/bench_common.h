// Timing helpers for the benchmarks: a monotonic clock in milliseconds and the median of runs.
#pragma once

#include <windows.h>

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

inline double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

// One line of the table: what was measured, its median, the baseline's median, their ratio and the goal.
inline void Report(const char* name, const char* baseline, const std::vector<double>& ours,
                   const std::vector<double>& theirs, double goal) {
    const double a = Median(ours), b = Median(theirs);
    printf("| %s | %.2f ms | %s | %.2f ms | %.2fx | %.2fx | %s |\n", name, a, baseline, b, a / b, goal,
           a / b <= goal ? "met" : "missed");
    fflush(stdout);
}

// The simplest enumeration there is: one fixed buffer, one call per index. Gives the names found.
inline size_t BareEnumeration(HKEY root, const std::wstring& path) {
    unique_hkey key;
    RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put());
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names.size();
}
