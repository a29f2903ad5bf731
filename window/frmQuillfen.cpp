#include "frmQuillfen.h"

#include "dpi.h"
#include "layout.h"
#include "resource.h"

#include <cmath>

namespace {

constexpr wchar_t WindowClassName[] = L"SAPI5Quillfen.frmQuillfen";
constexpr wchar_t Caption[] = L"SAPI 5 Quillfen";
// Clipping the children keeps the background erase of a resize from painting over them.
constexpr DWORD FormStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD FormExStyle = WS_EX_CONTROLPARENT;

// Control ids stay clear of IDOK and IDCANCEL, which the dialog manager sends for Enter and Escape.
constexpr int LabelId = 101;
constexpr int ListId = 102;
constexpr int DeleteId = 103;

struct DesignRect {
    double left, top, width, height;
};
constexpr double InnerWidth = 4680;
constexpr double InnerHeight = 3090;
constexpr DesignRect LabelDesign{120, 120, 555, 240};
constexpr DesignRect ListDesign{120, 360, 1215, 300};
constexpr DesignRect DeleteDesign{1800, 2520, 1215, 495};

constexpr double FontPoints = 9.75;
// The list's own text names it for screen readers that do not take the name from the label.
constexpr wchar_t ListAccessibleName[] = L"Voices";

unique_hicon LoadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric, UINT dpi) {
    return unique_hicon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QUILLFEN), IMAGE_ICON,
                                                      SystemMetricForDpi(widthMetric, dpi),
                                                      SystemMetricForDpi(heightMetric, dpi), 0)));
}

int ToDevice(double twips, UINT dpi) {
    return static_cast<int>(std::lround(TwipsToPixels(twips, dpi)));
}

unique_hfont CreateFormFont(UINT dpi) {
    const int height = -static_cast<int>(std::lround(FontPoints * dpi / 72.0));
    return unique_hfont(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
}

HWND CreateControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, DWORD exStyle,
                   int id, const DesignRect& design, UINT dpi) {
    return CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style,
                           ToDevice(design.left, dpi), ToDevice(design.top, dpi), ToDevice(design.width, dpi),
                           ToDevice(design.height, dpi), parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

}  // namespace

bool ContainsProtectedMarker(const std::wstring& text) {
    return FindStringOrdinal(FIND_FROMSTART, text.c_str(), static_cast<int>(text.size()),
                             ProtectedVoiceMarker, -1, TRUE) >= 0;
}

std::wstring EntryText(const std::wstring& tokenName) {
    std::wstring text;
    for (const wchar_t c : tokenName) {
        text += c == L'\0' ? std::wstring(L"\\0") : std::wstring(1, c);
    }
    return ContainsProtectedMarker(tokenName) ? text + ProtectedSuffix : text;
}

frmQuillfen::frmQuillfen(VoiceTokenKey tokens) : tokens_(std::move(tokens)) {}

bool frmQuillfen::Create(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = WindowClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    // The handle is attached in WM_NCCREATE, so the controls exist once this returns.
    CreateWindowExW(FormExStyle, WindowClassName, Caption, FormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    if (!hwnd_) {
        return false;
    }
    Form_Load();
    return true;
}

LRESULT CALLBACK frmQuillfen::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<frmQuillfen*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_.reset(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<frmQuillfen*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (form) {
            form->hwnd_.release();  // the window is gone already: nothing left to destroy
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return form ? form->HandleMessage(message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT frmQuillfen::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate();
            return 0;
        case WM_SIZE:
            Form_Resize();
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_ACTIVATE:
            OnActivate(wParam);
            return 0;
        case WM_SETFOCUS:
            OnActivate(WA_ACTIVE);
            return 0;
        case WM_COMMAND:
            OnCommand(wParam);
            return 0;
        case WM_NEXTDLGCTL:
            OnNextControl(wParam, lParam);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd(), message, wParam, lParam);
    }
}

void frmQuillfen::OnCreate() {
    // No DPI message comes for the DPI the window is created at, so it is applied here.
    const UINT dpi = WindowDpi(hwnd());
    // Creation order is tab order: label, list, button.
    lblVoices = Label(CreateControl(hwnd(), L"STATIC", L"&Voices", SS_LEFT, 0, LabelId, LabelDesign, dpi));
    lstVoices = ListBox(CreateControl(hwnd(), L"LISTBOX", ListAccessibleName,
                                      WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                                      WS_EX_CLIENTEDGE, ListId, ListDesign, dpi));
    cmdDelete = CommandButton(CreateControl(hwnd(), L"BUTTON", L"Delete",
                                            WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON | BS_NOTIFY, 0, DeleteId,
                                            DeleteDesign, dpi));
    ApplyDpi(dpi);

    const RECT outer = OuterRectForClient(FormStyle, FormExStyle, ToDevice(InnerWidth, dpi),
                                          ToDevice(InnerHeight, dpi), dpi);
    SetWindowPos(hwnd(), nullptr, 0, 0, outer.right, outer.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmQuillfen::OnDpiChanged(UINT dpi, const RECT& suggested) {
    ApplyDpi(dpi);
    SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Form_Resize();  // the size in pixels may not have changed, so no WM_SIZE need have come
}

// Everything whose size in pixels follows the DPI, apart from the layout that Form_Resize does;
// the window's icons are set here for each DPI, so the class carries none of its own.
void frmQuillfen::ApplyDpi(UINT dpi) {
    dpi_ = dpi;
    lblVoices.Dpi(dpi);
    lstVoices.Dpi(dpi);
    cmdDelete.Dpi(dpi);
    unique_hfont font = CreateFormFont(dpi);
    for (HWND control : {lblVoices.hwnd(), lstVoices.hwnd(), cmdDelete.hwnd()}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    }
    font_ = std::move(font);  // the old font goes only once no control uses it
    lblVoices.AutoSize();
    cmdDelete.Width(DeleteDesign.width);
    cmdDelete.Height(DeleteDesign.height);

    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd(), GWLP_HINSTANCE));
    unique_hicon largeIcon = LoadProgramIcon(instance, SM_CXICON, SM_CYICON, dpi);
    unique_hicon smallIcon = LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON, dpi);
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon.get()));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
    largeIcon_ = std::move(largeIcon);
    smallIcon_ = std::move(smallIcon);
}

