// The real Play / Mods window of a launcher process, driven from outside by
// vexa_window_driver.exe (posted clicks and keys, as input arrives), under Xvfb.
#include "integrity/UniqueHandle.h"
#include "launcher/SessionGuard.h"
#include "mods/PlayModsWindow.h"
#include "support/TestSupport.h"

#include <regex>
#include <thread>
#include <windows.h>

namespace {

struct ControlRow { int id; const char* className; int x, y, w, h; };

// Where the controls sit at 96 DPI, in creation (tab) order: what the scale tests scale.
const std::vector<ControlRow> layout{
    {100, "SysTabControl32", 14, 12, 690, 380}, {0, "Static", 34, 58, 640, 28}, {0, "Static", 34, 100, 630, 95},
    {0, "Static", 34, 215, 630, 60}, {0, "Static", 34, 58, 630, 55}, {0, "Edit", 34, 130, 625, 26},
    {201, "Button", 34, 170, 240, 30}, {202, "Button", 34, 215, 580, 25}, {203, "Button", 34, 255, 160, 30},
    {0, "Static", 34, 305, 630, 55}, {303, "Button", 34, 410, 140, 34}, {301, "Button", 475, 410, 105, 34},
    {302, "Button", 595, 410, 105, 34}};

// What the driver lists for the layout at a scale, with the Play page shown, each control's text left out.
std::vector<std::string> expectedControls(int dpi) {
    auto scaled = [dpi](int value) { return std::to_string(MulDiv(value, dpi, 96)); };
    std::vector<std::string> lines{"title|Vexa 3711 \xe2\x80\x94 Play / Mods", "tab|0"};
    for (std::size_t row = 0; row < layout.size(); ++row) {
        const ControlRow& c = layout[row];
        bool visible = row < 4 || row > 9;
        lines.push_back(std::to_string(row) + "|" + std::to_string(c.id) + "|" + c.className + "|" + (visible ? "1" : "0") +
                        "|" + scaled(c.x) + "," + scaled(c.y) + "," + scaled(c.w) + "," + scaled(c.h));
    }
    return lines;
}

// A listing of the driver's with each control's text cut out.
std::vector<std::string> withoutTexts(std::vector<std::string> lines) {
    for (std::string& line : lines) line = std::regex_replace(line, std::regex(R"(^(\d+\|\d+\|\w+)\|[^|]*)"), "$1");
    return lines;
}

class PlayModsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveDisplay()) GTEST_SKIP() << "the window needs a display (run the suite under xvfb-run)";
        installation = stageInstallation(root.path());
    }
    std::unique_ptr<RunningProcess> startLauncher(const std::vector<std::wstring>& arguments = {}) {
        return std::make_unique<RunningProcess>(joinPath(installation.app, L"Vexa3711.exe"), arguments);
    }
    std::wstring data(const wchar_t* name) const { return joinPath(installation.data, name); }

    TempFolder root;
    Installation installation;
};

} // namespace

