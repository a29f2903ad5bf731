// Thin wrappers over plain Win32 controls. Positions and sizes are twips held as float, relative to the
// parent's client area; a write the control cannot take returns false and leaves the old value.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class Control {
  public:
    Control() = default;
    explicit Control(HWND hwnd) : hwnd_(hwnd) {}

    HWND hwnd() const { return hwnd_; }

    // The DPI its twips are converted at: the one its window carries, as WM_DPICHANGED gave it.
    // Until set, the DPI the system reports for the control.
    void Dpi(UINT dpi) { dpi_ = dpi; }
    UINT Dpi() const;

    float Left() const;
    float Top() const;
    float Width() const;
    float Height() const;
    bool Left(double twips);
    bool Top(double twips);
    bool Width(double twips);
    bool Height(double twips);

    bool Enabled() const;
    void Enabled(bool enabled);

  private:
    // A write remembers the exact twips it was given, and a read returns them while the control still
    // sits on the pixel they rounded to: later layout steps then build on exact values, not rounded ones.
    struct ExactValue {
        float twips = 0;
        LONG pixels = 0;
        UINT dpi = 0;
    };

    RECT Bounds() const;
    float Read(const ExactValue& exact, LONG pixels) const;
    // `place` moves one edge of the bounds to the given pixel value.
    template <typename Place>
    bool Write(ExactValue& exact, double twips, bool allowNegative, Place place);

    HWND hwnd_ = nullptr;
    UINT dpi_ = 0;
    ExactValue left_, top_, width_, height_;
};

class Label : public Control {
  public:
    using Control::Control;

    // Fits the label to its caption in its current font.
    void AutoSize();
};

class ListBox : public Control {
  public:
    using Control::Control;

    void Clear();
    // Room for these entries before they are added one by one.
    void Reserve(const std::vector<std::wstring>& entries);
    void Redraw(bool on);
    bool AddItem(const std::wstring& text);
    int ListCount() const;
    std::wstring List(int index) const;
    int ListIndex() const;
    bool RemoveItem(int index);
};

class CommandButton : public Control {
  public:
    using Control::Control;
};

// The top-level window's own properties; ScaleWidth and ScaleHeight are its client size in twips.
class FormWindow {
  public:
    // `dpi` 0 takes the DPI the system reports for the window.
    explicit FormWindow(HWND hwnd, UINT dpi = 0) : hwnd_(hwnd), dpi_(dpi) {}

    float ScaleWidth() const;
    float ScaleHeight() const;
    // 0 normal, 1 minimized, 2 maximized.
    int WindowState() const;

  private:
    UINT Dpi() const;

    HWND hwnd_;
    UINT dpi_;
};
