#include "mods/PlayModsWindow.h"

#include "integrity/FailureSentence.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/SystemLibrary.h"
#include "integrity/UniqueHandle.h"
#include "integrity/WindowScale.h"
#include "integrity/WorkBesideWindow.h"
#include "mods/PlayModsCommands.h"

#include <windows.h>
#include <commctrl.h>
#include <shobjidl.h>

#include <array>
#include <memory>
#include <system_error>
#include <thread>

namespace vexa {
namespace {

constexpr const wchar_t* windowClass = L"Vexa3711PlayModsLauncher";
constexpr int windowWidth = 735, windowHeight = 495;

struct ControlSpec {
    const wchar_t* className;
    const wchar_t* text;
    int id;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    DWORD extendedStyle;
    RECT bounds;  // x, y, width, height
};

// In creation order; the rows of PlayModsControl.
const std::array<ControlSpec, playModsControlCount> layout{{
    {WC_TABCONTROLW, L"", 100, WS_TABSTOP, 0, {14, 12, 690, 380}},
    {L"STATIC", L"Vexa 3711 Original", 0, 0, 0, {34, 58, 640, 28}},
    {L"STATIC",
     L"Your own supported ROM is required. Existing saves, controllers and graphics settings are retained.\n\n"
     L"Use Mods (F4) to choose a compatible external RT64 texture pack. Shipped game files remain verified and "
     L"unchanged.",
     0, 0, 0, {34, 100, 630, 95}},
    {L"STATIC",
     L"Texture changes apply when you press Play. Close the game before switching packs.\nOnly one external pack "
     L"can be active at a time; disable it to use this edition's built-in textures.",
     0, 0, 0, {34, 215, 630, 60}},
    {L"STATIC",
     L"External texture mods \u2014 RT64 configuration 3 / hash version 5\nMapped PNG/DDS files must use real Vexa "
     L"runtime hashes. Arbitrary gameplay code, DLLs and scripts are unsupported.",
     0, 0, 0, {34, 58, 630, 55}},
    {L"EDIT", L"", 0, ES_READONLY | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, {34, 130, 625, 26}},
    {L"BUTTON", L"Choose texture pack folder...", chooseCommand, WS_TABSTOP | BS_PUSHBUTTON, 0, {34, 170, 240, 30}},
    {L"BUTTON", L"Enable selected texture pack", enableCommand, WS_TABSTOP | BS_AUTOCHECKBOX, 0, {34, 215, 580, 25}},
    {L"BUTTON", L"Validate pack", validateCommand, WS_TABSTOP | BS_PUSHBUTTON, 0, {34, 255, 160, 30}},
    {L"STATIC", L"Changes are saved when you press Play. Disable the pack to return to built-in textures.", 0, 0, 0,
     {34, 305, 630, 55}},
    {L"BUTTON", L"Updates", updatesCommand, WS_TABSTOP | BS_PUSHBUTTON, 0, {34, 410, 140, 34}},
    {L"BUTTON", L"Play", playCommand, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, {475, 410, 105, 34}},
    {L"BUTTON", L"Close", closeCommand, WS_TABSTOP | BS_PUSHBUTTON, 0, {595, 410, 105, 34}},
}};

// The window's record: its controls, the font at its DPI, and the commands.
class PlayModsWindow : public PlayModsSurface {
public:
    PlayModsWindow(const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                   const ModsSettings& settings, const PlayModsWindowHost& host)
        : host_(host),
          commands_(applicationFolder, playerDataFolder, settings, *this, [this] { return host_.runUpdate(window_); }) {}

    PlayModsCommands& commands() { return commands_; }

    void created(HWND window) {
        window_ = window;
        HINSTANCE instance = static_cast<HINSTANCE>(host_.moduleInstance);
        for (std::size_t row = 0; row < layout.size(); ++row) {
            const ControlSpec& entry = layout[row];
            controls_[row] = CreateWindowExW(entry.extendedStyle, entry.className, entry.text,
                                             WS_CHILD | WS_VISIBLE | entry.style, 0, 0, 0, 0, window,
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.id)), instance, nullptr);
        }
        for (const wchar_t* text : {L"Play", L"Mods"}) {
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<wchar_t*>(text);
            SendMessageW(control(PlayModsControl::tabs), TCM_INSERTITEMW,
                         SendMessageW(control(PlayModsControl::tabs), TCM_GETITEMCOUNT, 0, 0),
                         reinterpret_cast<LPARAM>(&item));
        }
        fitToDpi(GetDpiForWindow(window));
        commands_.opened();
    }

