#include "dpi.h"

#include "../registry/system_function.h"
#include "window_handles.h"

namespace {

// The DPI functions of user32 arrived with Windows 10 1607; before that one DPI holds for the whole
// screen.
template <typename Function>
Function User32Function(const char* name) {
    return SystemFunction<Function>(L"user32.dll", name);
}

UINT ScreenDpi() {
    unique_hdc screen(CreateCompatibleDC(nullptr));
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

UINT WindowDpi(HWND hwnd) {
    const auto getDpiForWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        if (const UINT dpi = getDpiForWindow(hwnd)) {
            return dpi;
        }
    }
    return ScreenDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    const auto forDpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

double PixelsToTwips(int pixels, UINT dpi) {
    return pixels * TwipsPerInch / dpi;
}

double TwipsToPixels(double twips, UINT dpi) {
    return twips * dpi / TwipsPerInch;
}

RECT OuterRectForClient(DWORD style, DWORD exStyle, int clientWidth, int clientHeight, UINT dpi) {
    RECT outer{0, 0, clientWidth, clientHeight};
    const auto adjustForDpi =
        User32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&outer, style, FALSE, exStyle, dpi)) {
        AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    }
    OffsetRect(&outer, -outer.left, -outer.top);
    return outer;
}
