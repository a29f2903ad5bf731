// A sub-key name as the native registry calls take it: counted, so a NUL is part of the name, relative
// to an open parent key, and naming the key itself, never a link's target. It points into `name`.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>

class CountedKeyName {
  public:
    // `name` must outlive this object and be at most 32,767 characters long.
    CountedKeyName(HKEY parent, const std::wstring& name) {
        const auto bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
        name_ = {bytes, bytes, const_cast<wchar_t*>(name.data())};
        // Field by field: MinGW-w64 adds padding members of its own, so a positional initializer is not
        // portable.
        attributes_.Length = sizeof attributes_;
        attributes_.RootDirectory = parent;
        attributes_.ObjectName = &name_;
        attributes_.Attributes = OBJ_CASE_INSENSITIVE | OBJ_OPENLINK;
    }
    CountedKeyName(const CountedKeyName&) = delete;
    CountedKeyName& operator=(const CountedKeyName&) = delete;

    OBJECT_ATTRIBUTES* get() { return &attributes_; }

  private:
    UNICODE_STRING name_{};
    OBJECT_ATTRIBUTES attributes_{};
};
