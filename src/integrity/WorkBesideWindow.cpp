#include "integrity/WorkBesideWindow.h"

#include "integrity/SystemLibrary.h"
#include "integrity/UniqueHandle.h"
#include "integrity/WindowScale.h"

#include <windows.h>
#include <commctrl.h>
#include <shobjidl.h>

#include <chrono>
#include <exception>
#include <optional>
#include <thread>

namespace vexa {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto showAfter = std::chrono::milliseconds(500);  // work that ends sooner flashes nothing
constexpr UINT refreshTimer = 1, refreshMilliseconds = 100;
constexpr const wchar_t* progressClass = L"Vexa3711Progress";
constexpr int headingId = 10, detailId = 11, barId = 12;
constexpr int clientWidth = 400;

struct ProgressControl {
    const wchar_t* className;
    int id;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    RECT bounds;  // x, y, width, height at 96 DPI
};
constexpr ProgressControl progressLayout[] = {
    {L"STATIC", headingId, SS_LEFT | SS_NOPREFIX, {16, 14, 368, 20}},
    {L"STATIC", detailId, SS_LEFT | SS_NOPREFIX, {16, 36, 368, 20}},
    {PROGRESS_CLASSW, barId, 0, {16, 62, 368, 16}},
    {L"BUTTON", IDCANCEL, WS_TABSTOP | BS_DEFPUSHBUTTON, {304, 90, 80, 26}},  // only when cancellable
};

// The taskbar button's own bar, where the shell offers one; silently nothing
// where it does not.
class TaskbarProgress {
public:
    explicit TaskbarProgress(HWND window) : window_(window) {
        ITaskbarList3* made = nullptr;
        if (window && SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                                 reinterpret_cast<void**>(&made)))) {
            taskbar_.reset(made);
            if (FAILED(made->HrInit())) taskbar_.reset();
        }
    }
    ~TaskbarProgress() {
        if (taskbar_) taskbar_.get()->SetProgressState(window_, TBPF_NOPROGRESS);
    }
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    void show(const ProgressSnapshot& shot) {
        if (!taskbar_) return;
        if (shot.unit == ProgressUnit::none) {
            taskbar_.get()->SetProgressState(window_, TBPF_INDETERMINATE);
        } else {
            taskbar_.get()->SetProgressState(window_, shot.cancelled ? TBPF_PAUSED : TBPF_NORMAL);
            taskbar_.get()->SetProgressValue(window_, static_cast<ULONGLONG>(progressPermille(shot)), 1000);
        }
    }

private:
    HWND window_;
    UniqueCom<ITaskbarList3> taskbar_;
};

