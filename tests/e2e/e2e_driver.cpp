// The end-to-end test's hands, under Wine and on Windows: seeds and dumps voice tokens of its own, reads
// the running program's window from outside (list box messages, MSAA, the screen), asks the speech
// platform for its voices, and gives real mouse and key input. One command a run; results go to stdout
// as JSON in UTF-8. It deletes nothing but the tokens it seeded, which all bear SeedPrefix, except in
// the "missing" command, which only Wine's throwaway prefix allows.
#include "modRegistry.h"
#include "scratch_key.h"
#include "unique_handle.h"

#include <windows.h>
#include <oleacc.h>
#include <sapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr wchar_t TokensPath[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
// Keys outside the voice-token key that seeded links point to.
constexpr wchar_t OutsidePath[] = L"SOFTWARE\\SAPI5Quillfen.Tests.E2E";
constexpr wchar_t SeedPrefix[] = L"Quillfen e2e ";
constexpr wchar_t WindowClass[] = L"SAPI5Quillfen.frmQuillfen";

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool IsWine() {
    return SystemFunction<const char*(__cdecl*)()>(L"ntdll.dll", "wine_get_version") != nullptr;
}

// A 32-bit process on 64-bit Windows, which reads the 32-bit view of HKEY_LOCAL_MACHINE\SOFTWARE.
bool IsWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The voice-token key of one registry view (0: the process's own), made if missing.
unique_hkey CreateTokens(REGSAM view) {
    unique_hkey tokens;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, TokensPath, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                    tokens.put(), nullptr);
    return tokens;
}

// A token with a description and a chain of `depth` sub-keys, each with values, every key made in the
// view `view`; false when any part was refused.
bool CreateToken(HKEY tokens, const std::wstring& name, int depth, const std::wstring& description,
                 REGSAM view = 0) {
    unique_hkey key = CreateSubKeyExactly(tokens, name, KEY_ALL_ACCESS | view);
    bool made = key && SetString(key.get(), nullptr, description) &&
                SetString(key.get(), L"CLSID", L"{00000000-0000-0000-0000-000000000000}");
    for (int level = 0; made && level < depth; ++level) {
        key = CreateSubKeyExactly(key.get(), level == 0 ? L"Attributes" : L"Level" + std::to_wstring(level),
                                  KEY_ALL_ACCESS | view);
        const DWORD number = static_cast<DWORD>(level);
        made = key && SetString(key.get(), L"Name", name) &&
               RegSetValueExW(key.get(), L"Level", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                              sizeof number) == ERROR_SUCCESS;
    }
    return made;
}

// The names of the seeded tokens in one view's voice-token key.
std::vector<std::wstring> SeededTokens(REGSAM view) {
    unique_hkey tokens;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, TokensPath, 0, KEY_READ | view, tokens.put());
    std::vector<std::wstring> seeded =
        tokens ? EnumOpenKeySubKeys(tokens.get(), 0, 0) : std::vector<std::wstring>{};
    std::erase_if(seeded, [](const std::wstring& name) { return !name.starts_with(SeedPrefix); });
    return seeded;
}

// Deletes every token bearing SeedPrefix, in both views, the way the program deletes (links as
// themselves), and the keys outside that links point to, with the test's parent key once it is empty.
// Nothing else. Every step runs whatever the one before did; false, said on stderr, when anything of
// the seeding is left.
bool Unseed() {
    for (const std::wstring& name : SeededTokens(0)) {
        DeleteSubKeyTree(HKEY_LOCAL_MACHINE, TokensPath, name);
    }
    // The other view's tokens, which a 32-bit build's seeding makes, are reached in that view only.
    if (IsWow64()) {
        unique_hkey tokens;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, TokensPath, 0, KEY_READ | KEY_WOW64_64KEY, tokens.put());
        for (const std::wstring& name : SeededTokens(KEY_WOW64_64KEY)) {
            DeleteTreeInView(tokens.get(), name, KEY_WOW64_64KEY);
        }
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, OutsidePath);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, OutsidePath);

    bool clean = true;
    for (const REGSAM view : {REGSAM{0}, REGSAM{KEY_WOW64_64KEY}}) {
        for (const std::wstring& name : SeededTokens(view)) {
            fprintf(stderr, "e2e_driver: unseed: the seeded token %s is still there%s\n", Json(name).c_str(),
                    view ? " in the 64-bit view" : "");
            clean = false;
        }
    }
    unique_hkey outside;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, OutsidePath, 0, KEY_READ, outside.put()) == ERROR_SUCCESS) {
        fprintf(stderr, "e2e_driver: unseed: HKLM\\%ls is still there\n", OutsidePath);
        clean = false;
    }
    return clean;
}

