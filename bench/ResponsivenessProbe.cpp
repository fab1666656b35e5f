// Times the Play / Mods window from a second process, as a player would feel it:
// how long it goes without answering, how soon a long task shows its progress,
// and how soon Cancel gives the window back. Wine never reports a window as
// hung, so a WM_NULL round trip every 20 ms is the measure of answering.
//   ResponsivenessProbe idle <ms>
//       pings the idle window for that long: the method's own floor
//   ResponsivenessProbe task <id> <task> [options]
//       posts the click on <id>, waits for the progress window titled
//       "Vexa 3711 — <task>" (passed without the dash: Wine reads a Unix
//       command line in the locale's encoding, which may not be UTF-8),
//       lets the task run, then posts Cancel to it. Options:
//       --box <title>        answer OK to the message box of that title first
//                            (the command asks before it starts the task)
//       --folder <path>      pick this folder in the folder picker the click opens
//       --run <ms>           how long the task runs before Cancel (default 2000)
//       --hold <file>        once the progress shows a count, print "shown" and wait
//                            for the file to exist before going on (a screenshot)
// Prints name=value lines in milliseconds; exit code 1 when a window never came.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

const wchar_t* const launcherClass = L"Vexa3711PlayModsLauncher";
const wchar_t* const progressClass = L"Vexa3711Progress";
const wchar_t* const pickerTitle = L"Choose an external RT64 texture pack folder";

struct Trip { double start, ms; };

double now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / frequency;
}

std::string utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring textOf(HWND window) {
    // Asked of the window itself: another process's GetWindowTextW sees only the stored caption.
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &copied);
    return text;
}

