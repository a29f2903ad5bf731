// Opens frmQuillfen in this process on a scratch token key and drives it with the messages its
// controls would send, pumping the queue the way the program's message loop does.
#pragma once

#include "frmQuillfen.h"
#include "scratch_key.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

inline void PumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // Closing a window quits the program; in a test process that must not end later waits.
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// The window manager answers some requests later: pump until `done` holds after a pump, for two seconds
// at most.
template <typename Done>
bool PumpUntil(Done done) {
    for (DWORD start = GetTickCount();; Sleep(10)) {
        PumpMessages();
        if (done()) {
            return true;
        }
        if (GetTickCount() - start > 2000) {
            return false;
        }
    }
}

// Switches to `window` as the user would, until it is the foreground window and `arrived` holds, and both
// have held for 200 ms. The window manager confirms each switch in its own time, later still when the
// machine is busy, and Wine takes a late confirmation of an earlier switch as a switch back to that
// window: so the switch is asked for again whenever the foreground has left, as a user would.
template <typename Arrived>
bool SwitchTo(HWND window, Arrived arrived) {
    for (DWORD start = GetTickCount(), held = 0; GetTickCount() - start < 5000; Sleep(10)) {
        if (GetForegroundWindow() != window) {
            SetForegroundWindow(window);
        }
        PumpMessages();
        held = GetForegroundWindow() == window && arrived() ? held + 1 : 0;
        if (held == 20) {
            return true;
        }
    }
    return false;
}

class VoiceWindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        form.reset();
        PumpMessages();
    }

    frmQuillfen& Open() {
        form = std::make_unique<frmQuillfen>(VoiceTokenKey{HKEY_CURRENT_USER, tokens.path()});
        EXPECT_TRUE(form->Create(GetModuleHandleW(nullptr)));
        return *form;
    }

    std::vector<std::wstring> Entries() const {
        std::vector<std::wstring> entries;
        for (int i = 0; i < form->lstVoices.ListCount(); ++i) {
            entries.push_back(form->lstVoices.List(i));
        }
        return entries;
    }

    // What the list sends when the user changes its selection.
    void Select(int index) const {
        SendMessageW(form->lstVoices.hwnd(), LB_SETCURSEL, index, 0);
        SendMessageW(form->hwnd(), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(form->lstVoices.hwnd()), LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(form->lstVoices.hwnd()));
    }

    void ShowActive() const {
        ShowWindow(form->hwnd(), SW_SHOW);
        ASSERT_TRUE(SwitchTo(form->hwnd(), [&] { return IsChild(form->hwnd(), GetFocus()); }));
    }

    // A key message for the focused control, passed on as the program's message loop does.
    static constexpr LPARAM AltDown = 1 | (1 << 29);
    void key(UINT message, WPARAM vk, LPARAM flags = 1) const {
        MSG msg{GetFocus(), message, vk, flags, GetTickCount(), {}};
        if (!IsDialogMessageW(form->hwnd(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        PumpMessages();
    }

    ScratchKey tokens{L"Software\\SAPI5Quillfen.Tests\\Window"};
    std::unique_ptr<frmQuillfen> form;
};