TEST_F(PlayModsWindowTest, ControlsKeysAndClosing) {
    // The library's own text, with its byte that is not UTF-8 shown as U+FFFD.
    const std::string unreadable = "{\"schema\": 1, \"enabled\": true, \"folder\": \"C:/Packs/\xff\"}";
    writeFile(data(L"vexa-mods.json"), unreadable);
    auto launcher = startLauncher();
    EXPECT_EQ(answerMessageBox(L"Vexa Mods settings could not be loaded \u2014 select a pack again", IDOK),
              L"[json.exception.parse_error.101] parse error at line 1, column 52: syntax error while parsing value - "
              L"invalid string: ill-formed UTF-8 byte; last read: '\"C:/Packs/\xfffd'");
    EXPECT_EQ(withoutTexts(driveWindow({L"controls"})), expectedControls(96));
    EXPECT_EQ(driveWindow({L"focus"}), std::vector<std::string>{"focus|11"}) << "Play has the focus at start";
    // F4 selects the Mods page whichever control has the focus: the tab, the
    // folder field, a button, the check box, Play.
    for (const wchar_t* control : {L"0", L"5", L"6", L"7", L"11"}) {
        driveWindow({L"tab", L"0"});
        driveWindow({L"key", L"0x73", control});
        std::vector<std::string> listed = driveWindow({L"controls"});
        ASSERT_EQ(listed.size(), 15u);
        EXPECT_EQ(listed[1], "tab|1") << "F4 at control " << wideToUtf8(control);
        EXPECT_EQ(listed[11].substr(0, 4), "9|0|") << listed[11];
        EXPECT_NE(listed[11].find("|1|34,305"), std::string::npos) << "the Mods page is shown";
    }
    // Tab walks the shown tab stops (the dialog manager's work): from Play to
    // Close, round to the tab control, then Choose.
    for (const char* next : {"focus|12", "focus|0", "focus|6"}) {
        driveWindow({L"key", L"0x09", L"6"});
        EXPECT_TRUE(waitUntil([&] { return driveWindow({L"focus"}) == std::vector<std::string>{next}; }, 5000)) << next;
    }
    // Ctrl+Tab and Ctrl+Shift+Tab switch pages, as real keys.
    for (const auto& [keys, page] : std::vector<std::pair<const wchar_t*, const char*>>{
             {L"ctrl+tab", "tab|0"}, {L"ctrl+tab", "tab|1"}, {L"ctrl+shift+tab", "tab|0"}, {L"ctrl+shift+tab", "tab|1"}}) {
        driveWindow({L"type", keys});
        std::vector<std::string> listed = driveWindow({L"controls"});
        EXPECT_EQ(listed.size() > 1 ? listed[1] : "", page) << wideToUtf8(keys);
    }
    // The focus comes back to Choose after its picker, as after any box or dialog.
    driveWindow({L"click", L"201"});
    EXPECT_EQ(answerMessageBox(L"Choose an external RT64 texture pack folder", IDCANCEL), L"") << "the folder picker";
    EXPECT_TRUE(waitUntil([&] { return driveWindow({L"focus"}) == std::vector<std::string>{"focus|6"}; }, 5000));
    // Escape does nothing, and neither does Enter on a control that is no button: the window stays.
    driveWindow({L"key", L"0x1b", L"6"});
    driveWindow({L"tab", L"0"});
    driveWindow({L"type", L"shift+tab"});  // back to the tab control
    driveWindow({L"key", L"0x0d", L"0"});
    EXPECT_EQ(driveWindow({L"controls"}).size(), 15u);
    EXPECT_EQ(driveWindow({L"alt-f4"}), std::vector<std::string>{});
    EXPECT_EQ(launcher->waitForExit(), 0u);
    EXPECT_FALSE(fileExists(data(L"last-session.log")));
    EXPECT_FALSE(fileExists(data(L"session.lock")));
    EXPECT_EQ(readFile(data(L"vexa-mods.json")), unreadable) << "leaving without Play saves nothing";
}

TEST_F(PlayModsWindowTest, ScaledWithTheDisplay) {
    // 150%: sizes, rectangles and font follow the window's DPI.
    writeFile(data(L"vexa-mods.json"), R"({"schema": 1, "enabled": true, "folder": "C:/Packs/A"})");
    DWORD dpi = 144;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi), 0);
    auto launcher = startLauncher();
    std::vector<std::string> listed = driveWindow({L"controls"});
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    EXPECT_EQ(withoutTexts(listed), expectedControls(144));
    ASSERT_EQ(listed.size(), 15u);
    EXPECT_NE(listed[7].find("|Edit|C:/Packs/A|"), std::string::npos) << "the saved choice, on the Mods page";
    driveWindow({L"click", L"302"});
    EXPECT_EQ(launcher->waitForExit(), 0u);
}

TEST_F(PlayModsWindowTest, FollowsTheWindowToAnotherScale) {
    // Windows tells a window moved to a monitor of another scale with WM_DPICHANGED; Wine never
    // does. Sent here within the process, where the proposed rectangle's address is valid.
    ModsSettings settings;
    std::thread shown([&] { runPlayModsWindow(installation.app, installation.data, settings, {GetModuleHandleW(nullptr), {}}); });
    HWND window = nullptr;
    // No early return: the thread must be joined, so the checks run only when the window came.
    EXPECT_TRUE(waitUntil([&] { return (window = FindWindowW(L"Vexa3711PlayModsLauncher", nullptr)) != nullptr; }));
    if (window) {
        RECT proposed{0, 0, MulDiv(735, 144, 96), MulDiv(495, 144, 96)};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&proposed));
        EXPECT_EQ(withoutTexts(driveWindow({L"controls"})), expectedControls(144));
        LOGFONTW stock{}, shownFont{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock);
        GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(window, 301, WM_GETFONT, 0, 0)), sizeof shownFont, &shownFont);
        EXPECT_EQ(shownFont.lfHeight, MulDiv(stock.lfHeight, 144, 96));
        // Labels, the folder field and the check box ask the window for their colours: its own, not the button face.
        std::vector<HWND> controls;
        for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) controls.push_back(child);
        controls.resize(layout.size());  // a missing control fails the listing above
        for (std::size_t row : {1, 2, 3, 4, 5, 7, 9}) {
            HDC context = GetDC(controls[row]);
            SetTextColor(context, RGB(1, 2, 3));
            SetBkColor(context, RGB(4, 5, 6));
            LRESULT brush = SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                                         reinterpret_cast<LPARAM>(controls[row]));
            EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_WINDOW)) << "row " << row;
            EXPECT_EQ(GetBkColor(context), GetSysColor(COLOR_WINDOW)) << "row " << row;
            EXPECT_EQ(GetTextColor(context), GetSysColor(COLOR_WINDOWTEXT)) << "row " << row;
            ReleaseDC(controls[row], context);
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    shown.join();
}

