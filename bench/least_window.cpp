// The baseline for start-up: the least program that shows the program's window. The same manifest and
// icon (least_window.rc), class and window styles, three controls in the same font at the window's DPI,
// and the voice-token names read the bare way into the list, storage reserved and drawing held as the
// program does, before the window is first shown. No layout pass, no DPI handling beyond the font,
// nothing kept beside the list.
#include "bench_common.h"

#include <windows.h>

#include <cmath>

namespace {

HWND Child(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle, int left,
           int top, int width, int height) {
    return CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height,
                           parent, nullptr, nullptr, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = QuitOnDestroy;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.lpszClassName = L"SAPI5Quillfen.LeastWindow";
    RegisterClassExW(&windowClass);
    // The program's client size, 4680 x 3090 twips, at 96 DPI with the frame around it.
    RECT outer{0, 0, 312, 206};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
    HWND hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, windowClass.lpszClassName, L"SAPI 5 Quillfen",
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                instance, nullptr);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    HFONT font = CreateFontW(-static_cast<int>(std::lround(9.75 * dpi / 72.0)), 0, 0, 0, FW_NORMAL, FALSE,
                             FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    HWND label = Child(hwnd, L"STATIC", L"&Voices", SS_LEFT, 0, 6, 6, 37, 16);
    HWND list =
        Child(hwnd, L"LISTBOX", L"Voices", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE, 6, 26, 299, 134);
    HWND button = Child(hwnd, L"BUTTON", L"Delete", WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON | BS_NOTIFY, 0,
                        115, 166, 81, 33);
    for (HWND control : {label, list, button}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // Storage reserved for the count and longest name the key reports, and drawing held while the list
    // fills, as the program does: what any list of thousands of entries should do.
    constexpr wchar_t tokens[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
    HKEY key = nullptr;
    DWORD count = 0, longest = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, tokens, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
    }
    SendMessageW(list, LB_INITSTORAGE, count, static_cast<LPARAM>(count) * (longest + 1) * sizeof(wchar_t));
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ForEachNameBare(HKEY_LOCAL_MACHINE, tokens, [&](const wchar_t* name, DWORD) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    });
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    ShowWindow(hwnd, showCommand);
    UpdateWindow(hwnd);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(hwnd, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DeleteObject(font);
    return 0;
}
