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

UINT Control::Dpi() const {
    return dpi_ ? dpi_ : WindowDpi(hwnd_);
}

float Control::Read(const ExactValue& exact, LONG pixels) const {
    const UINT dpi = Dpi();
    if (exact.dpi == dpi && exact.pixels == pixels) {
        return exact.twips;
    }
    return static_cast<float>(PixelsToTwips(pixels, dpi));
}

template <typename Place>
bool Control::Write(ExactValue& exact, double twips, bool allowNegative, Place place) {
    const float value = static_cast<float>(twips);
    if (!std::isfinite(value) || (!allowNegative && value < 0)) {
        return false;
    }
    const UINT dpi = Dpi();
    const double pixels = std::round(TwipsToPixels(value, dpi));
    if (std::fabs(pixels) > PixelLimit) {
        return false;
    }
    RECT bounds = Bounds();
    place(bounds, static_cast<LONG>(pixels));
    if (!SetWindowPos(hwnd_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                      bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE)) {
        return false;
    }
    exact = {value, static_cast<LONG>(pixels), dpi};
    return true;
}

float Control::Left() const {
    return Read(left_, Bounds().left);
}
float Control::Top() const {
    return Read(top_, Bounds().top);
}
float Control::Width() const {
    const RECT bounds = Bounds();
    return Read(width_, bounds.right - bounds.left);
}
float Control::Height() const {
    const RECT bounds = Bounds();
    return Read(height_, bounds.bottom - bounds.top);
}

bool Control::Left(double twips) {
    return Write(left_, twips, true,
                 [](RECT& bounds, LONG left) { OffsetRect(&bounds, left - bounds.left, 0); });
}
bool Control::Top(double twips) {
    return Write(top_, twips, true, [](RECT& bounds, LONG top) { OffsetRect(&bounds, 0, top - bounds.top); });
}
bool Control::Width(double twips) {
    return Write(width_, twips, false, [](RECT& bounds, LONG width) { bounds.right = bounds.left + width; });
}
bool Control::Height(double twips) {
    return Write(height_, twips, false,
                 [](RECT& bounds, LONG height) { bounds.bottom = bounds.top + height; });
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

void ListBox::Reserve(const std::vector<std::wstring>& entries) {
    size_t characters = 0;
    for (const std::wstring& entry : entries) {
        characters += entry.size() + 1;
    }
    SendMessageW(hwnd(), LB_INITSTORAGE, entries.size(), static_cast<LPARAM>(characters * sizeof(wchar_t)));
}

void ListBox::Redraw(bool on) {
    SendMessageW(hwnd(), WM_SETREDRAW, on, 0);
    if (on) {
        InvalidateRect(hwnd(), nullptr, TRUE);
    }
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

UINT FormWindow::Dpi() const {
    return dpi_ ? dpi_ : WindowDpi(hwnd_);
}

float FormWindow::ScaleWidth() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return static_cast<float>(PixelsToTwips(client.right, Dpi()));
}

float FormWindow::ScaleHeight() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return static_cast<float>(PixelsToTwips(client.bottom, Dpi()));
}

int FormWindow::WindowState() const {
    if (IsIconic(hwnd_)) {
        return 1;
    }
    return IsZoomed(hwnd_) ? 2 : 0;
}
