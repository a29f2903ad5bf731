#include "controls.h"

#include "dpi.h"
#include "window_handles.h"

#include <cmath>

namespace {

// Beyond this a coordinate no longer fits the window manager's 16-bit range.
constexpr double PixelLimit = 32767.0;

}  // namespace

RECT Control::Bounds() const {
    RECT bounds{};
    GetWindowRect(hwnd_, &bounds);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

float Control::ToTwips(LONG pixels) const {
    return static_cast<float>(PixelsToTwips(pixels, WindowDpi(hwnd_)));
}

bool Control::ToPixels(double twips, bool allowNegative, int& pixels) const {
    const double value = static_cast<float>(twips);
    if (!std::isfinite(value) || (!allowNegative && value < 0)) {
        return false;
    }
    const double exact = TwipsToPixels(value, WindowDpi(hwnd_));
    if (std::fabs(exact) > PixelLimit) {
        return false;
    }
    pixels = static_cast<int>(std::lround(exact));
    return true;
}

bool Control::Place(const RECT& bounds) const {
    return SetWindowPos(hwnd_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                        bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

float Control::Left() const {
    return ToTwips(Bounds().left);
}
float Control::Top() const {
    return ToTwips(Bounds().top);
}
float Control::Width() const {
    const RECT bounds = Bounds();
    return ToTwips(bounds.right - bounds.left);
}
float Control::Height() const {
    const RECT bounds = Bounds();
    return ToTwips(bounds.bottom - bounds.top);
}

bool Control::Left(double twips) {
    RECT bounds = Bounds();
    int left = 0;
    if (!ToPixels(twips, true, left)) {
        return false;
    }
    OffsetRect(&bounds, left - bounds.left, 0);
    return Place(bounds);
}

bool Control::Top(double twips) {
    RECT bounds = Bounds();
    int top = 0;
    if (!ToPixels(twips, true, top)) {
        return false;
    }
    OffsetRect(&bounds, 0, top - bounds.top);
    return Place(bounds);
}

bool Control::Width(double twips) {
    RECT bounds = Bounds();
    int width = 0;
    if (!ToPixels(twips, false, width)) {
        return false;
    }
    bounds.right = bounds.left + width;
    return Place(bounds);
}

bool Control::Height(double twips) {
    RECT bounds = Bounds();
    int height = 0;
    if (!ToPixels(twips, false, height)) {
        return false;
    }
    bounds.bottom = bounds.top + height;
    return Place(bounds);
}

bool Control::Enabled() const {
    return IsWindowEnabled(hwnd_) != FALSE;
}

void Control::Enabled(bool enabled) {
    EnableWindow(hwnd_, enabled);
}

void Label::AutoSize() {
    const int length = GetWindowTextLengthW(hwnd());
    std::wstring caption(length + 1, L'\0');
    caption.resize(GetWindowTextW(hwnd(), caption.data(), length + 1));

    unique_hdc dc(CreateCompatibleDC(nullptr));
    if (!dc) {
        return;
    }
    const auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
    const HGDIOBJ previous = font ? SelectObject(dc.get(), font) : nullptr;
    RECT text{};
    DrawTextW(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_CALCRECT | DT_SINGLELINE);
    if (previous) {
        SelectObject(dc.get(), previous);
    }
    SetWindowPos(hwnd(), nullptr, 0, 0, text.right - text.left, text.bottom - text.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ListBox::Clear() {
    SendMessageW(hwnd(), LB_RESETCONTENT, 0, 0);
}

bool ListBox::AddItem(const std::wstring& text) {
    const LRESULT index = SendMessageW(hwnd(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return index != LB_ERR && index != LB_ERRSPACE;
}

int ListBox::ListCount() const {
    const LRESULT count = SendMessageW(hwnd(), LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

std::wstring ListBox::List(int index) const {
    const LRESULT length = SendMessageW(hwnd(), LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    const LRESULT copied = SendMessageW(hwnd(), LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : copied);
    return text;
}

bool ListBox::List(int index, const std::wstring& text) {
    if (index < 0 || index >= ListCount()) {
        return false;
    }
    // A list box cannot rename an entry: put the new text in its place and keep the selection.
    const bool wasSelected = ListIndex() == index;
    SendMessageW(hwnd(), LB_DELETESTRING, index, 0);
    const LRESULT inserted =
        SendMessageW(hwnd(), LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text.c_str()));
    if (wasSelected) {
        SendMessageW(hwnd(), LB_SETCURSEL, index, 0);
    }
    return inserted == index;
}

int ListBox::ListIndex() const {
    const LRESULT index = SendMessageW(hwnd(), LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? -1 : static_cast<int>(index);
}

bool ListBox::RemoveItem(int index) {
    if (index < 0 || index >= ListCount()) {
        return false;
    }
    const bool wasSelected = ListIndex() == index;
    SendMessageW(hwnd(), LB_DELETESTRING, index, 0);
    if (wasSelected) {
        SendMessageW(hwnd(), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
    return true;
}

float FormWindow::ScaleWidth() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return static_cast<float>(PixelsToTwips(client.right, WindowDpi(hwnd_)));
}

float FormWindow::ScaleHeight() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return static_cast<float>(PixelsToTwips(client.bottom, WindowDpi(hwnd_)));
}

int FormWindow::WindowState() const {
    if (IsIconic(hwnd_)) {
        return 1;
    }
    return IsZoomed(hwnd_) ? 2 : 0;
}
