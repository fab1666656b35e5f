// Whole sessions, from the gates to the game's exit code, with the stand-in
// game reporting what it was handed into last-session.log.
#include "integrity/UniqueHandle.h"
#include "launcher/GameProcess.h"
#include "launcher/GameSession.h"
#include "launcher/LauncherState.h"
#include "launcher/SessionGuard.h"
#include "support/TestSupport.h"

#include <sstream>
#include <windows.h>

namespace {

// The arguments and variables the stand-in game reported.
struct GameReport {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
};

GameReport readReport(const std::string& text) {
    GameReport report;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("arg[")) report.arguments.push_back(line.substr(line.find("]=") + 2));
        if (line.starts_with("env ")) report.environment[line.substr(4, line.find('=') - 4)] = line.substr(line.find('=') + 1);
    }
    return report;
}

struct ScriptedSession : SessionInteraction {
    bool pressPlay = true;
    ModsSettings handedBack;          // what the window returns
    std::function<void()> whileOpen;  // what happens while the window is open
    int notices = 0;
    void showCartridgePrompt(const std::wstring&) override { ADD_FAILURE() << "unexpected prompt"; }
    std::wstring chooseCartridgeImage() override { return L""; }
    bool runPlayModsWindow(const std::wstring&, const std::wstring&, ModsSettings& settings) override {
        if (whileOpen) whileOpen();
        settings = handedBack;
        return pressPlay;
    }
    void showGameErrorNotice() override { ++notices; }
};

} // namespace

