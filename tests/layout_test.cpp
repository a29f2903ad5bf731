// The window's design and resize layout, run at the screen DPI of the test prefix (96, or the
// QUILLFEN_DPI the test was started with). Expected positions are twips; pixels follow the DPI.
#include "window_fixture.h"

#include "dpi.h"
#include "layout.h"

#include <cmath>
#include <limits>

namespace {

UINT ExpectedDpi() {
    wchar_t value[16] = {};
    return GetEnvironmentVariableW(L"QUILLFEN_DPI", value, 16) ? static_cast<UINT>(_wtoi(value)) : 96;
}

struct Twips {
    double left, top, width, height;
};

Twips Geometry(const Control& control) {
    return {control.Left(), control.Top(), control.Width(), control.Height()};
}

bool operator==(const Twips& a, const Twips& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

std::ostream& operator<<(std::ostream& out, const Twips& t) {
    return out << "{" << t.left << ", " << t.top << ", " << t.width << ", " << t.height << "}";
}

// The control really sits, in pixels, within one pixel of where the twips put it, and the wrapper
// reports those twips.
void ExpectPlaced(const Control& control, const Twips& expected) {
    const UINT dpi = WindowDpi(control.hwnd());
    RECT bounds{};
    GetWindowRect(control.hwnd(), &bounds);
    MapWindowPoints(HWND_DESKTOP, GetParent(control.hwnd()), reinterpret_cast<POINT*>(&bounds), 2);
    EXPECT_NEAR(bounds.left, TwipsToPixels(expected.left, dpi), 1.0);
    EXPECT_NEAR(bounds.top, TwipsToPixels(expected.top, dpi), 1.0);
    EXPECT_NEAR(bounds.right - bounds.left, TwipsToPixels(expected.width, dpi), 1.0);
    EXPECT_NEAR(bounds.bottom - bounds.top, TwipsToPixels(expected.height, dpi), 1.0);
    EXPECT_EQ(Geometry(control), expected);
}

class LayoutTest : public VoiceWindowTest {
  protected:
    void SetUp() override {
        tokens.Create(L"Anna");
        Open();
        ASSERT_EQ(WindowDpi(form->hwnd()), ExpectedDpi());
    }

    void Resize() const {
        RECT client{};
        GetClientRect(form->hwnd(), &client);
        SendMessageW(form->hwnd(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }

    std::vector<Twips> All() const {
        return {Geometry(form->lblVoices), Geometry(form->lstVoices), Geometry(form->cmdDelete)};
    }
};

TEST_F(LayoutTest, OpensAtTheDesignSizeWithTheControlsLaidOut) {
    const FormWindow window(form->hwnd());
    EXPECT_EQ(window.ScaleWidth(), 4680);
    EXPECT_EQ(window.ScaleHeight(), 3090);

    form->lblVoices.Height(240);
    Resize();

    ExpectPlaced(form->lblVoices, {96, 96, form->lblVoices.Width(), 240});
    ExpectPlaced(form->lstVoices, {96, 384, 4488, 2019});
    ExpectPlaced(form->cmdDelete, {1732.5, 2499, 1215, 495});
}

TEST_F(LayoutTest, UsesTahomaAtNineAndThreeQuarterPointsOnEveryControl) {
    wchar_t caption[64] = {};
    GetWindowTextW(form->hwnd(), caption, 64);
    EXPECT_STREQ(caption, L"SAPI 5 Quillfen");
    const LONG style = GetWindowLongW(form->hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);

    for (const Control* control :
         {static_cast<const Control*>(&form->lblVoices), static_cast<const Control*>(&form->lstVoices),
          static_cast<const Control*>(&form->cmdDelete)}) {
        LOGFONTW font{};
        ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control->hwnd(), WM_GETFONT, 0, 0)),
                               sizeof font, &font));
        EXPECT_STREQ(font.lfFaceName, L"Tahoma");
        EXPECT_EQ(font.lfHeight, -std::lround(9.75 * ExpectedDpi() / 72));
        EXPECT_EQ(font.lfWeight, 400);
        EXPECT_EQ(font.lfCharSet, 0);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
    }
    // The label fits its caption: as tall as a line of the font and no wider than needed.
    HDC dc = GetDC(form->lblVoices.hwnd());
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(form->lblVoices.hwnd(), WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    ReleaseDC(form->lblVoices.hwnd(), dc);
    EXPECT_NEAR(TwipsToPixels(form->lblVoices.Height(), ExpectedDpi()), metrics.tmHeight, 0.01);
    EXPECT_LT(form->lblVoices.Width(), 1000);

    EXPECT_NE(SendMessageW(form->hwnd(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(form->hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
}

TEST_F(LayoutTest, MinimizingMovesNothingAndRestoringLaysOutAgain) {
    ShowWindow(form->hwnd(), SW_SHOWNORMAL);
    PumpMessages();
    const std::vector<Twips> before = All();

    ASSERT_TRUE(Settle([&] { ShowWindow(form->hwnd(), SW_MINIMIZE); },
                       [&] { return FormWindow(form->hwnd()).WindowState() == 1; }));
    EXPECT_EQ(All(), before);

    EXPECT_TRUE(Settle([&] { ShowWindow(form->hwnd(), SW_RESTORE); },
                       [&] { return FormWindow(form->hwnd()).WindowState() == 0; }));
    EXPECT_EQ(All(), before);
}

TEST_F(LayoutTest, MaximizedTheListFillsTheWindowAndTheButtonStaysCentredAtTheBottom) {
    const FormWindow window(form->hwnd());
    ASSERT_TRUE(
        Settle([&] { ShowWindow(form->hwnd(), SW_MAXIMIZE); }, [&] { return window.WindowState() == 2; }));
    ASSERT_GT(window.ScaleWidth(), 4680);

    const double buttonTop = window.ScaleHeight() - 495.0 - 96;
    const double listTop = 96.0 + form->lblVoices.Height() + 48;
    ExpectPlaced(form->lstVoices, {96, listTop, window.ScaleWidth() - 192.0, buttonTop - listTop - 96});
    ExpectPlaced(form->cmdDelete, {window.ScaleWidth() / 2.0 - 607.5, buttonTop, 1215, 495});
}

TEST_F(LayoutTest, ATallerLabelPushesTheListDown) {
    form->lblVoices.Height(600);
    Resize();

    EXPECT_EQ(form->lstVoices.Top(), 96 + 600 + 48);
    EXPECT_EQ(form->lstVoices.Height(), 2499 - 744 - 96);
}

TEST_F(LayoutTest, ControlsRejectNegativeSizesAndValuesThatAreNotFinite) {
    const Twips before = Geometry(form->lstVoices);

    EXPECT_FALSE(form->lstVoices.Width(-15));
    EXPECT_FALSE(form->lstVoices.Height(-471));
    EXPECT_FALSE(form->lstVoices.Left(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(form->lstVoices.Top(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(form->lstVoices.Width(1e30));
    EXPECT_EQ(Geometry(form->lstVoices), before);

    EXPECT_TRUE(form->lstVoices.Left(-150));
    EXPECT_EQ(form->lstVoices.Left(), -150);
    EXPECT_TRUE(form->lstVoices.Height(0));
    EXPECT_EQ(form->lstVoices.Height(), 0);
}

LONG Pixels(double twips, UINT dpi) {
    return std::lround(TwipsToPixels(twips, dpi));
}

RECT PixelBounds(const Control& control) {
    RECT bounds{};
    GetWindowRect(control.hwnd(), &bounds);
    MapWindowPoints(HWND_DESKTOP, GetParent(control.hwnd()), reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

// Font, icon and layout all follow `dpi`, wherever the window now is and whatever its size.
void ExpectLaidOutAt(const frmQuillfen& form, UINT dpi) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form.cmdDelete.hwnd(), WM_GETFONT, 0, 0)), sizeof font,
               &font);
    EXPECT_EQ(font.lfHeight, -std::lround(9.75 * dpi / 72)) << dpi;
    ICONINFO icon{};
    ASSERT_TRUE(
        GetIconInfo(reinterpret_cast<HICON>(SendMessageW(form.hwnd(), WM_GETICON, ICON_SMALL, 0)), &icon));
    BITMAP mask{};
    GetObjectW(icon.hbmMask, sizeof mask, &mask);
    DeleteObject(icon.hbmMask);
    DeleteObject(icon.hbmColor);
    EXPECT_EQ(mask.bmWidth, SystemMetricForDpi(SM_CXSMICON, dpi)) << dpi;

    RECT client{};
    GetClientRect(form.hwnd(), &client);
    const double width = PixelsToTwips(client.right, dpi), height = PixelsToTwips(client.bottom, dpi);
    const RECT label = PixelBounds(form.lblVoices), list = PixelBounds(form.lstVoices),
               button = PixelBounds(form.cmdDelete);
    EXPECT_EQ(button.right - button.left, Pixels(1215, dpi)) << dpi;
    EXPECT_EQ(button.bottom - button.top, Pixels(495, dpi)) << dpi;
    EXPECT_EQ(label.left, Pixels(96, dpi)) << dpi;
    EXPECT_EQ(label.top, Pixels(96, dpi)) << dpi;
    EXPECT_NEAR(list.left, TwipsToPixels(96, dpi), 1) << dpi;
    EXPECT_NEAR(list.right - list.left, TwipsToPixels(width - 192, dpi), 1) << dpi;
    EXPECT_NEAR(list.top, label.bottom + TwipsToPixels(48, dpi), 1) << dpi;
    EXPECT_NEAR(button.top, TwipsToPixels(height - 495 - 96, dpi), 1) << dpi;
    EXPECT_NEAR(button.left, TwipsToPixels(width / 2 - 607.5, dpi), 1) << dpi;
    EXPECT_NEAR(list.bottom, button.top - TwipsToPixels(96, dpi), 1) << dpi;
}

// A move to a monitor of another DPI and back. Wine keeps reporting the screen's DPI, so this also
// shows that the window lays out at the DPI the message brings.
TEST_F(LayoutTest, FollowsADpiChangeToItsSuggestedRectangleAndBack) {
    const auto style = static_cast<DWORD>(GetWindowLongW(form->hwnd(), GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(form->hwnd(), GWL_EXSTYLE));
    for (const UINT dpi : {144u, 96u, 120u}) {
        RECT suggested = OuterRectForClient(style, exStyle, Pixels(4680, dpi), Pixels(3090, dpi), dpi);
        OffsetRect(&suggested, 40 + static_cast<int>(dpi), 30);
        SendMessageW(form->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));

        RECT outer{};
        GetWindowRect(form->hwnd(), &outer);
        EXPECT_TRUE(EqualRect(&outer, &suggested)) << dpi;
        ExpectLaidOutAt(*form, dpi);
    }
}

// A suggested rectangle of the window's own size in pixels brings no WM_SIZE: the DPI handler itself
// must lay the controls out for the new DPI.
TEST_F(LayoutTest, LaysOutForANewDpiThatKeepsTheWindowsSizeInPixels) {
    for (const UINT dpi : {144u, 120u, 96u}) {
        RECT outer{};
        GetWindowRect(form->hwnd(), &outer);
        SendMessageW(form->hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&outer));

        RECT after{};
        GetWindowRect(form->hwnd(), &after);
        EXPECT_TRUE(EqualRect(&outer, &after)) << dpi;
        ExpectLaidOutAt(*form, dpi);
    }
}

// A real sizable window cannot be made narrower than the system's minimum, so the window's own
// controls are moved into a plain child window of the size each case needs.
class SmallAreaLayoutTest : public LayoutTest {
  protected:
    void SetUp() override {
        LayoutTest::SetUp();
        form->lblVoices.Height(240);
        Resize();
        area = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, form->hwnd(), nullptr,
                               nullptr, nullptr);
        for (HWND control : {form->lblVoices.hwnd(), form->lstVoices.hwnd(), form->cmdDelete.hwnd()}) {
            SetParent(control, area);
        }
    }

    void LayOutAt(double widthTwips, double heightTwips) {
        const UINT dpi = WindowDpi(area);
        SetWindowPos(area, nullptr, 0, 0, static_cast<int>(std::lround(TwipsToPixels(widthTwips, dpi))),
                     static_cast<int>(std::lround(TwipsToPixels(heightTwips, dpi))),
                     SWP_NOMOVE | SWP_NOZORDER);
        ASSERT_NEAR(FormWindow(area).ScaleWidth(), widthTwips, 1440.0 / dpi);
        ArrangeVoiceControls(FormWindow(area), form->lblVoices, form->lstVoices, form->cmdDelete);
    }

    HWND area = nullptr;
};

TEST_F(SmallAreaLayoutTest, NarrowAreaKeepsLeftAndWidthButStillLaysOutVertically) {
    const std::vector<Twips> before = All();
    form->lblVoices.Top(600);

    LayOutAt(480, 3090);

    const std::vector<Twips> after = All();
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].left, before[i].left) << i;
        EXPECT_EQ(after[i].width, before[i].width) << i;
    }
    EXPECT_EQ(form->lblVoices.Top(), 96);  // moved back by the vertical half
    EXPECT_EQ(form->cmdDelete.Top(), 2499);
}

TEST_F(SmallAreaLayoutTest, ShortAreaKeepsTopAndHeightButStillLaysOutHorizontally) {
    const std::vector<Twips> before = All();

    LayOutAt(3000, 495);

    const std::vector<Twips> after = All();
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].top, before[i].top) << i;
        EXPECT_EQ(after[i].height, before[i].height) << i;
    }
    EXPECT_EQ(form->lstVoices.Width(), 3000 - 192);
    EXPECT_EQ(form->cmdDelete.Left(), 1500 - 607.5);
}

TEST_F(SmallAreaLayoutTest, AreaSixHundredHighPutsTheButtonAtNineAndKeepsTheListHeight) {
    const float listHeight = form->lstVoices.Height();

    LayOutAt(4680, 600);

    EXPECT_EQ(form->cmdDelete.Top(), 9);
    EXPECT_EQ(form->lstVoices.Top(), 384);
    EXPECT_EQ(form->lstVoices.Height(), listHeight);
    EXPECT_EQ(form->lblVoices.Top(), 96);
}

TEST_F(SmallAreaLayoutTest, AreaOfExactlyFiveHundredIsTooSmallForEitherHalf) {
    const std::vector<Twips> before = All();

    LayOutAt(500, 500);

    EXPECT_EQ(All(), before);
}

}  // namespace
