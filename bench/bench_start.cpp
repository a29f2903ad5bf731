// Start of SAPI5Quillfen.exe with 10,000 voice tokens and with 30 (a real machine's count), to its window
// shown and filled, against the least program that shows the same window and an empty window, started
// the same way; the three take turns going first. Arguments: the three exe paths. The tokens are its own,
// beside the machine's voices, and only they are removed, however the benchmark ends: volatile, so that a
// process killed outright leaves them only until the next restart (fast startup keeps them over Shut down) or
// the next run, which removes them first. The programs it starts end with it, killed or not.
#include "bench_common.h"
#include "made_keys.h"
#include "modRegistry.h"
#include "unique_handle.h"

#include <atomic>
#include <string>

namespace {

constexpr wchar_t TokensPath[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
// Every token the benchmark makes bears this prefix, and it removes those and nothing else: on Windows
// the voice-token key holds the machine's own voices, which a benchmark must leave as they are.
constexpr wchar_t BenchPrefix[] = L"SAPI5Quillfen bench voice ";

using unique_handle_object = unique_handle<HANDLE, &CloseHandle>;

constexpr double StartGoal = 1.05;

// Set by Ctrl+C, Ctrl+Break or closing the console; the benchmark then stops and cleans up. A console
// handler takes no context, so this one flag is the process's own.
std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleStop(DWORD) {
    stopRequested = true;
    // The process ends when the main thread has removed the tokens and returned, ending this thread too.
    // Closing the console allows about five seconds, so a started program is then ended, not waited for.
    Sleep(60000);
    return FALSE;
}

std::vector<std::wstring> OwnTokens() {
    std::vector<std::wstring> own;
    for (std::wstring& name : EnumSubKeys(HKEY_LOCAL_MACHINE, TokensPath)) {
        if (name.starts_with(BenchPrefix)) {
            own.push_back(std::move(name));
        }
    }
    return own;
}

void RemoveOwnTokens() {
    for (const std::wstring& name : OwnTokens()) {
        DeleteSubKeyTree(HKEY_LOCAL_MACHINE, TokensPath, name);
    }
}

// The benchmark's tokens go when it ends, and the voice-token key too if the benchmark made it.
struct OwnTokensRemoved {
    OwnTokensRemoved() = default;
    ~OwnTokensRemoved() {
        RemoveOwnTokens();
        made.RemoveIfEmpty();
    }
    OwnTokensRemoved(const OwnTokensRemoved&) = delete;
    OwnTokensRemoved& operator=(const OwnTokensRemoved&) = delete;

    const MadeKeys made{HKEY_LOCAL_MACHINE, TokensPath};
};

// `count` tokens of the benchmark's own beside the machine's voices, in place of any it made before (a
// killed run's among them); gives how many the list will show.
int SeedTokens(int count) {
    RemoveOwnTokens();
    unique_hkey tokens;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, TokensPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, tokens.put(),
                    nullptr);
    for (int i = 0; i < count && !stopRequested; ++i) {
        wchar_t name[64];
        swprintf(name, 64, L"%ls%05d", BenchPrefix, i);
        unique_hkey key;
        RegCreateKeyExW(tokens.get(), name, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr);
    }
    if (!stopRequested && OwnTokens().size() != static_cast<size_t>(count)) {
        fprintf(stderr, "the tokens were not all made\n");
        return -1;
    }
    return static_cast<int>(BareEnumeration(HKEY_LOCAL_MACHINE, TokensPath));
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
double TimeStart(const std::wstring& exe, const wchar_t* windowClass, int entries,
                 const wchar_t* argument = L"") {
    // The program runs in a job that ends it when the job's last handle, this one, closes: a benchmark
    // killed outright leaves no window behind.
    const unique_handle_object job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        fprintf(stderr, "cannot make a job for %ls: error %lu\n", exe.c_str(), GetLastError());
        return -1;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe + L"\" " + argument;
    const double start = NowMs();
    // Suspended until it is in the job, so that nothing it does escapes the job.
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process)) {
        fprintf(stderr, "cannot start %ls: error %lu\n", exe.c_str(), GetLastError());
        return -1;
    }
    unique_handle_object processHandle(process.hProcess), threadHandle(process.hThread);
    if (!AssignProcessToJobObject(job.get(), process.hProcess)) {
        fprintf(stderr, "cannot put %ls in a job: error %lu\n", exe.c_str(), GetLastError());
        TerminateProcess(process.hProcess, 1);
        return -1;
    }
    ResumeThread(process.hThread);
    // The program is ready when its message loop first waits for input. Polling for the window instead
    // would load the one wine server both processes share, and slow down what is being measured.
    // Waited for in short steps, so that a stop asked for meanwhile is seen.
    while (WaitForInputIdle(process.hProcess, 100) == WAIT_TIMEOUT && NowMs() - start < 30000 &&
           !stopRequested) {
    }
    HWND window = ReadyWindow(windowClass, entries);
    while (!window && NowMs() - start < 30000 && !stopRequested) {
        Sleep(1);
        window = ReadyWindow(windowClass, entries);
    }
    const double elapsed = NowMs() - start;
    // Asked to close and given some seconds; a program whose window never came, or any once a stop is
    // asked for, is ended at once.
    if (window && !stopRequested) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        const double closing = NowMs();
        while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT && NowMs() - closing < 10000 &&
               !stopRequested) {
        }
    }
    if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    return window ? elapsed : -1;
}

