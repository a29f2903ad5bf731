#include "dll_search.h"

#include "../registry/system_function.h"

#include <windows.h>

void LimitDllSearchToSystem32() {
    const auto setDefaultDllDirectories =
        SystemFunction<BOOL(WINAPI*)(DWORD)>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}
