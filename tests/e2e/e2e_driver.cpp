// The end-to-end test's hands inside Wine: seeds and dumps the voice-token key, reads the running
// program's window from outside through the list box messages, and clicks with real mouse input.
// One command a run; results go to stdout as JSON in UTF-8.
#include "registry_dump.h"
#include "unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr wchar_t TokensPath[] = L"SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens";
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

void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void CreateToken(const std::wstring& name, int depth) {
    std::wstring path = std::wstring(TokensPath) + L"\\" + name;
    unique_hkey token;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, token.put(),
                    nullptr);
    SetString(token.get(), nullptr, name + L" - voice");
    SetString(token.get(), L"CLSID", L"{00000000-0000-0000-0000-000000000000}");
    for (int level = 0; level < depth; ++level) {
        path += level == 0 ? L"\\Attributes" : L"\\Level" + std::to_wstring(level);
        unique_hkey sub;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.put(),
                        nullptr);
        SetString(sub.get(), L"Name", name);
        const DWORD number = level;
        RegSetValueExW(sub.get(), L"Level", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof number);
    }
}

int Seed(const std::wstring& kind, int count) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, TokensPath);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, TokensPath);
    if (kind == L"missing") {
        return 0;
    }
    if (kind == L"many") {
        for (int i = 0; i < count; ++i) {
            wchar_t name[32];
            swprintf(name, 32, L"Voice %05d", i);
            CreateToken(name, 1);
        }
        return 0;
    }
    for (const wchar_t* name :
         {L"Anna", L"Bert", L"MSSam", L"Zora", L"\u041a\u0430\u0440\u0438\u043d\u0430"}) {
        CreateToken(name, 3);
    }
    return 0;
}

int Dump() {
    std::vector<std::wstring> lines;
    unique_hkey tokens;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TokensPath, 0, KEY_READ, tokens.put()) == ERROR_SUCCESS) {
        DumpRegistryTree(tokens.get(), L"", lines);
    }
    std::string out = "[";
    for (size_t i = 0; i < lines.size(); ++i) {
        out += i ? "," : "";
        out += Json(lines[i]);
    }
    printf("%s]\n", out.c_str());
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

int State() {
    Controls c;
    if (!FindControls(c)) {
        printf("{\"error\": \"no window\"}\n");
        return 1;
    }
    const auto count = static_cast<int>(SendMessageW(c.list, LB_GETCOUNT, 0, 0));
    std::string entries = "[";
    for (int i = 0; i < count; ++i) {
        const auto length = SendMessageW(c.list, LB_GETTEXTLEN, i, 0);
        std::wstring text(length + 1, L'\0');
        text.resize(SendMessageW(c.list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data())));
        entries += i ? "," : "";
        entries += Json(text);
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
    printf(
        "{\"entries\": %s, \"selected\": %d, \"deleteEnabled\": %s, \"focus\": \"%s\", \"client\": [%ld, "
        "%ld], "
        "\"minimized\": %s, \"label\": %s, \"list\": %s, \"button\": %s}\n",
        entries.c_str(), static_cast<int>(SendMessageW(c.list, LB_GETCURSEL, 0, 0)),
        IsWindowEnabled(c.button) ? "true" : "false", focus, client.right, client.bottom,
        IsIconic(c.form) ? "true" : "false", Rect(c.form, c.label).c_str(), Rect(c.form, c.list).c_str(),
        Rect(c.form, c.button).c_str());
    return 0;
}

// A real left click at a point of the screen, through the system's input queue.
void ClickAt(POINT point) {
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
}

int ClickEntry(int index) {
    Controls c;
    if (!FindControls(c)) {
        return 1;
    }
    const auto top = static_cast<int>(SendMessageW(c.list, LB_GETTOPINDEX, 0, 0));
    const auto height = static_cast<int>(SendMessageW(c.list, LB_GETITEMHEIGHT, 0, 0));
    POINT point{20, (index - top) * height + height / 2};
    ClientToScreen(c.list, &point);
    ClickAt(point);
    return 0;
}

int ClickDelete() {
    Controls c;
    if (!FindControls(c)) {
        return 1;
    }
    RECT bounds{};
    GetWindowRect(c.button, &bounds);
    ClickAt({(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2});
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const std::wstring argument = argc > 2 ? argv[2] : L"";
    if (command == L"seed") {
        return Seed(argument, argc > 3 ? _wtoi(argv[3]) : 0);
    }
    if (command == L"dump") {
        return Dump();
    }
    if (command == L"wait-window") {
        return WaitWindow(argument.empty() ? 20000 : _wtoi(argument.c_str()));
    }
    if (command == L"state") {
        return State();
    }
    if (command == L"click-entry") {
        return ClickEntry(_wtoi(argument.c_str()));
    }
    if (command == L"click-delete") {
        return ClickDelete();
    }
    fprintf(stderr,
            "usage: e2e_driver seed standard|many N|missing | dump | wait-window [ms] | state | "
            "click-entry N | click-delete\n");
    return 2;
}