// Whether parent\\name, in the view `view`, is a registry link that leads to the key named `target`.
bool IsLinkTo(HKEY parent, const std::wstring& name, const std::wstring& target, REGSAM view = 0) {
    unique_hkey itself, followed;
    return OpenSubKeyAsItself(parent, name, KEY_QUERY_VALUE | view, itself.put()) == ERROR_SUCCESS &&
           IsLinkKey(itself.get()) &&
           RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | view, followed.put()) == ERROR_SUCCESS &&
           NativeKeyName(followed.get()) == target;
}

// Says on stderr what the seeding did not make as asked; the caller then fails.
bool Made(bool made, const std::wstring& what) {
    if (!made) {
        fprintf(stderr, "e2e_driver: seed: %s was not made as asked (last error %lu)\n", Json(what).c_str(),
                GetLastError());
    }
    return made;
}

int Seed(const std::wstring& kind, int count) {
    if (!Unseed()) {
        return 1;
    }
    const unique_hkey tokens = CreateTokens(0);
    if (!Made(static_cast<bool>(tokens), L"the voice-token key")) {
        return 1;
    }
    if (kind == L"many") {
        for (int i = 0; i < count; ++i) {
            wchar_t number[16];
            swprintf(number, 16, L"%05d", i);
            const std::wstring name = SeedPrefix + std::wstring(L"Voice ") + number;
            if (!Made(CreateToken(tokens.get(), name, 1, name + L" - voice"), name)) {
                return 1;
            }
        }
        return Made(SeededTokens(0).size() == static_cast<size_t>(count), L"every one of the many tokens")
                   ? 0
                   : 1;
    }
    for (const wchar_t* voice :
         {L"Anna", L"Bert", L"MSSam", L"Zora", L"\u041a\u0430\u0440\u0438\u043d\u0430"}) {
        const std::wstring name = SeedPrefix + std::wstring(voice);
        if (!Made(CreateToken(tokens.get(), name, 3, name + L" - voice"), name)) {
            return 1;
        }
    }
    // A token that is a link to a key outside, and one holding such a link: each is deleted as the link
    // it is, and what they point to stays.
    unique_hkey outside;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, OutsidePath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, outside.put(),
                    nullptr);
    const unique_hkey target = CreateSubKeyExactly(outside.get(), L"Target", KEY_ALL_ACCESS);
    const unique_hkey inner = CreateSubKeyExactly(outside.get(), L"Inner", KEY_ALL_ACCESS);
    if (!Made(target && inner && SetString(target.get(), nullptr, L"Linked target - keep") &&
                  SetString(inner.get(), L"Name", L"keep") &&
                  SetString(CreateSubKeyExactly(inner.get(), L"Deeper", KEY_ALL_ACCESS).get(), L"Name",
                            L"keep"),
              OutsidePath)) {
        return 1;
    }
    const std::wstring link = SeedPrefix + std::wstring(L"Link");
    CreateLinkKey(tokens.get(), link, NativeKeyName(target.get()));
    const std::wstring holder = SeedPrefix + std::wstring(L"Holder");
    const unique_hkey holderKey = CreateToken(tokens.get(), holder, 0, holder + L" - voice")
                                      ? CreateSubKeyExactly(tokens.get(), holder, KEY_ALL_ACCESS)
                                      : unique_hkey{};
    if (holderKey) {
        CreateLinkKey(holderKey.get(), L"Attributes", NativeKeyName(inner.get()));
    }
    if (!Made(IsLinkTo(tokens.get(), link, NativeKeyName(target.get())),
              link + L", a link to the key outside") ||
        !Made(holderKey && IsLinkTo(holderKey.get(), L"Attributes", NativeKeyName(inner.get())),
              holder + L"\\Attributes, a link to the key outside")) {
        return 1;
    }
    // A 32-bit program on 64-bit Windows lists and deletes its own view only: the other view gets a
    // token of a listed name and one of its own, made and checked in that view.
    if (IsWow64()) {
        const unique_hkey other = CreateTokens(KEY_WOW64_64KEY);
        const std::wstring bert = SeedPrefix + std::wstring(L"Bert"),
                           only = SeedPrefix + std::wstring(L"64-bit view only");
        const bool made = other &&
                          CreateToken(other.get(), bert, 1, L"the 64-bit view's Bert", KEY_WOW64_64KEY) &&
                          CreateToken(other.get(), only, 1, L"64-bit only", KEY_WOW64_64KEY);
        const std::vector<std::wstring> own = SeededTokens(0);
        std::vector<std::wstring> there = SeededTokens(KEY_WOW64_64KEY);
        std::sort(there.begin(), there.end());
        if (!Made(made && there == std::vector<std::wstring>{only, bert} &&
                      std::find(own.begin(), own.end(), only) == own.end(),
                  L"the 64-bit view's tokens, in that view only")) {
            return 1;
        }
    }
    return 0;
}