TEST(GameSession, WholeSessionsFromGatesToExitCode) {
    TempFolder root, packs(L"packs");  // the retained runtime wants ASCII pack paths
    const Installation installation = stageInstallation(root.path());
    LauncherState state;
    state.applicationFolder = installation.app;
    state.playerDataFolder = installation.data;
    const std::wstring log = joinPath(installation.data, L"last-session.log"), lock = joinPath(installation.data, L"session.lock");
    const std::wstring pack = packs / L"HD Pack", installed = joinPath(installation.app, L"COPYING");
    writeTexturePack(pack, {{"a.png", minimalPng}});
    // Left by other programs: only the launcher's own VEXA_ and VK_ driver variables go.
    ScopedVariable stale[] = {{L"VEXA_ANYTHING", L"1"}, {L"VEXA_UPDATE_REQUEST", L"old"}, {L"VEXA_LUS_IMGUI", L"1"},
                              {L"VEXA_REMASTER_TEXTURE_PACK", L"old"}, {L"VK_ICD_FILENAMES", L"C:\\stale\\icd.json"},
                              {L"VK_DRIVER_FILES", L"y.json"}, {L"vexa_x", L"kept"}, {L"VK_LAYER_PATH", L"kept"},
                              {L"vexa_padding", std::wstring(4000, L'p').c_str()}, {L"STAND_IN_PROBE", installed.c_str()}};
    // A handle the launcher itself inherited (an installer's pipe, say) must not reach the game.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueKernelHandle foreign(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    const std::wstring foreignValue = std::to_wstring(reinterpret_cast<std::uintptr_t>(foreign.get()));
    ScopedVariable foreignHandle(L"STAND_IN_FOREIGN_HANDLE", foreignValue.c_str());
    std::unique_ptr<RunningProcess> otherGame, otherSession;
    const std::string app = wideToUtf8(installation.app), data = wideToUtf8(installation.data);
    auto exitCode = [](const wchar_t* code) { SetEnvironmentVariableW(L"STAND_IN_EXIT_CODE", code); };
    struct Case {
        const char* what;
        bool console;
        std::function<void(ScriptedSession&)> arrange;
        std::string outcome;  // the exit code, or the failure
        int notices;
        bool gameRan;
    };
    std::string lastRequest;
    for (const Case& c : std::vector<Case>{
             {"closed without Play", false, [](ScriptedSession& s) { s.pressPlay = false; }, "0", 0, false},
             // Preflight and the Remaster refusal: LauncherProgram.ConsoleRunsReportExactSentences.
             {"the game ends well", false, [](ScriptedSession&) {}, "0", 0, true},
             {"the game ends well, with a pack", false, [&](ScriptedSession& s) { s.handedBack = {true, pack}; }, "0", 0, true},
             {"the game fails", false, [&](ScriptedSession&) { exitCode(L"3"); }, "3", 1, true},
             {"the game fails, console", true, [&](ScriptedSession&) { exitCode(L"3"); }, "3", 0, true},
             {"a pack that stopped validating", false,
              [&](ScriptedSession& s) {
                  s.handedBack = {true, pack};
                  s.whileOpen = [&] { fs::remove_all(pack); };
              },
              "Choose an existing absolute texture pack folder.", 0, false},
             // An installed file changed while the window is open: PlayModsWindowTest, on the real window.
             {"the log held by another program", false,
              [&](ScriptedSession&) { otherSession = startHelper({L"hold-file", log, L"read"}); },  // Wine as root ignores read-only
              "Cannot open the game session log.", 0, false},
             {"another session with its game", false, [&](ScriptedSession&) {
                  otherSession = startHelper({L"guard", installation.data});
                  ScopedVariable sleep(L"STAND_IN_SLEEP_MS", L"20000");
                  otherGame = std::make_unique<RunningProcess>(joinPath(installation.app, L"VexaWindowsRT64.exe"),
                                                               std::vector<std::wstring>{});
              }, "Another Vexa session is running. Close it first.", 0, false}}) {
        otherSession.reset();
        // A longer earlier run: nothing of it may survive. Wine's console host for the game holds
        // the log a moment after it (Windows' does not).
        waitUntil([&] { return failureOf([&] { writeFile(log, std::string(100000, '#') + "\n"); }) == "(no failure)"; });
        state.selectedEdition = Edition::Unset;
        state.consoleReporting = c.console;
        ScriptedSession session;
        c.arrange(session);
        EXPECT_EQ(outcomeOf([&] { return runGameSession(state, false, session); }), c.outcome) << c.what;
        EXPECT_EQ(session.notices, c.notices) << c.what;
        std::string text = readFile(log);
        EXPECT_EQ(text.find("stdout=ok") != std::string::npos, c.gameRan) << c.what << ": the game ran";
        EXPECT_EQ(fileExists(lock), c.gameRan || otherSession) << c.what << ": claimed only to start the game";
        if (c.gameRan) {
            GameReport report = readReport(text);
            EXPECT_EQ(report.arguments, (std::vector<std::string>{app + "\\VexaWindowsRT64.exe", wideToUtf8(state.romPath),
                                                                  data + "\\profile", "play"})) << c.what;
            // While the game ran, nobody could change an installed file; the game had the log and NUL only.
            for (std::string line : {"cwd=" + app + "\n", std::string("stderr=ok\nstdout=ok\n"), std::string("stdin=null\n"),
                                     std::string("probe write=32 delete=32\n"), std::string("foreign-handle=invalid\n")})
                EXPECT_NE(text.find(line), std::string::npos) << c.what << ": " << line << text;
            EXPECT_EQ(text.find('#'), std::string::npos) << c.what << ": the log keeps only the last run";
            EXPECT_EQ(probe(L"try-write", installed), 0u) << c.what;
            std::string request = report.environment["VEXA_UPDATE_REQUEST"];
            EXPECT_TRUE(request.starts_with(data + "\\update-request-" + std::to_string(GetCurrentProcessId()) + "-"));
            EXPECT_NE(request, lastRequest) << c.what;
            lastRequest = request;
            std::map<std::string, std::string> expected{
                {"VEXA_RELEASE_VERSION", "0.3.2"}, {"VEXA_RELEASE_EDITION", "original"}, {"VEXA_UPDATE_REQUEST", request},
                {"VEXA_OPTIONS_CONFIG", data + "\\options.json"}, {"VEXA_CONTROLLER_PAK", data + "\\controller.mpk"},
                {"VEXA_INPUT_CONFIG", data + "\\input.cfg"}, {"vexa_x", "kept"}, {"VK_LAYER_PATH", "kept"},
                {"vexa_padding", std::string(4000, 'p')}};
            if (session.handedBack.enabled) expected["VEXA_REMASTER_TEXTURE_PACK"] = wideToUtf8(pack);
            EXPECT_EQ(report.environment, expected) << c.what;
            EXPECT_EQ(state.selectedEdition, Edition::Original) << c.what;
            EXPECT_EQ(failureOf([&] { SessionGuard again(installation.data); }), "(no failure)") << "guard released";
        }
        std::error_code ignored;
        fs::remove(lock, ignored);
        exitCode(nullptr);
    }
    state.applicationFolder = root / L"no game";
    fs::create_directory(state.applicationFolder);
    EXPECT_EQ(failureOf([&] { startGameProcess(state); }), "The game could not start. Reinstall this version and check Vulkan support.");
}
