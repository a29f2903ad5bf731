// A DLL that does nothing: whether it loads by bare name shows where the DLL search looks.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
