// EnumSubKeys against a bare enumeration loop, and DeleteSubKeyTree against RegDeleteTreeW,
// measured side by side, alternating, on a scratch key of the current user.
#include "bench_common.h"
#include "modRegistry.h"
#include "unique_handle.h"

#include <string>

namespace {

constexpr wchar_t BenchPath[] = L"Software\\SAPI5Quillfen.Bench";
// What a row too close to call may spend on more runs, so that the whole benchmark stays near three minutes.
constexpr double ExtraRunsMs = 20000;

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

    std::vector<double> ours, bare;
    const auto enumerateBoth = [&] {
        double start = NowMs();
        const size_t listed = EnumSubKeys(HKEY_CURRENT_USER, tokens).size();
        ours.push_back(NowMs() - start);
        start = NowMs();
        const size_t counted = BareEnumeration(HKEY_CURRENT_USER, tokens);
        bare.push_back(NowMs() - start);
        if (listed != 10000 || counted != 10000) {
            fprintf(stderr, "enumeration found %zu and %zu of 10000\n", listed, counted);
            return false;
        }
        return true;
    };
    if (!RunUntilSettled(enumerateBoth, ours, bare, 1.10, 21, ExtraRunsMs)) {
        return 1;
    }
    Report("`EnumSubKeys`, 10,000 tokens", "bare `RegEnumKeyExW` loop", ours, bare, 1.10);

    const std::wstring parent = std::wstring(BenchPath) + L"\\Delete";
    std::vector<double> deleteTree, platform;
    const auto timeOurs = [&] {
        CreateWideToken(parent + L"\\Wide");
        const double start = NowMs();
        const bool gone = DeleteSubKeyTree(HKEY_CURRENT_USER, parent, L"Wide");
        deleteTree.push_back(NowMs() - start);
        return gone;
    };
    const auto timePlatform = [&] {
        CreateWideToken(parent + L"\\Wide");
        unique_hkey key;
        RegOpenKeyExW(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_ALL_ACCESS, key.put());
        const double start = NowMs();
        RegDeleteTreeW(key.get(), L"Wide");
        platform.push_back(NowMs() - start);
    };
    // Who goes first alternates, so neither always meets a freshly grown registry.
    int runs = 0;
    const auto deleteBoth = [&] {
        const bool platformFirst = runs++ % 2 != 0;
        if (platformFirst) {
            timePlatform();
        }
        if (!timeOurs()) {
            fprintf(stderr, "DeleteSubKeyTree failed\n");
            return false;
        }
        if (!platformFirst) {
            timePlatform();
        }
        return true;
    };
    if (!RunUntilSettled(deleteBoth, deleteTree, platform, 1.10, 11, ExtraRunsMs)) {
        return 1;
    }
    Report("`DeleteSubKeyTree`, 1,000 sub-keys x 10 values", "`RegDeleteTreeW`", deleteTree, platform, 1.10);

    RegDeleteTreeW(HKEY_CURRENT_USER, BenchPath);
    RegDeleteKeyW(HKEY_CURRENT_USER, BenchPath);
    return 0;
}
