#include "window_fixture.h"

#include <algorithm>

namespace {

using Texts = std::vector<std::wstring>;

TEST_F(VoiceWindowTest, ListsTokensInRegistryOrderMarkingTheProtectedOne) {
    for (const wchar_t* name : {L"Anna", L"MSSam", L"Zira"}) {
        tokens.Create(name);
    }
    tokens.SetString(L"MSSam\\Attributes", L"Name", L"Microsoft Sam");

    frmQuillfen& window = Open();

    EXPECT_EQ(Entries(), (Texts{L"Anna", L"MSSam (Cannot be deleted)", L"Zira"}));
    EXPECT_EQ(window.lstVoices.ListIndex(), -1);
    EXPECT_FALSE(window.cmdDelete.Enabled());
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));  // filled before it is first shown
}

TEST_F(VoiceWindowTest, MarksTheMarkerInAnyCaseAndAnywhereInTheName) {
    for (const wchar_t* name : {L"a-mssam", L"MS Sam", L"MSSa", L"mSsAm", L"XMSSamY", L"\u00c9loise MSSAM"}) {
        tokens.Create(name);
    }

    Open();

    EXPECT_EQ(Entries(),
              (Texts{L"a-mssam (Cannot be deleted)", L"MS Sam", L"MSSa", L"mSsAm (Cannot be deleted)",
                     L"XMSSamY (Cannot be deleted)", L"\u00c9loise MSSAM (Cannot be deleted)"}));
}

TEST_F(VoiceWindowTest, ListsNamesOutsideTheAnsiCodePageExactly) {
    const std::wstring greek = L"\u03a6\u03c9\u03bd\u03ae";
    const std::wstring outsideBmp = L"\U0001D4B1oice";
    tokens.Create(greek);
    tokens.Create(outsideBmp);

    Open();

    Texts entries = Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (Texts{greek, outsideBmp}));
}

TEST_F(VoiceWindowTest, MissingTokenKeyGivesAnEmptyListAndARunningWindow) {
    tokens.Remove(L"");

    frmQuillfen& window = Open();
    ShowWindow(window.hwnd(), SW_SHOW);
    PumpMessages();

    EXPECT_EQ(window.lstVoices.ListCount(), 0);
    EXPECT_FALSE(window.cmdDelete.Enabled());
    EXPECT_TRUE(IsWindow(window.hwnd()));
    EXPECT_TRUE(IsWindowVisible(window.hwnd()));
}

TEST_F(VoiceWindowTest, KeyboardFocusStartsInTheList) {
    tokens.Create(L"Anna");
    frmQuillfen& window = Open();

    ShowWindow(window.hwnd(), SW_SHOW);
    SetForegroundWindow(window.hwnd());
    PumpMessages();

    EXPECT_EQ(GetFocus(), window.lstVoices.hwnd());
    // Tab order is label, list, button; the disabled button is passed over until it is enabled.
    EXPECT_EQ(GetWindow(window.lblVoices.hwnd(), GW_HWNDNEXT), window.lstVoices.hwnd());
    EXPECT_EQ(GetWindow(window.lstVoices.hwnd(), GW_HWNDNEXT), window.cmdDelete.hwnd());
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), window.lstVoices.hwnd(), FALSE), window.lstVoices.hwnd());
    window.cmdDelete.Enabled(true);
    EXPECT_EQ(GetNextDlgTabItem(window.hwnd(), window.lstVoices.hwnd(), FALSE), window.cmdDelete.hwnd());
}

TEST_F(VoiceWindowTest, ClosingTheWindowEndsTheMessageLoop) {
    frmQuillfen& window = Open();
    ShowWindow(window.hwnd(), SW_SHOW);

    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);

    EXPECT_EQ(window.hwnd(), nullptr);
    MSG message{};
    EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The program itself reads the voice-token key of HKEY_LOCAL_MACHINE.
TEST(VoiceWindowDefaults, ReadsTheInstalledVoiceTokens) {
    ScratchKey installed(std::wstring(VoiceTokensKeyPath) + L"\\QuillfenProbe", HKEY_LOCAL_MACHINE);
    frmQuillfen window;
    ASSERT_TRUE(window.Create(GetModuleHandleW(nullptr)));

    bool found = false;
    for (int i = 0; i < window.lstVoices.ListCount(); ++i) {
        found = found || window.lstVoices.List(i) == L"QuillfenProbe";
    }
    EXPECT_TRUE(found);
}

}  // namespace