TEST_F(PlayModsWindowTest, PlayStartsTheGameWhoseExitCodeIsTheLaunchers) {
    ScopedVariable exitCode(L"STAND_IN_EXIT_CODE", L"3"), linger(L"STAND_IN_LINGER", nullptr);  // set per run below
    for (bool console : {false, true}) {
        // Wine's console host for the game holds the log a moment after the game.
        std::error_code held;
        waitUntil([&] { return fs::remove(data(L"last-session.log"), held), !held; });
        // An installer reads --install's output through a pipe: it must end with the launcher
        // even while a child the game left behind still runs.
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
        UniqueFile reader(readEnd), writer(writeEnd);
        UniqueKernelHandle lingerEnd(CreateEventW(nullptr, TRUE, FALSE, L"vexa-test-linger"));
        SetEnvironmentVariableW(L"STAND_IN_LINGER", console ? L"vexa-test-linger" : nullptr);
        RunningProcess launcher(joinPath(installation.app, L"Vexa3711.exe"),
                                console ? std::vector<std::wstring>{L"--install"} : std::vector<std::wstring>{},
                                console ? writeEnd : nullptr);
        writer.reset();
        // Play has the focus at start, so Enter plays.
        if (console) driveWindow({L"click", L"301"});
        else driveWindow({L"key", L"0x0d", L"11"});
        if (!console)
            EXPECT_EQ(answerMessageBox(L"Vexa 3711", IDOK),
                      L"The game exited with an error. Your saves are retained. Details are in last-session.log in "
                      L"your player-data folder.");
        EXPECT_EQ(launcher.waitForExit(), 3u) << "console " << console;
        if (console) {
            waitUntil([&] { return !PeekNamedPipe(readEnd, nullptr, 0, nullptr, nullptr, nullptr); }, 5000);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE)) << "the installer's pipe ended";
            EXPECT_EQ(failureOf(requireNoOtherGameProcess), "Another Vexa game or installer is running. Close it first.")
                << "while the game's child still runs";
        }
        SetEvent(lingerEnd.get());
        waitUntil([] { return failureOf(requireNoOtherGameProcess) == "(no failure)"; });
        std::string log = readFile(data(L"last-session.log"));
        EXPECT_NE(log.find("arg[0]=" + wideToUtf8(joinPath(installation.app, L"VexaWindowsRT64.exe")) + "\n"),
                  std::string::npos) << log;
        EXPECT_EQ(readFile(data(L"vexa-mods.json")), "{\n  \"enabled\": false,\n  \"folder\": \"\",\n  \"schema\": 1\n}\n");
    }
}

TEST_F(PlayModsWindowTest, AnInstalledFileChangedWhileTheWindowIsOpenStopsTheGame) {
    auto launcher = startLauncher();
    ASSERT_EQ(driveWindow({L"controls"}).size(), 15u);
    writeFile(joinPath(installation.app, L"COPYING"), "changed");
    driveWindow({L"click", L"301"});
    EXPECT_EQ(answerMessageBox(L"Vexa 3711 \u2014 action required", IDOK),
              L"Installed files changed or are missing. Install a fresh version.");
    EXPECT_EQ(launcher->waitForExit(), 65u);
    EXPECT_FALSE(fileExists(data(L"last-session.log")));
}

