#include "modRegistry.h"

#include "counted_key_name.h"
#include "system_function.h"
#include "unique_handle.h"

#include <climits>
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

// A name one key can bear: the registry's own separator reaches another key, and an empty name the
// parent itself. Any other character, NUL included, is part of the name.
bool IsKeyName(const std::wstring& name) {
    return !name.empty() && name.find(L'\\') == std::wstring::npos &&
           name.size() <= USHRT_MAX / sizeof(wchar_t);
}

bool IsMissing(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED;
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
        const LSTATUS opened = OpenSubKeyAsItself(next.parent, next.name, TreeKeyAccess, key.put());
        if (IsMissing(opened)) {
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

LSTATUS OpenSubKeyAsItself(HKEY parent, const std::wstring& name, REGSAM access, HKEY* key) {
    *key = nullptr;
    if (!IsKeyName(name)) {
        return ERROR_INVALID_NAME;
    }
    // The native open takes the name with its length, where every Win32 call would stop at a NUL.
    const auto openKey =
        SystemFunction<NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*)>(L"ntdll.dll", "NtOpenKey");
    const auto win32Error = SystemFunction<ULONG(NTAPI*)(NTSTATUS)>(L"ntdll.dll", "RtlNtStatusToDosError");
    if (!openKey || !win32Error) {
        return ERROR_PROC_NOT_FOUND;
    }
    CountedKeyName counted(parent, name);
    HANDLE opened = nullptr;
    const NTSTATUS status = openKey(&opened, access, counted.get());
    if (status < 0) {
        return static_cast<LSTATUS>(win32Error(status));
    }
    *key = static_cast<HKEY>(opened);
    return ERROR_SUCCESS;
}

bool DeleteOpenKey(HKEY key) {
    // Deletes the key the handle names, not whatever key bears its name by now.
    const auto deleteKey = SystemFunction<NTSTATUS(NTAPI*)(HANDLE)>(L"ntdll.dll", "NtDeleteKey");
    return deleteKey && deleteKey(key) >= 0;
}

bool DeleteSubKeyTree(RootKey root, const std::wstring& path, const std::wstring& subKeyName) {
    return DeleteSubKeyTree(root, path, subKeyName, DeleteOpenKey);
}

bool DeleteSubKeyTree(RootKey root, const std::wstring& path, const std::wstring& subKeyName,
                      const std::function<bool(HKEY)>& deleteKey) {
    if (!IsKeyName(subKeyName)) {
        return false;
    }
    unique_hkey parent;
    const LSTATUS opened = RegOpenKeyExW(root, path.c_str(), 0, VoiceKeyAccess, parent.put());
    if (opened != ERROR_SUCCESS) {
        return opened == ERROR_FILE_NOT_FOUND;
    }
    // All or nothing: every key is open before the first is deleted.
    std::vector<unique_hkey> keys;
    if (!OpenTreeForDeletion(parent.get(), subKeyName, keys)) {
        return false;
    }
    // Descendants first; a key refused (one that gained a sub-key meanwhile, or vetoed by security
    // software) stops the deletion there, so its ancestors stay with it.
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        if (!deleteKey(key->get())) {
            break;
        }
    }
    keys.clear();
    unique_hkey remaining;
    return IsMissing(OpenSubKeyAsItself(parent.get(), subKeyName, KEY_QUERY_VALUE, remaining.put()));
}
