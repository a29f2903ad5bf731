#include "window_fixture.h"

#include <oleacc.h>

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

namespace {

class DeleteCommandTest : public VoiceWindowTest {
  protected:
    void Press() const { SendMessageW(form->cmdDelete.hwnd(), BM_CLICK, 0, 0); }

    // One voice, the window active, the voice chosen and the focus moved on to Delete by Tab.
    frmQuillfen& OpenWithDeleteFocused() {
        tokens.Create(L"Anna");
        frmQuillfen& window = Open();
        ShowActive();
        key(WM_KEYDOWN, VK_DOWN);
        key(WM_KEYDOWN, VK_TAB);
        return window;
    }
};

TEST_F(DeleteCommandTest, SelectingAProtectedEntryDisablesDeleteAndAnotherEnablesIt) {
    for (const wchar_t* name : {L"Anna", L"MSSam", L"Zira"}) {
        tokens.Create(name);
    }
    frmQuillfen& window = Open();

    Select(1);
    EXPECT_FALSE(window.cmdDelete.Enabled());
    Select(0);
    EXPECT_TRUE(window.cmdDelete.Enabled());
    Select(1);
    EXPECT_FALSE(window.cmdDelete.Enabled());
    Select(2);
    EXPECT_TRUE(window.cmdDelete.Enabled());
}

TEST_F(DeleteCommandTest, DeleteWithNothingSelectedOrAnEmptyListChangesNothing) {
    tokens.SetString(L"Anna\\Attributes", L"Name", L"Anna");
    tokens.Create(L"Zira");
    const std::wstring before = tokens.Dump();
    frmQuillfen& window = Open();
    window.cmdDelete.Enabled(true);

    Press();
    EXPECT_EQ(Entries(), (Texts{L"Anna", L"Zira"}));
    EXPECT_EQ(tokens.Dump(), before);

    window.lstVoices.Clear();
    Press();
    EXPECT_EQ(tokens.Dump(), before);
}

TEST_F(DeleteCommandTest, DeletingTheThirdOfFiveRemovesThatTokenAndClosesTheGap) {
    for (const wchar_t* name : {L"Voice 0", L"Voice 1", L"Voice 2", L"Voice 3", L"Voice 4"}) {
        tokens.SetString(std::wstring(name) + L"\\Attributes", L"Name", name);
    }
    tokens.SetDword(L"Voice 2\\Attributes\\Deep", L"Level", 2);
    const std::wstring before = tokens.Dump();
    frmQuillfen& window = Open();

    Select(2);
    ASSERT_TRUE(window.cmdDelete.Enabled());
    Press();

    EXPECT_EQ(Entries(), (Texts{L"Voice 0", L"Voice 1", L"Voice 3", L"Voice 4"}));
    EXPECT_EQ(window.lstVoices.ListIndex(), -1);
    EXPECT_FALSE(tokens.Exists(L"Voice 2"));
    EXPECT_EQ(tokens.Dump(), WithoutTree(before, L"Voice 2"));
    EXPECT_EQ(EnumSubKeys(HKEY_CURRENT_USER, tokens.path()).size(), 4u);

    Press();  // nothing is selected now
    EXPECT_EQ(window.lstVoices.ListCount(), 4);

    // The entries and the names kept for them still go together: the third entry is now Voice 3.
    Select(2);
    Press();
    EXPECT_EQ(Entries(), (Texts{L"Voice 0", L"Voice 1", L"Voice 4"}));
    EXPECT_EQ(tokens.Dump(), WithoutTree(WithoutTree(before, L"Voice 2"), L"Voice 3"));
}

TEST_F(DeleteCommandTest, DeletesATokenWithANonLatinName) {
    const std::wstring name = L"\u97f3\u58f0 \u041c\u0438\u0440\u043e\u043d";
    tokens.SetString(name + L"\\Attributes", L"Language", L"419");
    tokens.Create(L"Anna");
    Open();

    Select(1);
    ASSERT_EQ(form->lstVoices.List(1), name);
    Press();

    EXPECT_EQ(Entries(), (Texts{L"Anna"}));
    EXPECT_FALSE(tokens.Exists(name));
}

// A key name is a counted string: a NUL in it is shown, and the entry deletes its own token, never the
// voice named by the part before the NUL.
TEST_F(DeleteCommandTest, NameHoldingANulIsShownAsSuchAndDeletesExactlyItsOwnToken) {
    const std::wstring annaBert(L"Anna\0Bert", 9);
    tokens.SetString(L"Anna", L"CLSID", L"{00000000-0000-0000-0000-000000000001}");
    tokens.SetString(L"Anna\\Attributes", L"Gender", L"Female");
    tokens.SetString(annaBert + L"\\Attributes", L"Gender", L"Male");
    tokens.Create(std::wstring(L"MSSam\0", 6));
    const std::wstring before = tokens.Dump();
    Open();
    Texts entries = Entries();
    const auto position = std::find(entries.begin(), entries.end(), L"Anna\\0Bert") - entries.begin();
    std::sort(entries.begin(), entries.end());
    ASSERT_EQ(entries, (Texts{L"Anna", L"Anna\\0Bert", L"MSSam\\0 (Cannot be deleted)"}));

    Select(static_cast<int>(position));
    Press();

    EXPECT_FALSE(tokens.Exists(annaBert));
    EXPECT_EQ(tokens.Dump(), WithoutTree(before, annaBert));
    entries = Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (Texts{L"Anna", L"MSSam\\0 (Cannot be deleted)"}));
}