// No voice-token key at all. Only in Wine's throwaway prefix: on Windows the machine's own voices live there.
int Missing() {
    if (!IsWine()) {
        fprintf(stderr, "e2e_driver: \"missing\" deletes every voice, so it runs only under Wine\n");
        return 3;
    }
    if (!Unseed()) {
        return 1;
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, TokensPath);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, TokensPath);
    return 0;
}

// The voice-token key ("tokens") or the keys outside it ("outside"), of the own or the 64-bit view.
int Dump(const std::wstring& which, REGSAM view) {
    std::vector<std::wstring> lines;
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, which == L"outside" ? OutsidePath : TokensPath, 0, KEY_READ | view,
                      key.put()) == ERROR_SUCCESS) {
        DumpRegistryTree(key.get(), L"", lines, view);
    }
    std::string out = "[";
    for (size_t i = 0; i < lines.size(); ++i) {
        out += i ? "," : "";
        out += Json(lines[i]);
    }
    printf("%s]\n", out.c_str());
    return 0;
}

int Info() {
    printf("{\"wine\": %s, \"wow64\": %s, \"prefix\": %s}\n", IsWine() ? "true" : "false",
           IsWow64() ? "true" : "false", Json(SeedPrefix).c_str());
    return 0;
}

HWND FindProgramWindow() {
    HWND window = FindWindowW(WindowClass, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

int WaitWindow(DWORD timeoutMs) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20)) {
        if (HWND window = FindProgramWindow()) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            printf("{\"pid\": %lu}\n", pid);
            return 0;
        }
    }
    printf("{\"error\": \"no window\"}\n");
    return 1;
}

struct Controls {
    HWND form = nullptr, label = nullptr, list = nullptr, button = nullptr;
};

bool FindControls(Controls& controls) {
    controls.form = FindProgramWindow();
    if (!controls.form) {
        return false;
    }
    controls.label = GetWindow(controls.form, GW_CHILD);
    controls.list = controls.label ? GetWindow(controls.label, GW_HWNDNEXT) : nullptr;
    controls.button = controls.list ? GetWindow(controls.list, GW_HWNDNEXT) : nullptr;
    return controls.button != nullptr;
}

