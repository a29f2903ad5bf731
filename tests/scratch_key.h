// A registry key of the test's own, wiped when the test starts and when it ends, with helpers to
// build token trees in it and to dump a whole tree for before/after comparisons.
#pragma once

#include "modRegistry.h"
#include "registry_dump.h"
#include "system_function.h"
#include "unique_handle.h"

#include <windows.h>
#include <sddl.h>

#include <string>

class ScratchKey {
  public:
    explicit ScratchKey(std::wstring path, HKEY root = HKEY_CURRENT_USER, REGSAM view = 0)
        : root_(root), path_(std::move(path)), view_(view) {
        Wipe();
        Create(L"");
    }
    ~ScratchKey() { Wipe(); }

    HKEY root() const { return root_; }
    const std::wstring& path() const { return path_; }
    std::wstring Path(const std::wstring& sub) const { return sub.empty() ? path_ : path_ + L"\\" + sub; }

    void Create(const std::wstring& sub) const {
        unique_hkey key;
        RegCreateKeyExW(root_, Path(sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, key.put(),
                        nullptr);
    }

    void SetString(const std::wstring& sub, const std::wstring& name, const std::wstring& value) const {
        Create(sub);
        RegSetKeyValueW(root_, Path(sub).c_str(), name.empty() ? nullptr : name.c_str(), REG_SZ,
                        value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    void SetDword(const std::wstring& sub, const std::wstring& name, DWORD value) const {
        Create(sub);
        RegSetKeyValueW(root_, Path(sub).c_str(), name.c_str(), REG_DWORD, &value, sizeof value);
    }

    void Remove(const std::wstring& sub) const { RegDeleteTreeW(root_, Path(sub).c_str()); }

    // The key's full name in the registry's own namespace ("\\REGISTRY\\USER\\..."), as links name targets.
    std::wstring NativeName(const std::wstring& sub) const {
        const auto query =
            SystemFunction<LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*)>(L"ntdll.dll", "NtQueryKey");
        unique_hkey key;
        RegOpenKeyExW(root_, Path(sub).c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view_, key.put());
        constexpr int KeyNameInformation = 3;
        std::vector<ULONG> info(2048);
        ULONG length = 0;
        if (!query || query(key.get(), KeyNameInformation, info.data(), 8192, &length) < 0) {
            return {};
        }
        return std::wstring(reinterpret_cast<const wchar_t*>(&info[1]), info[0] / sizeof(wchar_t));
    }

    // Makes `sub` a registry link to the key with the native name `target`.
    void Link(const std::wstring& sub, const std::wstring& target) const {
        unique_hkey key;
        RegCreateKeyExW(root_, Path(sub).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK | view_, nullptr, key.put(), nullptr);
        RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK,
                       reinterpret_cast<const BYTE*>(target.data()),
                       static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    }

    // Whether the key exists as itself: a link counts, whatever it points to.
    bool Exists(const std::wstring& sub) const {
        unique_hkey key;
        return RegOpenKeyExW(root_, Path(sub).c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view_, key.put()) ==
               ERROR_SUCCESS;
    }

    // Every key and value beneath `sub`, one line each, in registry order.
    std::wstring Dump(const std::wstring& sub = L"") const {
        unique_hkey key;
        if (RegOpenKeyExW(root_, Path(sub).c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view_, key.put()) !=
            ERROR_SUCCESS) {
            return L"<missing " + sub + L">\n";
        }
        std::vector<std::wstring> lines;
        DumpRegistryTree(key.get(), sub, lines);
        std::wstring out;
        for (const std::wstring& line : lines) {
            out += line + L"\n";
        }
        return out;
    }

  private:
    void Wipe() const {
        // The default view may hold links, which only the program's own deletion never follows.
        if (view_ == 0) {
            const size_t leaf = path_.rfind(L'\\');
            DeleteSubKeyTree(root_, path_.substr(0, leaf), path_.substr(leaf + 1));
            return;
        }
        unique_hkey key;
        if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_ALL_ACCESS | view_, key.put()) == ERROR_SUCCESS) {
            RegDeleteTreeW(key.get(), nullptr);
            key.reset();
            RegDeleteKeyExW(root_, path_.c_str(), view_, 0);
        }
    }

    HKEY root_;
    std::wstring path_;
    REGSAM view_;
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

// Denies everyone every right on a key (or grants only `sddl`) for the life of the object; the owner
// may still put the permissions back, which the destructor does so the scratch key can be wiped.
class KeyLock {
  public:
    KeyLock(HKEY root, std::wstring path, const wchar_t* sddl = L"D:(D;;KA;;;WD)")
        : root_(root), path_(std::move(path)) {
        Apply(sddl);
    }
    ~KeyLock() { Apply(L"D:(A;OICI;KA;;;WD)"); }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;

  private:
    void Apply(const wchar_t* sddl) const {
        unique_hkey key;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (RegOpenKeyExW(root_, path_.c_str(), 0, WRITE_DAC, key.put()) == ERROR_SUCCESS &&
            ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
            RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
            LocalFree(descriptor);
        }
    }

    HKEY root_;
    std::wstring path_;
};