TEST_F(PlayModsWindowTest, LongWorkShowsItsProgressAndCancelLeavesEverythingAsItWas) {
    const std::wstring pack = std::wstring(VEXA_TEST_DRIVE) + L"large-pack", progressTitle = L"Vexa 3711 \u2014 Texture pack";
    const std::string saved = R"({"schema": 1, "enabled": true, "folder": ")" + wideToUtf8(pack) + R"("})";
    std::string escapedSaved = saved;
    for (std::size_t at = 0; (at = escapedSaved.find('\\', at)) != std::string::npos; at += 2) escapedSaved.insert(at, 1, '\\');
    writeFile(data(L"vexa-mods.json"), escapedSaved);
    ScopedVariable reportWindow(L"STAND_IN_WINDOW", L"Vexa 3711 \u2014 Starting");
    auto launcher = startLauncher();
    std::vector<std::string> before = driveWindow({L"controls"});
    ASSERT_EQ(before.size(), 15u);
    // Validate pack, then Play: each shows its progress in counts, and Escape,
    // the close button and Cancel end it with the window as it was, nothing saved.
    for (const auto& [command, cancel] : std::vector<std::pair<const wchar_t*, std::vector<std::wstring>>>{
             {L"203", {L"key", L"0x1b", L"3"}}, {L"301", {L"alt-f4"}}, {L"301", {L"click", L"2"}}}) {
        driveWindow({L"click", command});
        std::vector<std::string> shown;
        EXPECT_TRUE(waitUntil([&] {
            shown = driveWindow({L"--title", progressTitle, L"controls"});
            return shown.size() > 3 && shown[3].find(" of 20,000 images|") != std::string::npos;
        }, 20000)) << "the progress of " << wideToUtf8(command) << ": " << (shown.empty() ? "" : shown.back());
        EXPECT_EQ(driveWindow({L"enabled"}), std::vector<std::string>{"enabled|0"}) << "no input while it runs";
        std::vector<std::wstring> cancelling{L"--title", progressTitle};
        cancelling.insert(cancelling.end(), cancel.begin(), cancel.end());
        driveWindow(cancelling);
        EXPECT_EQ(driveWindow({L"--title", progressTitle, L"wait-gone"}), std::vector<std::string>{});
        EXPECT_TRUE(waitUntil([] { return driveWindow({L"enabled"}) == std::vector<std::string>{"enabled|1"}; }, 5000));
        EXPECT_EQ(driveWindow({L"controls"}), before) << "the window as it was";
        EXPECT_EQ(readFile(data(L"vexa-mods.json")), escapedSaved) << "nothing saved";
        EXPECT_FALSE(fileExists(data(L"last-session.log"))) << "no game";
    }
    // Played to its end: once the window is gone a window of its own says the
    // game is starting while the pack is checked again, and it is gone before the game starts.
    driveWindow({L"click", L"301"});
    std::vector<std::string> starting = driveWindow({L"--title", L"Vexa 3711 \u2014 Starting", L"controls"});
    EXPECT_TRUE(starting.size() > 2 && starting[2].find("|Starting Vexa 3711\xe2\x80\xa6|") != std::string::npos)
        << (starting.empty() ? "no starting window" : starting.back());
    EXPECT_EQ(launcher->waitForExit(), 0u);
    std::string log = readFile(data(L"last-session.log"));
    EXPECT_NE(log.find("window=none"), std::string::npos) << log;
}

TEST_F(PlayModsWindowTest, OneWindowPerInstallation) {
    const std::wstring launcherPath = joinPath(installation.app, L"Vexa3711.exe");
    auto listing = [&] {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(installation.data)) files.push_back(entry.path().string());
        return files;
    };
    auto first = startLauncher();
    ASSERT_EQ(driveWindow({L"controls"}).size(), 15u);
    HWND window = FindWindowW(L"Vexa3711PlayModsLauncher", nullptr);
    const std::vector<std::string> before = listing();
    // Another window in front, the first minimised: each further plain start
    // brings it back to the front and ends with 0, having written nothing.
    HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    for (const char* start : {"second", "third"}) {
        SetForegroundWindow(other);
        ShowWindow(window, SW_MINIMIZE);
        ProcessResult again = runProgram(launcherPath, {}, root.path());
        EXPECT_EQ(again.exitCode, 0u) << start;
        EXPECT_TRUE(waitUntil([&] { return !IsIconic(window) && GetForegroundWindow() == window; }, 5000)) << start;
        EXPECT_EQ(listing(), before) << start;
    }
    DestroyWindow(other);
    // Console options run as ever, beside the open window.
    writeFile(joinPath(installation.app, L"COPYING"), "changed");
    ProcessResult verified = runProgram(launcherPath, {L"--verify-application"}, root.path());
    EXPECT_EQ(verified.error, "Installed files changed or are missing. Install a fresh version.");
    EXPECT_EQ(verified.exitCode, 65u);
    // A launcher that died with its window open leaves the next start free.
    TerminateProcess(first->handle(), 9);
    first->waitForExit();
    EXPECT_TRUE(waitUntil([] { return FindWindowW(L"Vexa3711PlayModsLauncher", nullptr) == nullptr; }));
    auto next = startLauncher();
    EXPECT_EQ(answerMessageBox(L"Vexa 3711 \u2014 action required", IDOK),
              L"Installed files changed or are missing. Install a fresh version.") << "a start of its own, checking";
    EXPECT_EQ(next->waitForExit(), 65u);
}