// The small window that shows a task's progress, at its owner's scale,
// centred over the owner (or the screen's work area without one).
class ProgressWindow {
public:
    ProgressWindow(HWND owner, const ProgressLook& look, TaskProgress& progress)
        : look_(look), progress_(progress) {
        static auto initCommonControls =
            systemFunction<decltype(InitCommonControlsEx)>(L"comctl32.dll", "InitCommonControlsEx");
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        if (initCommonControls) initCommonControls(&classes);
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = progressClass;
        RegisterClassW(&windowClass);  // left registered by an earlier task: reused

        UINT dpi = owner ? GetDpiForWindow(owner) : GetDpiForSystem();
        DWORD style = WS_POPUP | WS_CAPTION | (look.cancellable ? WS_SYSMENU : 0);
        DWORD extendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | (owner ? 0 : WS_EX_APPWINDOW);
        RECT outer{0, 0, scaledToDpi(clientWidth, dpi), scaledToDpi(look.cancellable ? 128 : 92, dpi)};
        AdjustWindowRectExForDpi(&outer, style, FALSE, extendedStyle, dpi);
        SIZE size{outer.right - outer.left, outer.bottom - outer.top};
        RECT area{};
        if (!owner || !GetWindowRect(owner, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        window_ = CreateWindowExW(extendedStyle, progressClass, look.title.c_str(), style,
                                  area.left + (area.right - area.left - size.cx) / 2,
                                  area.top + (area.bottom - area.top - size.cy) / 2, size.cx, size.cy, owner, nullptr,
                                  instance, this);
        if (!window_) return;  // the work goes on without it
        font_ = scaledGuiFont(dpi);
        for (const ProgressControl& control : progressLayout) {
            if (control.id == IDCANCEL && !look.cancellable) continue;
            const RECT& r = control.bounds;
            HWND made = CreateWindowExW(0, control.className, control.id == IDCANCEL ? L"Cancel" : L"",
                                        WS_CHILD | WS_VISIBLE | control.style, scaledToDpi(r.left, dpi),
                                        scaledToDpi(r.top, dpi), scaledToDpi(r.right, dpi), scaledToDpi(r.bottom, dpi),
                                        window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance,
                                        nullptr);
            HGDIOBJ font = font_ ? font_.get() : GetStockObject(DEFAULT_GUI_FONT);
            SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        SendDlgItemMessageW(window_, barId, PBM_SETRANGE32, 0, 1000);
        taskbar_.emplace(owner ? owner : window_);
        refresh();
        SetTimer(window_, refreshTimer, refreshMilliseconds, nullptr);
        ShowWindow(window_, SW_SHOW);
        if (HWND cancel = GetDlgItem(window_, IDCANCEL)) SetFocus(cancel);
    }
    ~ProgressWindow() {
        taskbar_.reset();
        if (window_) DestroyWindow(window_);
    }
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // Escape and Tab as in any dialog.
    bool dialogMessage(MSG& message) { return window_ && IsDialogMessageW(window_, &message); }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->window_ == window) {
            switch (message) {
            case WM_TIMER:
                if (wParam == refreshTimer) self->refresh();
                return 0;
            case WM_COMMAND:
                if (LOWORD(wParam) == IDCANCEL) self->cancel();
                return 0;
            case WM_CLOSE:  // the close button and Alt+F4 mean Cancel
                self->cancel();
                return 0;
            case WM_CTLCOLORSTATIC: {
                HDC context = reinterpret_cast<HDC>(wParam);
                SetTextColor(context, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(context, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void cancel() {
        if (!look_.cancellable || progress_.cancelled()) return;
        progress_.cancel();
        EnableWindow(GetDlgItem(window_, IDCANCEL), FALSE);
        refresh();
    }

    void refresh() {
        ProgressSnapshot shot = progress_.snapshot();
        std::wstring detail = shot.cancelled ? L"Cancelling\u2026" : progressDetail(shot);
        std::wstring heading = look_.heading.empty() ? shot.activity : look_.heading;
        if (!look_.heading.empty()) detail = detail.empty() ? shot.activity : shot.activity + L": " + detail;
        setText(headingId, heading, heading_);
        setText(detailId, detail, detail_);
        HWND bar = GetDlgItem(window_, barId);
        bool marquee = shot.unit == ProgressUnit::none;
        if (marquee != marquee_) {
            LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
            SetWindowLongPtrW(bar, GWL_STYLE, marquee ? style | PBS_MARQUEE : style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
            SendMessageW(bar, PBM_SETMARQUEE, marquee, 30);
            marquee_ = marquee;
        }
        if (!marquee) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(progressPermille(shot)), 0);
        if (taskbar_) taskbar_->show(shot);
    }

    // Only a changed text is set again, so the labels do not flicker.
    void setText(int id, const std::wstring& text, std::wstring& shown) {
        if (text == shown) return;
        shown = text;
        SetDlgItemTextW(window_, id, text.c_str());
    }

    ProgressLook look_;
    TaskProgress& progress_;
    HWND window_ = nullptr;
    UniqueGdiFont font_;
    std::optional<TaskbarProgress> taskbar_;
    std::wstring heading_, detail_;
    std::optional<bool> marquee_;
};

// Hands every waiting message of this thread on; the progress window's own
// keys first. A quit is kept for the loop that runs the owner.
void pumpMessages(ProgressWindow* dialog, std::optional<WPARAM>& quit) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = message.wParam;
            continue;
        }
        if (dialog && dialog->dialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

DWORD millisecondsUntil(Clock::time_point moment) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(moment - Clock::now()).count();
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

} // namespace

void runBesideWindow(void* owner, const ProgressLook& look, const std::function<void(TaskProgress&)>& work) {
    TaskProgress progress;
    UniqueKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) {
        // Without an event nothing can wait for a thread: the work runs here.
        work(progress);
        return;
    }
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        SetEvent(done.get());
    });
    HWND window = static_cast<HWND>(owner);
    bool wasDisabled = window && EnableWindow(window, FALSE);
    std::optional<WPARAM> quit;
    std::unique_ptr<ProgressWindow> dialog;
    const Clock::time_point showAt = Clock::now() + showAfter;
    HANDLE waitFor = done.get();
    while (true) {
        DWORD woke = MsgWaitForMultipleObjects(1, &waitFor, FALSE, dialog ? INFINITE : millisecondsUntil(showAt),
                                               QS_ALLINPUT);
        if (woke == WAIT_TIMEOUT && !dialog) {
            dialog = std::make_unique<ProgressWindow>(window, look, progress);
            continue;
        }
        if (woke != WAIT_OBJECT_0 + 1) break;  // the work has ended (or no more waiting is possible)
        pumpMessages(dialog.get(), quit);
    }
    worker.join();
    // The owner first: when the progress window goes, activation returns to it.
    if (window && !wasDisabled) EnableWindow(window, TRUE);
    dialog.reset();
    if (quit) PostQuitMessage(static_cast<int>(*quit));
    if (failure) std::rethrow_exception(failure);
}

struct ProgressOnItsOwn::Shown {
    ProgressLook look;
    TaskProgress progress;
    UniqueKernelHandle closing{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread thread;

    void run() {
        HANDLE waitFor = closing.get();
        if (WaitForSingleObject(waitFor, static_cast<DWORD>(showAfter.count())) != WAIT_TIMEOUT) return;
        // The taskbar's COM object needs an apartment on this thread.
        HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            ProgressWindow window(nullptr, look, progress);
            std::optional<WPARAM> quit;
            while (MsgWaitForMultipleObjects(1, &waitFor, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
                pumpMessages(&window, quit);
        }
        if (SUCCEEDED(com)) CoUninitialize();
    }
};

ProgressOnItsOwn::ProgressOnItsOwn(const ProgressLook& look) : shown_(std::make_unique<Shown>()) {
    shown_->look = look;
    if (!shown_->closing) return;  // shown nowhere: the work itself goes on
    try {
        shown_->thread = std::thread([shown = shown_.get()] { shown->run(); });
    } catch (const std::system_error&) {
    }
}

ProgressOnItsOwn::~ProgressOnItsOwn() { close(); }

TaskProgress& ProgressOnItsOwn::progress() { return shown_->progress; }

void ProgressOnItsOwn::close() {
    if (!shown_->thread.joinable()) return;
    SetEvent(shown_->closing.get());
    shown_->thread.join();
}

} // namespace vexa
