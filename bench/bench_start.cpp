// Start of SAPI5Quillfen.exe with 10,000 voice tokens, to its window shown and filled, against the
// empty window program started the same way; runs alternate. Arguments: the two exe paths.
#include "bench_common.h"
#include "unique_handle.h"

#include <string>

namespace {

constexpr wchar_t TokensPath[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
constexpr int TokenCount = 10000;

using unique_handle_object = unique_handle<HANDLE, &CloseHandle>;

void SeedTokens() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, TokensPath);
    for (int i = 0; i < TokenCount; ++i) {
        wchar_t name[64];
        swprintf(name, 64, L"%ls\\TTS_BENCH_VOICE_%05d", TokensPath, i);
        unique_hkey key;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    }
}

// The window of that class, once it is visible and, for a list, holds `entries` entries.
HWND ReadyWindow(const wchar_t* windowClass, int entries) {
    HWND window = FindWindowW(windowClass, nullptr);
    if (!window || !IsWindowVisible(window)) {
        return nullptr;
    }
    if (entries > 0) {
        HWND list = FindWindowExW(window, nullptr, L"ListBox", nullptr);
        if (!list || SendMessageW(list, LB_GETCOUNT, 0, 0) != entries) {
            return nullptr;
        }
    }
    return window;
}

// Milliseconds from CreateProcess to the window ready, or a negative value when it did not come.
double TimeStart(const std::wstring& exe, const wchar_t* windowClass, int entries) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    const double start = NowMs();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        fprintf(stderr, "cannot start %ls: error %lu\n", exe.c_str(), GetLastError());
        return -1;
    }
    unique_handle_object processHandle(process.hProcess), threadHandle(process.hThread);
    HWND window = nullptr;
    while (!(window = ReadyWindow(windowClass, entries)) && NowMs() - start < 30000) {
        Sleep(1);
    }
    const double elapsed = NowMs() - start;
    if (window) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    return window ? elapsed : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_start SAPI5Quillfen.exe empty_window.exe\n");
        return 2;
    }
    SeedTokens();
    std::vector<double> program, empty, enumeration;
    for (int run = 0; run < 12; ++run) {
        const double ours = TimeStart(argv[1], L"SAPI5Quillfen.frmQuillfen", TokenCount);
        const double baseline = TimeStart(argv[2], L"SAPI5Quillfen.EmptyWindow", 0);
        if (ours < 0 || baseline < 0) {
            return 1;
        }
        const double start = NowMs();
        const size_t listed = BareEnumeration(HKEY_LOCAL_MACHINE, TokensPath);
        const double enumerated = NowMs() - start;
        if (listed != TokenCount) {
            fprintf(stderr, "found %zu tokens\n", listed);
            return 1;
        }
        if (run > 1) {  // the first runs warm the caches
            program.push_back(ours);
            empty.push_back(baseline);
            enumeration.push_back(baseline + enumerated);
        }
    }
    Report("start to window shown and filled, 10,000 tokens", "empty Win32 window", program, empty, 1.5);
    // What no program listing these tokens can go below: the empty window plus reading the names.
    Report("the same start", "empty window + bare enumeration of the tokens", program, enumeration, 1.5);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, TokensPath);
    return 0;
}