TEST_F(DeleteCommandTest, ProtectedEntryIsRefusedEvenWithTheButtonEnabled) {
    tokens.SetString(L"MSSam\\Attributes", L"Name", L"Sam");
    frmQuillfen& window = Open();

    Select(0);
    window.cmdDelete.Enabled(true);
    Press();

    EXPECT_TRUE(tokens.Exists(L"MSSam\\Attributes"));
    EXPECT_EQ(Entries(), (Texts{L"MSSam (Cannot be deleted)"}));
}

TEST_F(DeleteCommandTest, TokenThatCannotBeDeletedStaysListedAndSelected) {
    tokens.SetString(L"Anna\\Attributes", L"Name", L"Anna");
    tokens.Create(L"Zira");
    frmQuillfen& window = Open();
    KeyLock locked(tokens, L"Anna\\Attributes");

    Select(0);
    Press();

    EXPECT_EQ(Entries(), (Texts{L"Anna", L"Zira"}));
    EXPECT_EQ(window.lstVoices.ListIndex(), 0);
    EXPECT_TRUE(tokens.Exists(L"Anna"));
}

TEST_F(DeleteCommandTest, TokenThatIsALinkLeavesTheListAndItsTargetStays) {
    tokens.SetString(L"Zira\\Attributes", L"Name", L"Zira");
    tokens.Link(L"Alias", tokens.NativeName(L"Zira"));
    const std::wstring before = tokens.Dump();
    frmQuillfen& window = Open();
    ASSERT_EQ(Entries(), (Texts{L"Alias", L"Zira"}));

    Select(0);
    Press();

    EXPECT_EQ(Entries(), (Texts{L"Zira"}));
    EXPECT_EQ(window.lstVoices.ListIndex(), -1);
    EXPECT_FALSE(tokens.Exists(L"Alias"));
    EXPECT_EQ(tokens.Dump(), WithoutTree(before, L"Alias"));
}

// As in any dialog: reached by Tab, the Delete button becomes the default, and Enter or Space presses
// it; Enter in the list, before or after, deletes nothing.
TEST_F(DeleteCommandTest, EnterPressesOnlyTheFocusedDeleteButton) {
    for (const wchar_t* name : {L"Anna", L"Bert", L"Zira"}) {
        tokens.Create(name);
    }
    frmQuillfen& window = Open();
    ShowActive();
    const auto press = [&](WPARAM vk) {
        key(WM_KEYDOWN, vk);
        key(WM_KEYUP, vk);
    };
    ASSERT_EQ(GetFocus(), window.lstVoices.hwnd());
    press(VK_DOWN);
    ASSERT_EQ(window.lstVoices.ListIndex(), 0);

    press(VK_RETURN);
    EXPECT_EQ(Entries(), (Texts{L"Anna", L"Bert", L"Zira"}));

    press(VK_TAB);
    ASSERT_EQ(GetFocus(), window.cmdDelete.hwnd());
    press(VK_RETURN);
    EXPECT_EQ(Entries(), (Texts{L"Bert", L"Zira"}));
    EXPECT_FALSE(tokens.Exists(L"Anna"));

    press(VK_TAB);
    ASSERT_EQ(GetFocus(), window.lstVoices.hwnd());
    press(VK_DOWN);
    ASSERT_EQ(window.lstVoices.ListIndex(), 0);
    press(VK_RETURN);
    EXPECT_EQ(Entries(), (Texts{L"Bert", L"Zira"}));
    EXPECT_TRUE(tokens.Exists(L"Bert"));

    press(VK_TAB);
    press(VK_SPACE);
    EXPECT_EQ(Entries(), (Texts{L"Zira"}));
}

