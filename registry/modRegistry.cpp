#include "modRegistry.h"

#include "unique_handle.h"

#include <shlwapi.h>

#include <string_view>

namespace {

// Longer than any name the registry allows (255); a name still not fitting is skipped.
constexpr DWORD NameBufferLimit = 32768;

}  // namespace

SubKeyNameList EnumSubKeys(RootKey root, const std::wstring& path) {
    unique_hkey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, VoiceKeyAccess, key.put()) != ERROR_SUCCESS) {
        return {};
    }
    DWORD subKeyCount = 0;
    DWORD maxSubKeyLen = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeyCount, &maxSubKeyLen, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return EnumOpenKeySubKeys(key.get(), subKeyCount, maxSubKeyLen);
}

SubKeyNameList EnumOpenKeySubKeys(HKEY key, DWORD expectedCount, DWORD longestName) {
    SubKeyNameList names;
    names.reserve(expectedCount);
    std::wstring buffer(longestName + 1, L'\0');
    // The key may gain or lose sub-keys while we walk it, so the end is where the registry says
    // ERROR_NO_MORE_ITEMS, not the count from the information query.
    for (DWORD index = 0;;) {
        auto nameLength = static_cast<DWORD>(buffer.size());
        const LSTATUS status =
            RegEnumKeyExW(key, index, buffer.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            names.emplace_back(buffer.data(), nameLength);
            ++index;
        } else if (status == ERROR_MORE_DATA && buffer.size() < NameBufferLimit) {
            buffer.resize(buffer.size() * 2);  // a longer name appeared since the query: retry this index
        } else if (status == ERROR_MORE_DATA) {
            ++index;
        } else {
            break;  // ERROR_NO_MORE_ITEMS, or a key that went away beneath us
        }
    }
    return names;
}

bool DeleteSubKeyTree(RootKey root, const std::wstring& path, const std::wstring& subKeyName) {
    // Such a name would reach the parent itself, a key deeper down, or a shorter name.
    if (subKeyName.empty() || subKeyName.find_first_of(std::wstring_view(L"\\\0", 2)) != std::wstring::npos) {
        return false;
    }
    unique_hkey parent;
    const LSTATUS opened = RegOpenKeyExW(root, path.c_str(), 0, VoiceKeyAccess, parent.put());
    if (opened != ERROR_SUCCESS) {
        return opened == ERROR_FILE_NOT_FOUND;
    }
    const LSTATUS deleted = SHDeleteKeyW(parent.get(), subKeyName.c_str());
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}