void frmQuillfen::OnActivate(WPARAM wParam) {
    // Keep the keyboard focus on the control the user left, or on the list when the window first opens.
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd(), focus)) {
            lastFocus_ = focus;
        }
        return;
    }
    HWND target =
        lastFocus_ && IsChild(hwnd(), lastFocus_) ? lastFocus_ : GetNextDlgTabItem(hwnd(), nullptr, FALSE);
    if (target) {
        SetFocus(target);
    }
}

// The dialog manager moves the focus for access keys such as Alt+V with this dialog message,
// which only dialog boxes answer by themselves.
void frmQuillfen::OnNextControl(WPARAM wParam, LPARAM lParam) {
    HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                 : GetNextDlgTabItem(hwnd(), GetFocus(), static_cast<BOOL>(wParam != 0));
    if (target && IsChild(hwnd(), target)) {
        SetFocus(target);
    }
}

void frmQuillfen::OnCommand(WPARAM wParam) {
    // Enter on the focused Delete button clicks it, as in any dialog; anywhere else Enter arrives as IDOK
    // and Escape as IDCANCEL, and neither is a control here, so neither deletes.
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if ((id == ListId && code == LBN_SETFOCUS) || (id == DeleteId && code == BN_SETFOCUS)) {
        // Remembered as the focus arrives: by the time the window hears it is deactivated, the focus may
        // have left already.
        lastFocus_ = GetDlgItem(hwnd(), id);
    } else if (id == ListId && code == LBN_SELCHANGE) {
        lstVoices_Click();
    } else if (id == DeleteId && code == BN_CLICKED) {
        cmdDelete_Click();
    }
}

void frmQuillfen::Form_Load() {
    LoadVoices();
}

void frmQuillfen::Form_Resize() {
    ArrangeVoiceControls(FormWindow(hwnd(), dpi_), lblVoices, lstVoices, cmdDelete);
}

void frmQuillfen::lstVoices_Click() {
    const int index = lstVoices.ListIndex();
    cmdDelete.Enabled(index > -1 && index < static_cast<int>(tokenNames_.size()) &&
                      !ContainsProtectedMarker(tokenNames_[index]));
}

void frmQuillfen::cmdDelete_Click() {
    const int listCount = lstVoices.ListCount();
    const int listIndex = lstVoices.ListIndex();
    if (!(listIndex > -1 && listCount > 0 && listIndex < static_cast<int>(tokenNames_.size()))) {
        return;
    }
    // The exact name: the entry's text cut at a NUL could name another voice.
    const std::wstring token = tokenNames_[listIndex];
    // Protected voices are refused here as well, not only by the disabled button.
    if (ContainsProtectedMarker(token)) {
        return;
    }
    // The entry goes only with the token: a voice still registered stays listed, and selected.
    if (DeleteSubKeyTree(tokens_.root, tokens_.path, token)) {
        lstVoices.RemoveItem(listIndex);
        tokenNames_.erase(tokenNames_.begin() + listIndex);
    }
}

void frmQuillfen::LoadVoices() {
    lstVoices.Clear();
    tokenNames_.clear();
    SubKeyNameList tokens = EnumSubKeys(tokens_.root, tokens_.path);
    // Thousands of tokens fill fastest with storage reserved and drawing held until the end.
    lstVoices.Reserve(tokens);
    tokenNames_.reserve(tokens.size());
    lstVoices.Redraw(false);
    for (std::wstring& token : tokens) {
        // A name is kept only with its entry, so the two stay in step even if the list runs out of room.
        if (lstVoices.AddItem(EntryText(token))) {
            tokenNames_.push_back(std::move(token));
        }
    }
    lstVoices.Redraw(true);
}
