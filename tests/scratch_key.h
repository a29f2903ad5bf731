// A registry key of the test's own, wiped when the test starts and when it ends, with helpers to
// build token trees in it and to dump a whole tree for before/after comparisons.
#pragma once

#include "counted_key_name.h"
#include "made_keys.h"
#include "modRegistry.h"
#include "registry_dump.h"
#include "system_function.h"
#include "unique_handle.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

// The key's full name in the registry's own namespace ("\\REGISTRY\\USER\\..."), as links name targets.
inline std::wstring NativeKeyName(HKEY key) {
    const auto query =
        SystemFunction<LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*)>(L"ntdll.dll", "NtQueryKey");
    constexpr int KeyNameInformation = 3;
    std::vector<ULONG> info(2048);
    ULONG length = 0;
    if (!query || query(key, KeyNameInformation, info.data(), 8192, &length) < 0) {
        return {};
    }
    return std::wstring(reinterpret_cast<const wchar_t*>(&info[1]), info[0] / sizeof(wchar_t));
}

// Creates (or opens) the sub-key `name` of an open key by its exact counted name, as the native API can
// and no Win32 call can when the name holds a NUL; one level per call, as Windows requires of deep trees.
inline unique_hkey CreateSubKeyExactly(HKEY parent, const std::wstring& name, REGSAM access,
                                       ULONG options = 0) {
    const auto create =
        SystemFunction<LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, ULONG, UNICODE_STRING*, ULONG,
                                    ULONG*)>(L"ntdll.dll", "NtCreateKey");
    CountedKeyName counted(parent, name);
    HANDLE key = nullptr;
    if (!create || create(&key, access, counted.get(), 0, nullptr, options, nullptr) < 0) {
        return {};
    }
    return unique_hkey(static_cast<HKEY>(key));
}