std::string Rect(HWND form, HWND control) {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&bounds), 2);
    char out[96];
    snprintf(out, sizeof out, "[%ld, %ld, %ld, %ld]", bounds.left, bounds.top, bounds.right - bounds.left,
             bounds.bottom - bounds.top);
    return out;
}

// The text of one list entry, or nothing for LB_ERR.
std::wstring ListText(HWND list, LRESULT index) {
    if (index == LB_ERR) {
        return {};
    }
    std::wstring text(SendMessageW(list, LB_GETTEXTLEN, index, 0) + 1, L'\0');
    text.resize(SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data())));
    return text;
}

int State() {
    Controls c;
    if (!FindControls(c)) {
        printf("{\"error\": \"no window\"}\n");
        return 1;
    }
    const auto count = static_cast<int>(SendMessageW(c.list, LB_GETCOUNT, 0, 0));
    std::string entries = "[";
    for (int i = 0; i < count; ++i) {
        entries += i ? "," : "";
        entries += Json(ListText(c.list, i));
    }
    entries += "]";
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(c.form, nullptr), &thread);
    const char* focus = thread.hwndFocus == c.list     ? "list"
                        : thread.hwndFocus == c.button ? "button"
                        : thread.hwndFocus == c.form   ? "form"
                                                       : (thread.hwndFocus ? "other" : "none");
    RECT client{};
    GetClientRect(c.form, &client);
    POINT origin{};
    ClientToScreen(c.form, &origin);
    printf(
        "{\"entries\": %s, \"selected\": %d, \"deleteEnabled\": %s, \"focus\": \"%s\", \"client\": [%ld, "
        "%ld], \"origin\": [%ld, %ld], "
        "\"minimized\": %s, \"label\": %s, \"list\": %s, \"button\": %s}\n",
        entries.c_str(), static_cast<int>(SendMessageW(c.list, LB_GETCURSEL, 0, 0)),
        IsWindowEnabled(c.button) ? "true" : "false", focus, client.right, client.bottom, origin.x, origin.y,
        IsIconic(c.form) ? "true" : "false", Rect(c.form, c.label).c_str(), Rect(c.form, c.list).c_str(),
        Rect(c.form, c.button).c_str());
    return 0;
}

// What lies at a point of the screen, for saying where a click would have gone instead.
std::string Describe(HWND window) {
    if (!window) {
        return "nothing";
    }
    wchar_t className[128] = L"", title[128] = L"";
    GetClassNameW(window, className, 128);
    GetWindowTextW(window, title, 128);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return "a window of class " + Json(className) + " titled " + Json(title) + " of process " +
           std::to_string(pid);
}

// A real left click at a point of the screen, through the system's input queue, but only when the control
// meant is what lies there: another window in front (a console, a dialog) would take it instead.
bool ClickOn(HWND control, POINT point) {
    HWND there = WindowFromPoint(point);
    // WindowFromPoint passes over a disabled control to its parent; the parent's child there is the one.
    POINT inside = point;
    if (there && ScreenToClient(there, &inside)) {
        if (HWND child = ChildWindowFromPointEx(there, inside, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT)) {
            there = child;
        }
    }
    if (there != control) {
        fprintf(stderr, "e2e_driver: not clicking at (%ld, %ld): %s lies there, not the control meant (%s)\n",
                point.x, point.y, Describe(there).c_str(), Describe(control).c_str());
        return false;
    }
    const double width = GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1;
    const double height = GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1;
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = static_cast<LONG>((point.x - GetSystemMetrics(SM_XVIRTUALSCREEN)) * 65535.0 / width);
        input.mi.dy = static_cast<LONG>((point.y - GetSystemMetrics(SM_YVIRTUALSCREEN)) * 65535.0 / height);
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    }
    inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    SendInput(1, &inputs[0], sizeof(INPUT));
    Sleep(50);
    SendInput(2, &inputs[1], sizeof(INPUT));
    Sleep(200);
    return true;
}