// The visible top-level window with this title prefix (and class, when given).
HWND shownWindow(const wchar_t* title, const wchar_t* className = nullptr) {
    struct Search { std::wstring_view title; const wchar_t* className; HWND found; } search{title, className, nullptr};
    EnumWindows([](HWND window, LPARAM data) -> BOOL {
        Search& search = *reinterpret_cast<Search*>(data);
        wchar_t text[256] = {}, name[64] = {};
        GetWindowTextW(window, text, 256);
        GetClassNameW(window, name, 64);
        if (!IsWindowVisible(window) || !std::wstring_view(text).starts_with(search.title) ||
            (search.className && std::wstring_view(name) != search.className))
            return TRUE;
        search.found = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls every millisecond or so; returns the time it held, or a negative number after the limit.
template <typename Condition> double waitFor(Condition condition, double limitMs = 60000) {
    for (double start = now(); now() - start < limitMs; Sleep(1))
        if (condition()) return now();
    return -1;
}

// WM_NULL round trips from a thread of its own while the task runs.
class Pinger {
public:
    explicit Pinger(HWND window) : window(window), thread([this] { run(); }) {}
    ~Pinger() { stop(); }
    void stop() {
        done = true;
        if (thread.joinable()) thread.join();
    }
    // The slowest round trip that began at or after from (after stop()).
    Trip longest(double from = 0) const {
        Trip slowest{};
        for (const Trip& trip : trips)
            if (trip.start >= from && trip.ms > slowest.ms) slowest = trip;
        return slowest;
    }
    std::size_t count() const { return trips.size(); }

private:
    void run() {
        while (!done && IsWindow(window)) {
            double start = now();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result) && !IsWindow(window)) break;
            trips.push_back({start, now() - start});
            Sleep(20);
        }
    }
    HWND window;
    std::atomic<bool> done{false};
    std::vector<Trip> trips;
    std::thread thread;
};

void click(HWND window, int id) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

int fail(const char* what) {
    std::printf("failed=%s\n", what);
    return 1;
}

// Types the folder into the picker's file-name box and confirms it. A picker may
// first browse into a typed folder rather than take it, hence the repeats.
bool pickFolder(const std::wstring& folder) {
    HWND picker = nullptr;
    if (waitFor([&] { return (picker = shownWindow(pickerTitle)) != nullptr; }, 20000) < 0) return false;
    Sleep(300);  // its controls are made after it shows
    for (int attempt = 0; attempt < 4 && IsWindow(picker); ++attempt) {
        EnumChildWindows(picker, [](HWND child, LPARAM text) -> BOOL {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (std::wstring_view(name) == L"Edit" && IsWindowVisible(child))
                SendMessageTimeoutW(child, WM_SETTEXT, 0, text, SMTO_NORMAL, 5000, nullptr);
            return TRUE;
        }, reinterpret_cast<LPARAM>(folder.c_str()));
        click(picker, IDOK);
        waitFor([&] { return !IsWindow(picker); }, 1500);
    }
    return !IsWindow(picker);
}

int task(HWND launcher, int argc, wchar_t** argv) {
    int command = _wtoi(argv[2]);
    const std::wstring progressTitle = std::wstring(L"Vexa 3711 \u2014 ") + argv[3];
    const wchar_t *box = nullptr, *folder = nullptr, *hold = nullptr;
    double runMs = 2000;
    for (int at = 4; at + 1 < argc; at += 2) {
        std::wstring_view option = argv[at];
        if (option == L"--box") box = argv[at + 1];
        else if (option == L"--folder") folder = argv[at + 1];
        else if (option == L"--run") runMs = _wtof(argv[at + 1]);
        else if (option == L"--hold") hold = argv[at + 1];
    }
    Pinger pinger(launcher);
    Sleep(200);  // a few idle pings first, so a slow first answer is not the command's
    double clicked = now();
    click(launcher, command);
    // The task starts once the player has answered what the command asks first.
    double started = clicked;
    if (folder) {
        if (!pickFolder(folder)) return fail("picker");
        started = now();
        std::printf("picked_ms=%.0f\n", started - clicked);
    }
    if (box) {
        HWND asking = nullptr;
        if (waitFor([&] { return (asking = shownWindow(box)) != nullptr; }, 30000) < 0) return fail("box");
        HWND sentence = GetDlgItem(asking, 0xFFFF);
        std::printf("box_ms=%.0f\nbox=%s\n", now() - clicked, utf8(sentence ? textOf(sentence) : L"").c_str());
        started = now();
        click(asking, IDOK);
    }
    HWND progress = nullptr;
    double shown = waitFor([&] { return (progress = shownWindow(progressTitle.c_str(), progressClass)); }, 30000);
    if (shown < 0) return fail("progress");
    std::printf("progress_ms=%.0f\n", shown - started);
    std::fflush(stdout);
    if (hold) {
        // Shown once it counts: the first moments name only the step.
        HWND detail = GetDlgItem(progress, 11);
        waitFor([&] { return detail && !textOf(detail).empty(); }, 10000);
        std::printf("shown\n");
        std::fflush(stdout);
        waitFor([&] { return GetFileAttributesW(hold) != INVALID_FILE_ATTRIBUTES; }, 30000);
    }
    // Let the task run; it may end on its own first (a small task).
    if (waitFor([&] { return !IsWindow(progress); }, runMs) >= 0) return fail("ended before cancel");
    for (int id : {10, 11}) {
        HWND line = GetDlgItem(progress, id);
        std::printf("%s=%s\n", id == 10 ? "activity" : "detail", utf8(line ? textOf(line) : L"").c_str());
    }
    double cancelled = now();
    click(progress, IDCANCEL);
    double enabled = waitFor([&] { return IsWindowEnabled(launcher) != FALSE; }, 30000);
    if (enabled < 0) return fail("enabled");
    std::printf("cancel_ms=%.0f\n", enabled - cancelled);
    waitFor([&] { return !IsWindow(progress); }, 5000);
    std::printf("progress_gone=%d\n", IsWindow(progress) ? 0 : 1);
    Sleep(300);  // what the window does just after counts too
    pinger.stop();
    Trip slowest = pinger.longest(), inTask = pinger.longest(started);
    std::printf("longest_ms=%.0f\nlongest_at_ms=%.0f\nlongest_in_task_ms=%.0f\npings=%zu\n", slowest.ms,
                slowest.start - clicked, inTask.ms, pinger.count());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    HWND launcher = nullptr;
    auto found = [&] { return (launcher = FindWindowW(launcherClass, nullptr)) && IsWindowVisible(launcher); };
    if (waitFor(found, 30000) < 0) return fail("window");
    if (command == L"idle" && argc > 2) {
        Pinger pinger(launcher);
        Sleep(DWORD(_wtoi(argv[2])));
        pinger.stop();
        std::printf("longest_ms=%.0f\npings=%zu\n", pinger.longest().ms, pinger.count());
        return 0;
    }
    if (command == L"task" && argc > 3) return task(launcher, argc, argv);
    return 2;
}
