#include "../window/frmQuillfen.h"
#include "dll_search.h"

#include <windows.h>

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