// Creates parent\\name as a registry link to the key with the native name `target`, in the registry
// view `view`; false when either step was refused.
inline bool CreateLinkKey(HKEY parent, const std::wstring& name, const std::wstring& target,
                          REGSAM view = 0) {
    const unique_hkey link =
        CreateSubKeyExactly(parent, name, KEY_ALL_ACCESS | KEY_CREATE_LINK | view, REG_OPTION_CREATE_LINK);
    return link && RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                                  reinterpret_cast<const BYTE*>(target.data()),
                                  static_cast<DWORD>(target.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Whether an open key is a registry link, which a deletion takes as itself and never walks into.
inline bool IsLinkKey(HKEY key) {
    DWORD type = REG_NONE;
    return RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

// Deletes parent\\name with everything beneath it in the registry view `view`, each key opened by its
// exact name, as itself and in that view; a link goes as itself. True when the key is gone.
inline bool DeleteTreeInView(HKEY parent, const std::wstring& name, REGSAM view) {
    unique_hkey key;
    const LSTATUS opened = OpenSubKeyAsItself(parent, name, KEY_READ | DELETE | view, key.put());
    if (opened != ERROR_SUCCESS) {
        return opened == ERROR_FILE_NOT_FOUND;
    }
    if (!IsLinkKey(key.get())) {
        for (const std::wstring& child : EnumOpenKeySubKeys(key.get(), 0, 0)) {
            DeleteTreeInView(key.get(), child, view);
        }
    }
    return DeleteOpenKey(key.get());
}

// A key of the test's own beneath `root`. Sub-key paths are backslash-separated names, each of which
// may hold a NUL: every step is taken by exact name and as the key itself, never through a link.
class ScratchKey {
  public:
    explicit ScratchKey(std::wstring path, HKEY root = HKEY_CURRENT_USER, REGSAM view = 0)
        : root_(root),
          path_(std::move(path)),
          view_(view),
          made_(root_, path_.substr(0, path_.rfind(L'\\')), view_) {
        Wipe();
        Create(L"");
    }
    // The keys on the way that the constructor made go too once empty, and no key that was there before.
    ~ScratchKey() {
        Wipe();
        made_.RemoveIfEmpty();
    }

    HKEY root() const { return root_; }
    const std::wstring& path() const { return path_; }
    std::wstring Path(const std::wstring& sub) const { return sub.empty() ? path_ : path_ + L"\\" + sub; }

    // The key `sub`, opened with `access` (the keys on the way with reading rights); empty if missing.
    unique_hkey Open(const std::wstring& sub, REGSAM access = KEY_READ) const {
        unique_hkey key;
        RegOpenKeyExW(root_, path_.c_str(), 0, (sub.empty() ? access : KEY_READ) | view_, key.put());
        return Walk(std::move(key), sub, [&](HKEY parent, const std::wstring& name, bool last) {
            unique_hkey next;
            OpenSubKeyAsItself(parent, name, (last ? access : KEY_READ) | view_, next.put());
            return next;
        });
    }

    // Creates `sub` and the keys on the way; `options` applies to the last one.
    unique_hkey Create(const std::wstring& sub, ULONG options = 0, REGSAM access = KEY_ALL_ACCESS) const {
        unique_hkey key;
        RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, key.put(),
                        nullptr);
        return Walk(std::move(key), sub, [&](HKEY parent, const std::wstring& name, bool last) {
            return CreateSubKeyExactly(parent, name, (last ? access : KEY_ALL_ACCESS) | view_,
                                       last ? options : 0);
        });
    }

    void SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& value) const {
        RegSetValueExW(Create(sub).get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    void SetDword(const std::wstring& sub, const std::wstring& name, DWORD value) const {
        RegSetValueExW(Create(sub).get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
    }

    void Remove(const std::wstring& sub) const { RegDeleteTreeW(root_, Path(sub).c_str()); }

    std::wstring NativeName(const std::wstring& sub) const { return NativeKeyName(Open(sub).get()); }

    // Makes `sub` a registry link to the key with the native name `target`.
    void Link(const std::wstring& sub, const std::wstring& target) const {
        const size_t leaf = sub.rfind(L'\\');
        const std::wstring parent = leaf == std::wstring::npos ? L"" : sub.substr(0, leaf);
        CreateLinkKey(Create(parent).get(), sub.substr(leaf + 1), target, view_);
    }

    // Whether the key exists as itself: a link counts, whatever it points to.
    bool Exists(const std::wstring& sub) const { return static_cast<bool>(Open(sub)); }

    // Every key and value beneath `sub`, one line each, in registry order.
    std::wstring Dump(const std::wstring& sub = L"") const {
        const unique_hkey key = Open(sub);
        if (!key) {
            return L"<missing " + sub + L">\n";
        }
        std::vector<std::wstring> lines;
        DumpRegistryTree(key.get(), sub, lines, view_);
        std::wstring out;
        for (const std::wstring& line : lines) {
            out += line + L"\n";
        }
        return out;
    }

  private:
    // Takes `key` down `sub` one name at a time; `step(parent, name, last)` gives the next key.
    template <typename Step>
    static unique_hkey Walk(unique_hkey key, const std::wstring& sub, Step step) {
        for (size_t start = 0; key && start < sub.size();) {
            const size_t end = std::min(sub.find(L'\\', start), sub.size());
            key = step(key.get(), sub.substr(start, end - start), end == sub.size());
            start = end + 1;
        }
        return key;
    }

    void Wipe() const {
        const size_t leaf = path_.rfind(L'\\');
        unique_hkey parent;
        if (RegOpenKeyExW(root_, path_.substr(0, leaf).c_str(), 0, KEY_READ | view_, parent.put()) ==
            ERROR_SUCCESS) {
            DeleteTreeInView(parent.get(), path_.substr(leaf + 1), view_);
        }
    }

    HKEY root_;
    std::wstring path_;
    REGSAM view_;
    MadeKeys made_;
};

// A dump with the section of one sub-key tree of the dumped key taken out.
inline std::wstring WithoutTree(const std::wstring& dump, const std::wstring& subKey) {
    std::wstring kept;
    bool inTree = false;
    for (size_t start = 0; start < dump.size();) {
        const size_t end = dump.find(L'\n', start) + 1;
        const std::wstring line = dump.substr(start, end - start);
        if (line.starts_with(L"[")) {
            inTree = line == L"[\\" + subKey + L"]\n" || line.starts_with(L"[\\" + subKey + L"\\");
        }
        if (!inTree) {
            kept += line;
        }
        start = end;
    }
    return kept;
}

// Denies everyone every right on a scratch sub-key (or grants only `sddl`) for the life of the object;
// the owner may still put the permissions back, which the destructor does so the scratch key can be wiped.
class KeyLock {
  public:
    KeyLock(const ScratchKey& scratch, std::wstring sub, const wchar_t* sddl = L"D:(D;;KA;;;WD)")
        : scratch_(scratch), sub_(std::move(sub)) {
        Apply(sddl);
    }
    ~KeyLock() { Apply(L"D:(A;OICI;KA;;;WD)"); }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;

  private:
    void Apply(const wchar_t* sddl) const {
        const unique_hkey key = scratch_.Open(sub_, WRITE_DAC);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (key && ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                        nullptr)) {
            RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
            LocalFree(descriptor);
        }
    }

    const ScratchKey& scratch_;
    std::wstring sub_;
};
