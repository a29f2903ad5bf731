// The program's one window: the list of installed voice tokens and the command that removes one.
// Behaviour lives in the event handlers; the controls are public so the window can be inspected.
#pragma once

#include "../registry/modRegistry.h"
#include "controls.h"
#include "window_handles.h"

#include <string>

inline constexpr wchar_t VoiceTokensKeyPath[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
inline constexpr wchar_t ProtectedVoiceMarker[] = L"MSSam";
inline constexpr wchar_t ProtectedSuffix[] = L" (Cannot be deleted)";

// True when `text` contains the protected-voice marker anywhere, in any case.
bool ContainsProtectedMarker(const std::wstring& text);

// The list's text for a token: its name, each NUL in it shown as \0 (no key name holds a backslash, so no
// two names read alike), and the suffix when it is protected.
std::wstring EntryText(const std::wstring& tokenName);

// Where the voice tokens live. The program always uses HKEY_LOCAL_MACHINE\VoiceTokensKeyPath.
struct VoiceTokenKey {
    RootKey root = HKEY_LOCAL_MACHINE;
    std::wstring path = VoiceTokensKeyPath;
};

class frmQuillfen {
  public:
    explicit frmQuillfen(VoiceTokenKey tokens = {});
    frmQuillfen(const frmQuillfen&) = delete;
    frmQuillfen& operator=(const frmQuillfen&) = delete;

    // Creates the window and its controls, then raises Load. The window stays hidden until shown.
    bool Create(HINSTANCE instance);
    HWND hwnd() const { return hwnd_.get(); }

    Label lblVoices;
    ListBox lstVoices;
    CommandButton cmdDelete;

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void ApplyDpi(UINT dpi);
    void OnActivate(WPARAM wParam);
    void OnNextControl(WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam);

    void Form_Load();
    void Form_Resize();
    void lstVoices_Click();
    void cmdDelete_Click();
    void LoadVoices();

    VoiceTokenKey tokens_;
    // The exact name of each entry's token, in the list's order: what is shown may differ from it.
    SubKeyNameList tokenNames_;
    // Font and icons outlive the window that shows them: members are destroyed in reverse order.
    unique_hfont font_;
    unique_hicon largeIcon_;
    unique_hicon smallIcon_;
    HWND lastFocus_ = nullptr;
    // The DPI the window is shown at, from creation and then from WM_DPICHANGED: the system's own
    // lookups may lag behind it or, before Windows 10 1607, report the system DPI instead.
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    unique_hwnd hwnd_;
};
