// A function of a system DLL the process has loaded already, looked up when needed so the program
// still starts on systems without it. Null where the DLL or the function is missing.
#pragma once

#include <windows.h>

template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    return loaded ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)))
                  : nullptr;
}