    // Sizes, rectangles and font follow the window's DPI; at 96 DPI they are
    // exactly the layout's and the font is the stock one.
    void fitToDpi(UINT dpi) {
        scaledFont_ = scaledGuiFont(dpi);
        HFONT font = static_cast<HFONT>(scaledFont_ ? scaledFont_.get() : GetStockObject(DEFAULT_GUI_FONT));
        for (std::size_t row = 0; row < layout.size(); ++row) {
            const RECT& r = layout[row].bounds;
            MoveWindow(controls_[row], scaledToDpi(r.left, dpi), scaledToDpi(r.top, dpi), scaledToDpi(r.right, dpi),
                       scaledToDpi(r.bottom, dpi), TRUE);
            SendMessageW(controls_[row], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
    }

    // Keyboard players keep their place: the focused control is remembered
    // when the window loses activation (to a box, a dialog, another program)
    // and given back when it returns; the first time, Play has it.
    void activated(bool active) {
        if (!active) {
            rememberFocus();
            return;
        }
        SetFocus(focus_ && IsWindow(focus_) && IsWindowVisible(focus_) ? focus_ : control(PlayModsControl::play));
    }
    // Asked after every message too: a box or dialog disables the window
    // first, which takes the focus away before the window is told it lost activation.
    void rememberFocus() {
        HWND focused = GetFocus();
        if (focused && IsChild(window_, focused)) focus_ = focused;
    }

    HWND control(PlayModsControl which) const { return controls_[static_cast<std::size_t>(which)]; }
    bool isTabControl(HWND sender) const { return sender && sender == control(PlayModsControl::tabs); }

    // PlayModsSurface
    void setText(PlayModsControl which, const std::wstring& text) override { SetWindowTextW(control(which), text.c_str()); }
    void show(PlayModsControl which, bool visible) override { ShowWindow(control(which), visible ? SW_SHOW : SW_HIDE); }
    bool isChecked() override {
        return SendMessageW(control(PlayModsControl::enablePack), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void setChecked(bool checked) override {
        SendMessageW(control(PlayModsControl::enablePack), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    int selectedTab() override {
        return static_cast<int>(SendMessageW(control(PlayModsControl::tabs), TCM_GETCURSEL, 0, 0));
    }
    void selectTab(int index) override { SendMessageW(control(PlayModsControl::tabs), TCM_SETCURSEL, index, 0); }
    void destroy() override { DestroyWindow(window_); }
    void showMessage(const std::wstring& text, const std::wstring& caption, unsigned flags) override {
        MessageBoxW(window_, text.c_str(), caption.c_str(), flags);
    }
    std::wstring pickFolder() override { return pickTexturePackFolder(window_); }
    void runBesideWindow(const std::function<void(TaskProgress&)>& work) override {
        vexa::runBesideWindow(window_, {L"Vexa 3711 \u2014 Texture pack", L"", true}, work);
    }

private:
    PlayModsWindowHost host_;
    PlayModsCommands commands_;
    HWND window_ = nullptr;
    std::array<HWND, playModsControlCount> controls_{};
    HWND focus_ = nullptr;
    UniqueGdiFont scaledFont_;
};

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* creation = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* state = reinterpret_cast<PlayModsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!state || message == WM_NCCREATE) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        state->created(window);
        return 0;
    case WM_CLOSE:
        // Disabled, the window is waiting for long work: like a window behind
        // a modal dialog, it does not close meanwhile.
        if (IsWindowEnabled(window)) DestroyWindow(window);
        return 0;
    case WM_ACTIVATE:
        state->activated(LOWORD(wParam) != WA_INACTIVE);
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (state->isTabControl(header->hwndFrom) && header->code == TCN_SELCHANGE) {
            state->commands().tabChanged();
            return 0;
        }
        break;
    }
    case WM_COMMAND:
        if (state->commands().command(LOWORD(wParam))) return 0;
        break;
    case WM_CTLCOLORSTATIC: {
        // Labels, the check box and the read-only field sit on the window's
        // own colour rather than the button face; system colours, so that
        // high-contrast themes still apply.
        HDC context = reinterpret_cast<HDC>(wParam);
        SetTextColor(context, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(context, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: take the size Windows proposes.
        const RECT* proposed = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                     proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
        state->fitToDpi(HIWORD(wParam));
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The folder picker's libraries loaded on a thread of its own while the window
// opens: the first Choose would otherwise load them on the window's thread,
// which then answers nothing for a quarter of a second.
class PickerWarmUp {
public:
    PickerWarmUp() {
        try {
            thread_ = std::thread([] {
                HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                IFileDialog* made = nullptr;
                if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                               reinterpret_cast<void**>(&made))))
                    made->Release();
                if (SUCCEEDED(apartment)) CoUninitialize();
            });
        } catch (const std::system_error&) {
            // Without the thread the first Choose loads them itself.
        }
    }
    ~PickerWarmUp() {
        if (thread_.joinable()) thread_.join();
    }
    PickerWarmUp(const PickerWarmUp&) = delete;
    PickerWarmUp& operator=(const PickerWarmUp&) = delete;

private:
    std::thread thread_;
};

} // namespace

bool runPlayModsWindow(const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                       ModsSettings& settings, const PlayModsWindowHost& host) {
    // comctl32 is not a KnownDLL: loaded from the system folder only.
    static auto initCommonControls = systemFunction<decltype(InitCommonControlsEx)>(L"comctl32.dll", "InitCommonControlsEx");
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    if (!initCommonControls || !initCommonControls(&classes)) throw MessageError("Cannot initialize launcher tabs.");

    ModsSettings loaded;
    try {
        loaded = readModsSettings(joinPath(playerDataFolder, L"vexa-mods.json"));
    } catch (...) {
        MessageBoxW(nullptr, sentenceOfCurrentFailure().c_str(),
                    L"Vexa Mods settings could not be loaded \u2014 select a pack again", MB_ICONWARNING);
    }
    auto state = std::make_unique<PlayModsWindow>(applicationFolder, playerDataFolder, loaded, host);

    HINSTANCE instance = static_cast<HINSTANCE>(host.moduleInstance);
    WNDCLASSW windowClassSpec{};
    windowClassSpec.lpfnWndProc = windowProcedure;
    windowClassSpec.hInstance = instance;
    windowClassSpec.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClassSpec.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClassSpec.lpszClassName = windowClass;
    RegisterClassW(&windowClassSpec);  // a class left by an earlier window of this process is reused

    UINT dpi = GetDpiForSystem();
    HWND window = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, windowClass, L"Vexa 3711 \u2014 Play / Mods",
                                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT,
                                  scaledToDpi(windowWidth, dpi), scaledToDpi(windowHeight, dpi), nullptr, nullptr, instance,
                                  state.get());
    if (!window) throw MessageError("Cannot open Play / Mods launcher.");
    // It may open on a monitor whose scale differs from the system's.
    if (UINT windowDpi = GetDpiForWindow(window); windowDpi != dpi) {
        SetWindowPos(window, nullptr, 0, 0, scaledToDpi(windowWidth, windowDpi), scaledToDpi(windowHeight, windowDpi),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        state->fitToDpi(windowDpi);
    }
    ShowWindow(window, SW_SHOW);
    if (host.shown) host.shown(window);
    PickerWarmUp warmUp;

    MSG message{};
    while (IsWindow(window)) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        // F4 selects the Mods page whichever control has the focus; Alt+F4
        // arrives as a system key and still closes.
        if (message.message == WM_KEYDOWN && message.wParam == VK_F4) {
            state->commands().f4Pressed();
            continue;
        }
        // Ctrl+Tab and Ctrl+Shift+Tab switch pages, as in any tabbed window.
        if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && (GetKeyState(VK_CONTROL) & 0x8000)) {
            state->commands().switchTab((GetKeyState(VK_SHIFT) & 0x8000) != 0);
            continue;
        }
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        state->rememberFocus();
    }
    settings = state->commands().settings();
    return state->commands().playRequested();
}

std::wstring pickTexturePackFolder(void* owner) {
    IFileDialog* created = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                reinterpret_cast<void**>(&created))))
        throw MessageError("Cannot open the texture folder picker.");
    UniqueCom<IFileDialog> dialog(created);
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.get()->GetOptions(&options);
    dialog.get()->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog.get()->SetTitle(L"Choose an external RT64 texture pack folder");
    if (FAILED(dialog.get()->Show(static_cast<HWND>(owner)))) return {};  // cancelled too
    IShellItem* chosen = nullptr;
    if (FAILED(dialog.get()->GetResult(&chosen))) return {};
    UniqueCom<IShellItem> item(chosen);
    PWSTR name = nullptr;
    if (FAILED(item.get()->GetDisplayName(SIGDN_FILESYSPATH, &name))) return {};
    UniqueTaskMemory nameOwner(name);
    return name;
}

} // namespace vexa
