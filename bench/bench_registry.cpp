// EnumSubKeys against a bare enumeration loop, and DeleteSubKeyTree against RegDeleteTreeW,
// measured side by side, taking turns going first, on a scratch key of the current user.
#include "bench_common.h"
#include "modRegistry.h"
#include "unique_handle.h"

#include <string>

namespace {

constexpr wchar_t BenchPath[] = L"Software\\SAPI5Quillfen.Bench";
constexpr double Goal = 1.10;

// Volatile, as every key beneath a volatile one must be: a run killed outright leaves them only until the
// user next logs on.
void CreateKey(const std::wstring& path, unique_hkey& key) {
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                    key.put(), nullptr);
}

void CreateWideToken(const std::wstring& path) {
    for (int sub = 0; sub < 1000; ++sub) {
        unique_hkey key;
        CreateKey(path + L"\\Sub" + std::to_wstring(sub), key);
        for (int value = 0; value < 10; ++value) {
            const DWORD data = value;
            RegSetValueExW(key.get(), (L"Value" + std::to_wstring(value)).c_str(), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&data), sizeof data);
        }
    }
}

}  // namespace

int main() {
    const std::wstring tokens = std::wstring(BenchPath) + L"\\Tokens";
    RegDeleteTreeW(HKEY_CURRENT_USER, BenchPath);
    for (int i = 0; i < 10000; ++i) {
        unique_hkey key;
        wchar_t name[48];
        swprintf(name, 48, L"\\TTS_BENCH_VOICE_%05d", i);
        CreateKey(tokens + name, key);
    }

    // Each side checks what it found: a count that is not the tokens' ends the benchmark.
    const auto timed = [](auto enumerate) {
        const double start = NowMs();
        const size_t found = enumerate();
        const double elapsed = NowMs() - start;
        if (found != 10000) {
            fprintf(stderr, "enumeration found %zu of 10000\n", found);
            return -1.0;
        }
        return elapsed;
    };
    Rounds enumeration({[&] { return timed([&] { return EnumSubKeys(HKEY_CURRENT_USER, tokens).size(); }); },
                        [&] { return timed([&] { return BareEnumeration(HKEY_CURRENT_USER, tokens); }); }},
                       2);
    if (!RunRow("`EnumSubKeys`, 10,000 tokens", "bare `RegEnumKeyExW` loop", enumeration, Goal, {16, 32})) {
        return 1;
    }

    // Each side deletes a token it has just grown.
    const std::wstring parent = std::wstring(BenchPath) + L"\\Delete";
    const auto ours = [&] {
        CreateWideToken(parent + L"\\Wide");
        const double start = NowMs();
        const bool gone = DeleteSubKeyTree(HKEY_CURRENT_USER, parent, L"Wide");
        const double elapsed = NowMs() - start;
        if (!gone) {
            fprintf(stderr, "DeleteSubKeyTree failed\n");
        }
        return gone ? elapsed : -1.0;
    };
    const auto platform = [&] {
        CreateWideToken(parent + L"\\Wide");
        unique_hkey key;
        RegOpenKeyExW(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_ALL_ACCESS, key.put());
        const double start = NowMs();
        const LSTATUS status = RegDeleteTreeW(key.get(), L"Wide");
        const double elapsed = NowMs() - start;
        return status == ERROR_SUCCESS ? elapsed : -1.0;
    };
    Rounds deletion({ours, platform}, 2);
    if (!RunRow("`DeleteSubKeyTree`, 1,000 sub-keys x 10 values", "`RegDeleteTreeW`", deletion, Goal,
                {10, 20})) {
        return 1;
    }

    RegDeleteTreeW(HKEY_CURRENT_USER, BenchPath);
    RegDeleteKeyW(HKEY_CURRENT_USER, BenchPath);
    return 0;
}
