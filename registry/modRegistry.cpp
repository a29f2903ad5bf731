#include "modRegistry.h"

#include "system_function.h"
#include "unique_handle.h"

#include <string_view>
#include <vector>

namespace {

// Longer than any name the registry allows (255); a name still not fitting is skipped.
constexpr DWORD NameBufferLimit = 32768;

// The registry nests keys at most this deep; a tree said to go deeper is not deleted at all.
constexpr size_t MaxTreeDepth = 512;
constexpr DWORD LongestKeyName = 255;
// What deleting one key of a tree takes: its own deletion, listing its sub-keys, and telling a link.
constexpr REGSAM TreeKeyAccess = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

// A link is a key created with REG_OPTION_CREATE_LINK; its target is named by this value.
bool IsLink(HKEY key) {
    DWORD type = REG_NONE;
    const LSTATUS status = RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
    return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type == REG_LINK;
}

bool HasSubKeys(HKEY key) {
    DWORD subKeys = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
           subKeys > 0;
}

// Opens parent\name and every key beneath it as itself, never through a link, with the rights
// deleting it needs. Ancestors come before their descendants. False when any key could not be opened
// so, or the tree is deeper than the registry allows.
bool OpenTreeForDeletion(HKEY parent, const std::wstring& name, std::vector<unique_hkey>& keys) {
    struct Pending {
        HKEY parent;
        std::wstring name;
        size_t depth;
    };
    // An explicit stack: however deep the tree, the call stack stays flat.
    std::vector<Pending> pending{{parent, name, 1}};
    while (!pending.empty()) {
        Pending next = std::move(pending.back());
        pending.pop_back();
        unique_hkey key;
        const LSTATUS opened =
            RegOpenKeyExW(next.parent, next.name.c_str(), REG_OPTION_OPEN_LINK, TreeKeyAccess, key.put());
        if (opened == ERROR_FILE_NOT_FOUND) {
            continue;  // gone already, or removed by someone else since it was listed
        }
        if (opened != ERROR_SUCCESS) {
            return false;
        }
        const HKEY openedKey = key.get();
        keys.push_back(std::move(key));
        if (IsLink(openedKey)) {
            // A link is deleted as the one key it is; one that holds keys of its own cannot be.
            if (HasSubKeys(openedKey)) {
                return false;
            }
            continue;
        }
        for (std::wstring& child : EnumOpenKeySubKeys(openedKey, 0, LongestKeyName)) {
            if (next.depth == MaxTreeDepth) {
                return false;
            }
            pending.push_back({openedKey, std::move(child), next.depth + 1});
        }
    }
    return true;
}

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
    // Deletes the key an open handle names, not whatever key bears its name by now.
    const auto deleteKey = SystemFunction<LONG(NTAPI*)(HANDLE)>(L"ntdll.dll", "NtDeleteKey");
    // All or nothing: every key is open before the first is deleted.
    std::vector<unique_hkey> keys;
    if (!deleteKey || !OpenTreeForDeletion(parent.get(), subKeyName, keys)) {
        return false;
    }
    // Descendants first; a key that gained a sub-key meanwhile stops the deletion there.
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        if (deleteKey(key->get()) < 0) {
            break;
        }
    }
    keys.clear();
    unique_hkey remaining;
    return RegOpenKeyExW(parent.get(), subKeyName.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE,
                         remaining.put()) == ERROR_FILE_NOT_FOUND;
}
