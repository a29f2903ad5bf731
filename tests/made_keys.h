// The keys of a path that are missing before something makes it, so that whoever made them can take
// them away again and leave the keys that were there before as they were.
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

    // Removes the keys that were missing, deepest first, while each is empty: one that something else
    // has put a key into stays, and so does every key above it.
    void RemoveIfEmpty() const {
        for (auto key = missing_.rbegin();
             key != missing_.rend() && RegDeleteKeyExW(root_, key->c_str(), view_, 0) == ERROR_SUCCESS;
             ++key) {
        }
    }

  private:
    HKEY root_;
    REGSAM view_;
    std::vector<std::wstring> missing_;
};
