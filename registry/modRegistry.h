// Reads and deletes sub-keys of a registry key. Every key handle opened here is closed before the
// routine returns; failures never escape as exceptions, only as short lists or a false result.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using RootKey = HKEY;
using SubKeyNameList = std::vector<std::wstring>;

// Read, write, create, enumerate, notify and link rights: asking for write access even to list means an
// account that could not delete sees nothing to delete.
inline constexpr REGSAM VoiceKeyAccess = 0x3F;

// The immediate sub-key names of root\path in the order the registry hands them out.
// An unopenable or missing key gives an empty list.
SubKeyNameList EnumSubKeys(RootKey root, const std::wstring& path);

// The names of the sub-keys of an open key. `expectedCount` and `longestName` come from an earlier
// information query and only size the work: the key may have changed since.
SubKeyNameList EnumOpenKeySubKeys(HKEY key, DWORD expectedCount, DWORD longestName);

// Opens the sub-key `name` of an open key (not a predefined root) by its exact counted name, NULs and
// all, as itself: a link is opened, never followed. A registry view flag in `access` is passed on, as every
// operation beneath a key of the other view must name it. Win32 error codes, ERROR_FILE_NOT_FOUND for no
// such key.
LSTATUS OpenSubKeyAsItself(HKEY parent, const std::wstring& name, REGSAM access, HKEY* key);

// Deletes the one key an open handle names, which must have no sub-keys left; false when refused.
bool DeleteOpenKey(HKEY key);

// Deletes root\path\subKeyName with everything beneath it, all or nothing: every key of the tree is
// opened first, by its exact name, and if one cannot be, nothing is deleted. Links are never followed: a
// key that is a link is deleted as itself, its target untouched. True when the key (as itself, not a
// link's target) no longer exists: deleted now, or already gone. The name is a counted string and may
// hold a NUL; one that is empty or holds a backslash deletes nothing.
bool DeleteSubKeyTree(RootKey root, const std::wstring& path, const std::wstring& subKeyName);

// The same, with `deleteKey` deleting each key in turn, descendants first; the deletion stops at the
// first key it refuses, leaving the keys not yet reached as they were.
bool DeleteSubKeyTree(RootKey root, const std::wstring& path, const std::wstring& subKeyName,
                      const std::function<bool(HKEY)>& deleteKey);
