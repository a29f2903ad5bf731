#include "dpi.h"

#include "window_handles.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Present from Windows 10 1607 on; older systems have one DPI for the whole screen.
GetDpiForWindowFn LookUpGetDpiForWindow() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<GetDpiForWindowFn>(
                        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                  : nullptr;
}

UINT ScreenDpi() {
    unique_hdc screen(CreateCompatibleDC(nullptr));
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

UINT WindowDpi(HWND hwnd) {
    if (const GetDpiForWindowFn getDpiForWindow = LookUpGetDpiForWindow(); getDpiForWindow && hwnd) {
        if (const UINT dpi = getDpiForWindow(hwnd)) {
            return dpi;
        }
    }
    return ScreenDpi();
}

double PixelsToTwips(int pixels, UINT dpi) {
    return pixels * TwipsPerInch / dpi;
}

double TwipsToPixels(double twips, UINT dpi) {
    return twips * dpi / TwipsPerInch;
}

RECT OuterRectForClient(DWORD style, DWORD exStyle, int clientWidth, int clientHeight, UINT dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    RECT outer{0, 0, clientWidth, clientHeight};
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto adjustForDpi = user32 ? reinterpret_cast<AdjustForDpiFn>(reinterpret_cast<void*>(
                                           GetProcAddress(user32, "AdjustWindowRectExForDpi")))
                                     : nullptr;
    if (!adjustForDpi || !adjustForDpi(&outer, style, FALSE, exStyle, dpi)) {
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    }
    OffsetRect(&outer, -outer.left, -outer.top);
    return outer;
}
