// The keys of a path that are missing before something makes it, so that whoever made them can take
// them away again and leave the keys that were there before as they were. The tests' scratch keys and
// the benchmarks use it; the program itself makes no key.
#pragma once

#include "unique_handle.h"

#include <windows.h>

#include <string>
#include <vector>

class MadeKeys {
  public:
    // Notes which keys of `path`, from the root down, are missing now; it makes none of them.
    MadeKeys(HKEY root, const std::wstring& path, REGSAM view = 0) : root_(root), view_(view) {
        for (size_t end = 0; end != std::wstring::npos;) {
            end = path.find(L'\\', end + 1);
            std::wstring key = path.substr(0, end);
            unique_hkey open;
            // A key that is there but refuses reading is there all the same.
            if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, open.put()) == ERROR_FILE_NOT_FOUND) {
                missing_.push_back(std::move(key));
            }
        }
    }

    // Removes the keys that were missing, deepest first, while each holds neither keys nor values: one
    // that something else has put anything into stays, and so does every key above it.
    void RemoveIfEmpty() const {
        for (auto key = missing_.rbegin(); key != missing_.rend() && IsEmpty(*key) &&
                                           RegDeleteKeyExW(root_, key->c_str(), view_, 0) == ERROR_SUCCESS;
             ++key) {
        }
    }

  private:
    // RegDeleteKeyExW refuses only a key with sub-keys; values would go with the key.
    bool IsEmpty(const std::wstring& key) const {
        unique_hkey open;
        DWORD subKeys = 1, values = 1;
        return RegOpenKeyExW(root_, key.c_str(), 0, KEY_QUERY_VALUE | view_, open.put()) == ERROR_SUCCESS &&
               RegQueryInfoKeyW(open.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
               subKeys == 0 && values == 0;
    }

    HKEY root_;
    REGSAM view_;
    std::vector<std::wstring> missing_;
};
