// Drives the launcher's Play / Mods window from outside, for the demo and the
// tests, the way a player's input would arrive: everything is posted, never
// sent, so the window's own message loop handles it.
//   vexa_window_driver controls            the title, the selected tab, then one line per
//                                          control: index|id|class|text|visible|x,y,w,h
//   vexa_window_driver texts               the text of every control, those of inner dialogs
//                                          too (the wizard's pages), one a line
//   vexa_window_driver click <id>          a button's click
//   vexa_window_driver key <vk> <index>    a key pressed while control <index> has the focus
//   vexa_window_driver alt-f4              Alt+F4
//   vexa_window_driver tab <n>             selects tab n without telling the window
//   vexa_window_driver focus               the index of the control that has the focus (-1: none)
//   vexa_window_driver wait-gone           until the window has closed
//   vexa_window_driver enabled             enabled|1 when the window takes input, enabled|0 when not
//   vexa_window_driver type <keys>         real keyboard input to the window brought to the front,
//                                          e.g. ctrl+tab, ctrl+shift+tab, enter (modifiers held)
//   vexa_window_driver field <id>          field|<text> of the first control with that id at any depth
//                                          (the wizard's page is a dialog inside its window)
//   vexa_window_driver --title <text> ...  any of these on the visible top-level window whose
//                                          title begins with <text> (the installer's wizard, whose
//                                          pages change the title's end)
// Each waits up to 20 s for the window and exits 1 when it does not come (or go).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

const wchar_t* const windowClass = L"Vexa3711PlayModsLauncher";
const wchar_t* windowTitle = nullptr;

