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

// Asks for a change of the window manager's until `done` has held for 200 ms, asking again whenever it
// does not hold. The window manager confirms each request in its own time, later still when the machine
// is busy, and Wine takes a late confirmation of an earlier request (an activation, a minimize) as a new
// one: so the request is repeated until the state settles, as a user would repeat it.
template <typename Ask, typename Done>
bool Settle(Ask ask, Done done) {
    for (DWORD start = GetTickCount(), held = 0; GetTickCount() - start < 5000; Sleep(10)) {
        if (!done()) {
            ask();
        }
        PumpMessages();
        held = done() ? held + 1 : 0;
        if (held == 20) {
            return true;
        }
    }
    return false;
}

// Switches to `window`, until it is the foreground window and `arrived` holds.
template <typename Arrived>
bool SwitchTo(HWND window, Arrived arrived) {
    return Settle([&] { SetForegroundWindow(window); },
                  [&] { return GetForegroundWindow() == window && arrived(); });
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

    ScratchKey tokens{L"Software\\SAPI5Quillfen.Tests.Window"};
    std::unique_ptr<frmQuillfen> form;
};