// Alt+Tab away and back: the keyboard focus returns to the control the user left.
TEST_F(DeleteCommandTest, FocusReturnsToTheControlTheUserLeft) {
    frmQuillfen& window = OpenWithDeleteFocused();
    ASSERT_EQ(GetFocus(), window.cmdDelete.hwnd());

    unique_hwnd other(CreateWindowExW(0, L"STATIC", L"Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                      0, 300, 200, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(SwitchTo(other.get(), [&] { return GetFocus() == other.get(); }));
    other.reset();

    EXPECT_TRUE(SwitchTo(window.hwnd(), [&] { return GetFocus() == window.cmdDelete.hwnd(); }))
        << "the focus is on " << GetDlgCtrlID(GetFocus());
}

// The window itself given the focus (as some restores and other programs do) hands it on: to the list
// when nothing was used yet, else to the control the user last used.
TEST_F(DeleteCommandTest, FocusGivenToTheWindowItselfGoesOnToTheListOrTheControlLastUsed) {
    tokens.Create(L"Anna");
    frmQuillfen& window = Open();
    ShowActive();
    SetFocus(window.hwnd());
    EXPECT_EQ(GetFocus(), window.lstVoices.hwnd());

    key(WM_KEYDOWN, VK_DOWN);
    key(WM_KEYDOWN, VK_TAB);
    ASSERT_EQ(GetFocus(), window.cmdDelete.hwnd());
    SetFocus(window.hwnd());
    EXPECT_EQ(GetFocus(), window.cmdDelete.hwnd()) << "the focus is on " << GetDlgCtrlID(GetFocus());
}

// Recorded as it arrives: the focus may be gone before the window hears it is deactivated.
TEST_F(DeleteCommandTest, FocusThatLeftBeforeTheDeactivationStillComesBack) {
    frmQuillfen& window = OpenWithDeleteFocused();
    ASSERT_EQ(GetFocus(), window.cmdDelete.hwnd());

    SetFocus(nullptr);
    SendMessageW(window.hwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    SendMessageW(window.hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);

    EXPECT_EQ(GetFocus(), window.cmdDelete.hwnd()) << "the focus is on " << GetDlgCtrlID(GetFocus());
}

}  // namespace

namespace {

TEST_F(VoiceWindowTest, AltVFocusesTheListAndArrowKeysApplyTheSelectionRule) {
    for (const wchar_t* name : {L"Anna", L"MSSam", L"Zira"}) {
        tokens.Create(name);
    }
    frmQuillfen& window = Open();
    ShowActive();
    Select(0);
    SetFocus(window.cmdDelete.hwnd());
    ASSERT_EQ(GetFocus(), window.cmdDelete.hwnd());

    key(WM_SYSKEYDOWN, 'V', AltDown);
    key(WM_SYSCHAR, 'v', AltDown);
    key(WM_KEYUP, 'V');
    EXPECT_EQ(GetFocus(), window.lstVoices.hwnd());

    key(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(window.lstVoices.ListIndex(), 1);
    EXPECT_FALSE(window.cmdDelete.Enabled());
    key(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(window.lstVoices.ListIndex(), 2);
    EXPECT_TRUE(window.cmdDelete.Enabled());

    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), window.cmdDelete.hwnd());
    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), window.lstVoices.hwnd());
}

// Windows takes the list's name from the label before it; this Wine takes it from the list's own text.
TEST_F(VoiceWindowTest, ScreenReadersHearTheListCalledVoices) {
    frmQuillfen& window = Open();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    IAccessible* accessible = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(window.lstVoices.hwnd(), static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), reinterpret_cast<void**>(&accessible)),
              S_OK);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
    EXPECT_STREQ(name, L"Voices");
    SysFreeString(name);
    accessible->Release();
    CoUninitialize();
}

}  // namespace
