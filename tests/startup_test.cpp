// The start-up hardening, in a process of its own: it changes the DLL search for the whole process.
#include "dll_search.h"
#include "unique_handle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using unique_module = unique_handle<HMODULE, &FreeLibrary>;

constexpr wchar_t ProbeBesideExe[] = L"quillfen_dll_probe.dll";
constexpr wchar_t ProbeInCurrentFolder[] = L"quillfen_dll_probe_cwd.dll";

std::wstring Folder(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/"));
}

// A planted DLL beside the program or in the folder it was started from must not be picked up by a
// later load by bare name; a system DLL still is.
TEST(DllSearch, BareNamesLoadNeitherFromBesideTheExeNorFromTheCurrentFolder) {
    std::wstring exe(MAX_PATH, L'\0');
    exe.resize(GetModuleFileNameW(nullptr, exe.data(), MAX_PATH));
    std::wstring temp(MAX_PATH, L'\0');
    temp.resize(GetTempPathW(MAX_PATH, temp.data()));
    const std::wstring current = temp + L"quillfen-dll-search";
    CreateDirectoryW(current.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((Folder(exe) + L"\\" + ProbeBesideExe).c_str(),
                          (current + L"\\" + ProbeInCurrentFolder).c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
    // Before: both load, so what follows tells the hardening from a probe that is simply not there.
    for (const wchar_t* probe : {ProbeBesideExe, ProbeInCurrentFolder}) {
        EXPECT_TRUE(unique_module(LoadLibraryW(probe))) << "before: " << probe;
    }

    LimitDllSearchToSystem32();

    for (const wchar_t* probe : {ProbeBesideExe, ProbeInCurrentFolder}) {
        EXPECT_FALSE(unique_module(LoadLibraryW(probe))) << "after: " << probe;
    }
    EXPECT_TRUE(unique_module(LoadLibraryW(L"version.dll")));
    SetCurrentDirectoryW(temp.c_str());
    DeleteFileW((current + L"\\" + ProbeInCurrentFolder).c_str());
    RemoveDirectoryW(current.c_str());
}

}  // namespace
