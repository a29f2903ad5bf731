// A whole registry tree as text, one line a key ("[\\path]") and one a value, in registry order:
// for comparing a tree before and after a change. Keys are opened by their exact names, NULs and all, and
// links are dumped as the keys they are, never followed.
#pragma once

#include "modRegistry.h"
#include "unique_handle.h"

#include <windows.h>

#include <string>
#include <vector>

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
        if (OpenSubKeyAsItself(key, std::wstring(child, length), KEY_READ | view, sub.put()) ==
            ERROR_SUCCESS) {
            DumpRegistryTree(sub.get(), path, lines, view);
        } else {
            lines.push_back(L"[" + path + L"] unreadable");
        }
    }
}