// A row of starts with `tokens` tokens: the program, the least window and the empty window in rounds,
// printed against the least window and, with `empty`, against the empty window for information. Each
// reads the token names in a process of its own: the same calls run several times faster in a process
// that has made them many times already, so timing them here would mislead.
bool StartRow(const wchar_t* const exes[3], int tokens, const char* name, Looks looks, const char* empty) {
    const int entries = SeedTokens(tokens);
    if (entries < 0) {
        return false;
    }
    const auto starts = [&](const wchar_t* exe, const wchar_t* windowClass, int shown) {
        // A run that a stop cut short counts for nothing.
        return [=] {
            const double elapsed = stopRequested ? -1.0 : TimeStart(exe, windowClass, shown);
            return stopRequested ? -1.0 : elapsed;
        };
    };
    Rounds rounds({starts(exes[0], L"SAPI5Quillfen.frmQuillfen", entries),
                   starts(exes[1], L"SAPI5Quillfen.LeastWindow", entries),
                   starts(exes[2], L"SAPI5Quillfen.EmptyWindow", 0)},
                  2);
    if (!RunRow(name, "least program showing the same window, names read the bare way", rounds, StartGoal,
                looks)) {
        return false;
    }
    if (empty) {
        const RatioInterval interval = *BootstrapRatio(rounds.Times(0), rounds.Times(2), LookLevel);
        Report(empty, "empty Win32 window", rounds.Times(0), rounds.Times(2), {interval, "information"}, 0);
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: bench_start SAPI5Quillfen.exe least_window.exe empty_window.exe\n");
        return 2;
    }
    // The machine's voices, which must all be there after, the benchmark's own gone.
    const auto machineVoices = [] {
        std::vector<std::wstring> names = EnumSubKeys(HKEY_LOCAL_MACHINE, TokensPath);
        std::erase_if(names, [](const std::wstring& name) { return name.starts_with(BenchPrefix); });
        return names;
    };
    const std::vector<std::wstring> before = machineVoices();
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);
    const wchar_t* const exes[3] = {argv[1], argv[2], argv[3]};
    bool timed = false;
    {
        const OwnTokensRemoved removed;
        timed = StartRow(exes, 10000, "start to window shown and filled, 10,000 tokens", {10, 20}, nullptr) &&
                StartRow(exes, 30, "start to window shown and filled, 30 tokens", {14, 28},
                         "the same start, 30 tokens");
    }
    if (EnumSubKeys(HKEY_LOCAL_MACHINE, TokensPath) != before) {
        fprintf(stderr, "the voice-token key does not hold the voices it held before the benchmark\n");
        return 1;
    }
    if (!timed) {
        return 1;
    }
    return 0;
}
