#include "../registry/system_function.h"
#include "../window/frmQuillfen.h"

#include <windows.h>

namespace {

// Any DLL loaded from here on comes from System32 only, never from the program's folder or the current
// directory. Windows 7 has the call only with KB2533623, so it is looked up; without it the current
// directory at least leaves the search.
void LimitDllSearchToSystem32() {
    const auto setDefaultDllDirectories =
        SystemFunction<BOOL(WINAPI*)(DWORD)>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    LimitDllSearchToSystem32();

    frmQuillfen form;
    if (!form.Create(instance)) {
        return 1;
    }
    ShowWindow(form.hwnd(), showCommand);
    UpdateWindow(form.hwnd());

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The dialog manager gives the window Tab, Shift+Tab, arrow keys and the Alt+V access key.
        if (!IsDialogMessageW(form.hwnd(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