std::string utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string escaped(const std::wstring& text) {
    std::string out;
    for (char c : utf8(text)) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

HWND windowTitled(const wchar_t* prefix) {
    struct Search { std::wstring_view prefix; HWND found; } search{prefix, nullptr};
    EnumWindows([](HWND window, LPARAM data) -> BOOL {
        Search& search = *reinterpret_cast<Search*>(data);
        wchar_t title[256] = {};
        GetWindowTextW(window, title, 256);
        if (!IsWindowVisible(window) || !std::wstring_view(title).starts_with(search.prefix)) return TRUE;
        search.found = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND anyWindow() { return windowTitle ? windowTitled(windowTitle) : FindWindowW(windowClass, nullptr); }

HWND findWindow() {
    for (int waited = 0; waited < 400; ++waited) {
        if (HWND window = anyWindow(); window && IsWindowVisible(window)) return window;
        Sleep(50);
    }
    return nullptr;
}

std::vector<HWND> controlsOf(HWND window) {
    std::vector<HWND> controls;
    // Siblings stack in creation order (the tab order), first created on top.
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        controls.push_back(child);
    return controls;
}

std::wstring textOf(HWND control) {
    // Asked of the control itself: across processes GetWindowTextW gives only
    // the stored caption, never what an edit control holds.
    DWORD_PTR length = 0, copied = 0;
    SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    std::wstring text(length + 1, L'\0');
    SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
    text.resize(copied);
    return text;
}

int listControls(HWND window) {
    std::printf("title|%s\n", utf8(textOf(window)).c_str());
    std::vector<HWND> controls = controlsOf(window);
    for (std::size_t index = 0; index < controls.size(); ++index) {
        HWND control = controls[index];
        wchar_t className[64] = {};
        GetClassNameW(control, className, 64);
        if (index == 0) std::printf("tab|%d\n", static_cast<int>(SendMessageW(control, TCM_GETCURSEL, 0, 0)));
        RECT bounds{};
        GetWindowRect(control, &bounds);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&bounds), 2);
        std::printf("%zu|%d|%s|%s|%d|%ld,%ld,%ld,%ld\n", index, GetDlgCtrlID(control), utf8(className).c_str(),
                    escaped(textOf(control)).c_str(), IsWindowVisible(control) ? 1 : 0, bounds.left, bounds.top,
                    bounds.right - bounds.left, bounds.bottom - bounds.top);
    }
    return 0;
}

// 0 once the window (without one: every launcher window) is gone, 1 after 20 s.
int waitUntilGone(HWND window) {
    for (int waited = 0; waited < 400; ++waited, Sleep(50))
        if (window ? !IsWindow(window) : !anyWindow()) return 0;
    return 1;
}

} // namespace

int wmain(int count, wchar_t** arguments) {
    if (count > 2 && std::wstring(arguments[1]) == L"--title") {
        windowTitle = arguments[2];
        count -= 2;
        arguments += 2;
    }
    std::wstring command = count > 1 ? arguments[1] : L"";
    if (command == L"wait-gone") return waitUntilGone(nullptr);
    HWND window = findWindow();
    if (!window) return 1;
    if (command == L"controls") return listControls(window);
    if (command == L"texts") {
        EnumChildWindows(window, [](HWND control, LPARAM) -> BOOL {
            std::printf("%s\n", escaped(textOf(control)).c_str());
            return TRUE;
        }, 0);
        return 0;
    }
    if (command == L"click" && count > 2) {
        int id = _wtoi(arguments[2]);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
        return 0;
    }
    if (command == L"key" && count > 3) {
        std::vector<HWND> controls = controlsOf(window);
        std::size_t index = static_cast<std::size_t>(_wtoi(arguments[3]));
        if (index >= controls.size()) return 2;
        PostMessageW(controls[index], WM_KEYDOWN, static_cast<WPARAM>(wcstoul(arguments[2], nullptr, 0)), 1);
        return 0;
    }
    if (command == L"focus") {
        GUITHREADINFO input{};
        input.cbSize = sizeof input;
        GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &input);
        std::vector<HWND> controls = controlsOf(window);
        auto focused = std::find(controls.begin(), controls.end(), input.hwndFocus);
        std::printf("focus|%d\n", focused == controls.end() ? -1 : static_cast<int>(focused - controls.begin()));
        return 0;
    }
    if (command == L"type" && count > 2) {
        // Modifiers are held as real input, which is what the window asks
        // the keyboard's state about; posted keys carry no modifiers.
        std::vector<WORD> keys;
        std::wstring chord = arguments[2];
        for (std::size_t start = 0; start <= chord.size();) {
            std::size_t end = std::min(chord.find(L'+', start), chord.size());
            std::wstring name = chord.substr(start, end - start);
            keys.push_back(name == L"ctrl" ? VK_CONTROL : name == L"shift" ? VK_SHIFT : name == L"tab" ? VK_TAB
                           : name == L"enter" ? VK_RETURN : name == L"escape" ? VK_ESCAPE : 0);
            if (keys.back() == 0) return 2;
            start = end + 1;
        }
        SetForegroundWindow(window);
        std::vector<INPUT> input;
        for (WORD key : keys) input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
        for (auto key = keys.rbegin(); key != keys.rend(); ++key)
            input.push_back(INPUT{INPUT_KEYBOARD, {.ki = {*key, 0, KEYEVENTF_KEYUP, 0, 0}}});
        SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
        Sleep(200);  // handled before the next command looks
        return 0;
    }
    if (command == L"enabled") {
        std::printf("enabled|%d\n", IsWindowEnabled(window) ? 1 : 0);
        return 0;
    }
    if (command == L"field" && count > 2) {
        struct Search { int id; HWND found; } search{_wtoi(arguments[2]), nullptr};
        EnumChildWindows(window, [](HWND control, LPARAM data) -> BOOL {
            Search& search = *reinterpret_cast<Search*>(data);
            if (GetDlgCtrlID(control) != search.id) return TRUE;
            search.found = control;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return 1;
        std::printf("field|%s\n", escaped(textOf(search.found)).c_str());
        return 0;
    }
    if (command == L"alt-f4") {
        PostMessageW(window, WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));  // bit 29: Alt is down
        return waitUntilGone(window);
    }
    if (command == L"tab" && count > 2) {
        PostMessageW(controlsOf(window).front(), TCM_SETCURSEL, static_cast<WPARAM>(_wtoi(arguments[2])), 0);
        return 0;
    }
    return 2;
}
