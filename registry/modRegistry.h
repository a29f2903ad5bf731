// Reads and deletes sub-keys of a registry key. Every key handle opened here is closed before the
// routine returns; failures never escape as exceptions, only as short lists or a false result.
#pragma once

#include <windows.h>

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

// Deletes root\path\subKeyName with everything beneath it, all or nothing: every key of the tree is
// opened first, and if one cannot be, nothing is deleted. Links are never followed: a key that is a link
// is deleted as itself, its target untouched. True when the key (as itself, not a link's target) no
// longer exists: deleted now, or already gone. A name that is empty or holds a backslash or a NUL
// deletes nothing.
bool DeleteSubKeyTree(RootKey root, const std::wstring& path, const std::wstring& subKeyName);
