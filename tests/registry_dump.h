// A whole registry tree as text, one line a key ("[\\path]") and one a value, in registry order:
// for comparing a tree before and after a change. Keys are opened by their exact names, NULs and all, and
// links are dumped as the keys they are, never followed.
#pragma once

#include "counted_key_name.h"
#include "modRegistry.h"
#include "system_function.h"
#include "unique_handle.h"

#include <windows.h>

#include <string>
#include <vector>

// Opens the sub-key `name` of an open key by its exact name and as itself, in the registry view `view`
// (0: the process's own): a 32-bit process names the view again on every key beneath one opened in
// the other view, or Windows may take it back to its own. Win32 error codes.
inline LSTATUS OpenSubKeyInView(HKEY parent, const std::wstring& name, REGSAM access, REGSAM view,
                                HKEY* key) {
    *key = nullptr;
    const auto open =
        SystemFunction<LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*)>(L"ntdll.dll", "NtOpenKey");
    const auto win32Error = SystemFunction<ULONG(NTAPI*)(LONG)>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (!open || !win32Error) {
        return ERROR_PROC_NOT_FOUND;
    }
    CountedKeyName counted(parent, name);
    HANDLE opened = nullptr;
    const LONG status = open(&opened, access | view, counted.get());
    if (status < 0) {
        return static_cast<LSTATUS>(win32Error(status));
    }
    *key = static_cast<HKEY>(opened);
    return ERROR_SUCCESS;
}

inline void DumpRegistryTree(HKEY key, const std::wstring& name, std::vector<std::wstring>& lines,
                             REGSAM view = 0) {
    lines.push_back(L"[" + name + L"]");
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[16384];
        BYTE data[4096];
        DWORD nameLength = 16384, dataSize = sizeof data, type = 0;
        if (RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS) {
            break;
        }
        std::wstring line =
            L"  " + std::wstring(valueName, nameLength) + L" type " + std::to_wstring(type) + L" =";
        for (DWORD i = 0; i < dataSize; ++i) {
            line += L" " + std::to_wstring(data[i]);
        }
        lines.push_back(line);
    }
    for (DWORD index = 0;; ++index) {
        wchar_t child[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        unique_hkey sub;
        const std::wstring path = name + L"\\" + std::wstring(child, length);
        if (OpenSubKeyInView(key, std::wstring(child, length), KEY_READ, view, sub.put()) == ERROR_SUCCESS) {
            DumpRegistryTree(sub.get(), path, lines, view);
        } else {
            lines.push_back(L"[" + path + L"] unreadable");
        }
    }
}