int ClickEntry(int index) {
    Controls c;
    if (!FindControls(c)) {
        return 1;
    }
    const auto height = static_cast<int>(SendMessageW(c.list, LB_GETITEMHEIGHT, 0, 0));
    RECT inside{};
    GetClientRect(c.list, &inside);
    // An entry scrolled out of sight is first scrolled to, as a user would before clicking it.
    auto top = static_cast<int>(SendMessageW(c.list, LB_GETTOPINDEX, 0, 0));
    if (height > 0 && (index < top || (index - top + 1) * height > inside.bottom)) {
        SendMessageW(c.list, LB_SETTOPINDEX, index, 0);
        top = static_cast<int>(SendMessageW(c.list, LB_GETTOPINDEX, 0, 0));
    }
    POINT point{20, (index - top) * height + height / 2};
    ClientToScreen(c.list, &point);
    return ClickOn(c.list, point) ? 0 : 1;
}

// Clicks Delete, but only while the entry selected is `expected` (when given): on Windows the list also
// holds the machine's own voices, which a click gone astray must never delete.
int ClickDelete(const std::wstring& expected) {
    Controls c;
    if (!FindControls(c)) {
        return 1;
    }
    if (!expected.empty()) {
        const std::wstring text = ListText(c.list, SendMessageW(c.list, LB_GETCURSEL, 0, 0));
        if (text != expected) {
            fprintf(stderr, "e2e_driver: the entry selected is %s, not the one to delete\n",
                    Json(text).c_str());
            return 1;
        }
    }
    RECT bounds{};
    GetWindowRect(c.button, &bounds);
    return ClickOn(c.button, {(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2}) ? 0 : 1;
}

INPUT KeyInput(WORD key, bool extended, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    return input;
}

// Brings the program's window to the front. Windows gives the foreground only to the process that had
// the last input, so a tap of a key comes first: one with no meaning, which no window acts on, where Alt
// would put the window in front (a console, say) into menu mode and so keep the foreground from moving.
int Activate() {
    constexpr WORD UnassignedKey = 0xE8;
    HWND form = FindProgramWindow();
    for (const DWORD start = GetTickCount(); form && GetTickCount() - start < 5000; Sleep(100)) {
        if (GetForegroundWindow() == form) {
            return 0;
        }
        INPUT tap[2] = {KeyInput(UnassignedKey, false, false), KeyInput(UnassignedKey, false, true)};
        SendInput(2, tap, sizeof(INPUT));
        SetForegroundWindow(form);
    }
    fprintf(stderr, "e2e_driver: the program's window did not come to the front\n");
    return 1;
}

// Presses keys such as "alt+v", "Down" or "alt+F4" as real input, each in turn, while the program's
// window is in front: keys meant for it never reach another window.
int Keys(int count, wchar_t** chords) {
    struct Named {
        const wchar_t* name;
        WORD key;
        bool extended;
    };
    static constexpr Named named[] = {
        {L"alt", VK_MENU, false},    {L"ctrl", VK_CONTROL, false}, {L"shift", VK_SHIFT, false},
        {L"Down", VK_DOWN, true},    {L"Up", VK_UP, true},         {L"Home", VK_HOME, true},
        {L"End", VK_END, true},      {L"Tab", VK_TAB, false},      {L"Return", VK_RETURN, false},
        {L"space", VK_SPACE, false}, {L"F4", VK_F4, false}};
    for (int i = 0; i < count; ++i) {
        if (GetForegroundWindow() != FindProgramWindow() || !FindProgramWindow()) {
            fprintf(stderr, "e2e_driver: the program's window is not in front\n");
            return 1;
        }
        std::vector<INPUT> downs;
        const std::wstring chord = chords[i];
        for (size_t start = 0; start <= chord.size();) {
            const size_t end = std::min(chord.find(L'+', start), chord.size());
            const std::wstring part = chord.substr(start, end - start);
            start = end + 1;
            const auto found = std::find_if(std::begin(named), std::end(named),
                                            [&](const Named& key) { return part == key.name; });
            if (found != std::end(named)) {
                downs.push_back(KeyInput(found->key, found->extended, false));
            } else if (part.size() == 1 && iswalnum(part[0])) {
                downs.push_back(KeyInput(static_cast<WORD>(towupper(part[0])), false, false));
            } else {
                fprintf(stderr, "e2e_driver: no such key %s\n", Json(part).c_str());
                return 2;
            }
        }
        std::vector<INPUT> inputs = downs;
        for (auto down = downs.rbegin(); down != downs.rend(); ++down) {
            inputs.push_back(KeyInput(down->ki.wVk, (down->ki.dwFlags & KEYEVENTF_EXTENDEDKEY) != 0, true));
        }
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        Sleep(100);
    }
    return 0;
}

// Gives the window that size (0: as it is) and moves it wholly onto the work area of its monitor, so
// that every point of it can be clicked and read off the screen.
int Place(int width, int height) {
    HWND form = FindProgramWindow();
    RECT bounds{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!form || !GetWindowRect(form, &bounds) ||
        !GetMonitorInfoW(MonitorFromWindow(form, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return 1;
    }
    const RECT& work = monitor.rcWork;
    const LONG across = std::min<LONG>(width ? width : bounds.right - bounds.left, work.right - work.left);
    const LONG down = std::min<LONG>(height ? height : bounds.bottom - bounds.top, work.bottom - work.top);
    const LONG left = std::clamp<LONG>(bounds.left, work.left, work.right - across);
    const LONG top = std::clamp<LONG>(bounds.top, work.top, work.bottom - down);
    if (!SetWindowPos(form, nullptr, left, top, across, down, SWP_NOZORDER | SWP_NOACTIVATE)) {
        return 1;
    }
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(50)) {
        if (GetWindowRect(form, &bounds) && bounds.left >= work.left && bounds.top >= work.top &&
            bounds.right <= work.right && bounds.bottom <= work.bottom) {
            return 0;
        }
    }
    fprintf(stderr, "e2e_driver: the window did not come wholly onto the screen\n");
    return 1;
}

using unique_hdc = unique_handle<HDC, &DeleteDC>;
using unique_hbitmap = unique_handle<HBITMAP, &DeleteObject>;

// The whole screen as a 24-bit BMP file, and where its top left corner is.
int Screenshot(const std::wstring& path) {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const unique_hdc screen(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    const unique_hdc memory(CreateCompatibleDC(screen.get()));
    const unique_hbitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    // BitBlt refuses a screen it may not read; its error is taken before another call can change it.
    const BOOL copied =
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), left, top, SRCCOPY | CAPTUREBLT);
    const DWORD error = copied ? ERROR_SUCCESS : GetLastError();
    SelectObject(memory.get(), previous);
    if (!copied) {
        fprintf(stderr, "e2e_driver: the screen could not be read: error %lu\n", error);
        return 1;
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<BYTE> pixels(static_cast<size_t>((width * 3 + 3) & ~3) * height);
    if (!GetDIBits(memory.get(), bitmap.get(), 0, height, pixels.data(), &info, DIB_RGB_COLORS)) {
        return 1;
    }
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(reinterpret_cast<const char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    out.close();  // a write that fails only as the file is closed fails the read too
    if (!out) {
        fprintf(stderr, "e2e_driver: the screen could not be written to the file\n");
        return 1;
    }
    printf("{\"left\": %d, \"top\": %d}\n", left, top);
    return 0;
}

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

using unique_bstr = unique_handle<BSTR, &SysFreeString>;
using unique_cotaskmem_string = unique_handle<LPWSTR, &CoTaskMemFree>;

// A control's name and role as a screen reader in another process reads them, through MSAA.
std::string AccessibleOf(HWND control) {
    Microsoft::WRL::ComPtr<IAccessible> object;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(object.GetAddressOf())))) {
        return "null";
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    unique_bstr name;
    object->get_accName(self, name.put());
    VARIANT role{};
    object->get_accRole(self, &role);
    const long roleNumber = role.vt == VT_I4 ? role.lVal : -1;
    VariantClear(&role);
    return "{\"name\": " + (name ? Json(name.get()) : std::string("null")) +
           ", \"role\": " + std::to_string(roleNumber) + "}";
}

int Accessible() {
    Controls c;
    if (!FindControls(c)) {
        return 1;
    }
    ComApartment com;
    const std::string list = AccessibleOf(c.list), button = AccessibleOf(c.button);
    printf("{\"list\": %s, \"button\": %s}\n", list.c_str(), button.c_str());
    return 0;
}

// The voices as the speech platform's own token enumeration finds them, each as [id, description].
int Voices() {
    ComApartment com;
    Microsoft::WRL::ComPtr<ISpObjectTokenCategory> category;
    Microsoft::WRL::ComPtr<IEnumSpObjectTokens> tokens;
    if (FAILED(CoCreateInstance(__uuidof(SpObjectTokenCategory), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(category.GetAddressOf()))) ||
        FAILED(category->SetId(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices", FALSE)) ||
        FAILED(category->EnumTokens(nullptr, nullptr, tokens.GetAddressOf()))) {
        printf("{\"error\": \"no token enumeration\"}\n");
        return 1;
    }
    std::string out = "[";
    Microsoft::WRL::ComPtr<ISpObjectToken> token;
    for (ULONG fetched = 0;
         tokens->Next(1, token.ReleaseAndGetAddressOf(), &fetched) == S_OK && fetched == 1;) {
        unique_cotaskmem_string id, description;
        token->GetId(id.put());
        token->GetStringValue(nullptr, description.put());
        out += out.size() > 1 ? ",[" : "[";
        out += id ? Json(id.get()) : "null";
        out += ", ";
        out += description ? Json(description.get()) : "null";
        out += "]";
    }
    printf("%s]\n", out.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const std::wstring argument = argc > 2 ? argv[2] : L"";
    const REGSAM view = argc > 3 && std::wstring(argv[3]) == L"64" ? KEY_WOW64_64KEY : 0;
    if (command == L"info") {
        return Info();
    }
    if (command == L"seed") {
        return Seed(argument, argc > 3 ? _wtoi(argv[3]) : 0);
    }
    if (command == L"unseed") {
        return Unseed() ? 0 : 1;
    }
    if (command == L"missing") {
        return Missing();
    }
    if (command == L"dump") {
        return Dump(argument, view);
    }
    if (command == L"voices") {
        return Voices();
    }
    if (command == L"wait-window") {
        return WaitWindow(argument.empty() ? 20000 : _wtoi(argument.c_str()));
    }
    if (command == L"state") {
        return State();
    }
    if (command == L"accessible") {
        return Accessible();
    }
    if (command == L"click-entry") {
        return ClickEntry(_wtoi(argument.c_str()));
    }
    if (command == L"click-delete") {
        return ClickDelete(argument);
    }
    if (command == L"activate") {
        return Activate();
    }
    if (command == L"keys") {
        return Keys(argc - 2, argv + 2);
    }
    if (command == L"place") {
        return Place(argc == 4 ? _wtoi(argv[2]) : 0, argc == 4 ? _wtoi(argv[3]) : 0);
    }
    if (command == L"screenshot" && argc == 3) {
        return Screenshot(argument);
    }
    fprintf(
        stderr,
        "usage: e2e_driver info | seed standard|many N | unseed | missing | dump tokens|outside [64] | "
        "voices | wait-window [ms] | state | accessible | click-entry N | click-delete [ENTRY] | activate | "
        "keys KEY... | place [W H] | screenshot FILE.bmp\n");
    return 2;
}
