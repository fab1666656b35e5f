// The game process and whole sessions, with the stand-in game reporting what
// it was handed into last-session.log.
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "launcher/GameProcess.h"
#include "launcher/GameSession.h"
#include "launcher/LauncherState.h"
#include "launcher/SessionGuard.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <windows.h>

using namespace vexa;
using namespace vexa::test;

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

void setVariables(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> variables) {
    for (auto [name, value] : variables) SetEnvironmentVariableW(name, value);
}

class GameProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        installation = stageInstallation(root.path());
        LauncherState& state = launcherState();
        state = LauncherState{};
        state.applicationFolder = installation.app;
        state.playerDataFolder = installation.data;
    }
    int play(const ModsSettings& settings) {
        waitUntilLogIsReleased();
        scrubGameEnvironment();
        setGameEnvironment(settings);
        return startGameProcess();
    }
    std::wstring log() const { return joinPath(installation.data, L"last-session.log"); }

    // Wine's console host for the game inherits the log handle and outlives the
    // game by a moment; back-to-back runs wait for it (Windows' host does not).
    void waitUntilLogIsReleased() const {
        for (int tries = 0; tries < 100; ++tries) {
            HANDLE probe = CreateFileW(log().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
            if (probe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) return;
            Sleep(50);
        }
    }

    TempFolder root;
    Installation installation;
};

} // namespace

TEST_F(GameProcessTest, GameSeesItsArgumentsAndACleanEnvironment) {
    launcherState().romPath = root / L"My ROMs\\";  // blanks, a non-ASCII letter and a trailing backslash
    setVariables({{L"VEXA_ANYTHING", L"1"}, {L"VEXA_UPDATE_REQUEST", L"old"}, {L"VEXA_LUS_IMGUI", L"1"},
                  {L"VEXA_REMASTER_TEXTURE_PACK", L"old"}, {L"VK_ICD_FILENAMES", L"x.json"},
                  {L"VK_DRIVER_FILES", L"y.json"}, {L"vexa_x", L"kept"}, {L"VK_LAYER_PATH", L"kept"}});
    SetEnvironmentVariableW(L"vexa_padding", std::wstring(4000, L'p').c_str());
    ASSERT_EQ(play(ModsSettings{false, L"X:\\packs\\unused"}), 0);
    std::string firstText = readFile(log());
    GameReport first = readReport(firstText);
    std::string app = wideToUtf8(installation.app), data = wideToUtf8(installation.data);
    EXPECT_EQ(first.arguments, (std::vector<std::string>{app + "\\VexaWindowsRT64.exe", wideToUtf8(launcherState().romPath),
                                                        data + "\\profile", "play"}));
    for (std::string line : {"cwd=" + app + "\n", std::string("stderr=ok\nstdout=ok\n")})
        EXPECT_NE(firstText.find(line), std::string::npos) << line;
    std::string request = first.environment["VEXA_UPDATE_REQUEST"];
    EXPECT_TRUE(request.starts_with(data + "\\update-request-" + std::to_string(GetCurrentProcessId()) + "-")) << request;
    EXPECT_EQ(first.environment, (std::map<std::string, std::string>{
        {"VEXA_RELEASE_VERSION", "0.3.2"}, {"VEXA_RELEASE_EDITION", "original"}, {"VEXA_UPDATE_REQUEST", request},
        {"VEXA_OPTIONS_CONFIG", data + "\\options.json"}, {"VEXA_CONTROLLER_PAK", data + "\\controller.mpk"},
        {"VEXA_INPUT_CONFIG", data + "\\input.cfg"}, {"vexa_x", "kept"}, {"VK_LAYER_PATH", "kept"},
        {"vexa_padding", std::string(4000, 'p')}}));

    Sleep(20);
    setVariables({{L"vexa_padding", nullptr}, {L"vexa_x", nullptr}, {L"VK_LAYER_PATH", nullptr}});
    ASSERT_EQ(play(ModsSettings{true, L"X:\\packs\\HD Pack"}), 0);
    std::string text = readFile(log());
    GameReport second = readReport(text);
    EXPECT_EQ(second.environment["VEXA_REMASTER_TEXTURE_PACK"], "X:\\packs\\HD Pack");
    EXPECT_NE(second.environment["VEXA_UPDATE_REQUEST"], request);
    // The first run wrote much more: nothing of it may survive the second.
    EXPECT_EQ(text.find("stdout=ok"), text.rfind("stdout=ok")) << "the log keeps only the last run";

    std::filesystem::remove(joinPath(installation.app, L"VexaWindowsRT64.exe"));
    EXPECT_EQ(failureOf([&] { play(ModsSettings{}); }),
              "The game could not start. Reinstall this version and check Vulkan support.");
}

namespace {
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
}
TEST_F(GameProcessTest, WholeSessionsFromGatesToExitCode) {
    std::wstring lock = joinPath(installation.data, L"session.lock");
    SetEnvironmentVariableW(L"VK_ICD_FILENAMES", L"C:\\stale\\icd.json");  // left by another program
    // A handle the launcher itself inherited (an installer's pipe, say) must not reach the game.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueKernelHandle foreign(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    SetEnvironmentVariableW(L"STAND_IN_FOREIGN_HANDLE", std::to_wstring(reinterpret_cast<std::uintptr_t>(foreign.get())).c_str());
    const std::wstring installed = joinPath(installation.app, L"COPYING");
    SetEnvironmentVariableW(L"STAND_IN_PROBE", installed.c_str());
    std::unique_ptr<RunningProcess> otherGame, otherSession;
    const std::string copying = readFile(joinPath(installation.app, L"COPYING"));
    const std::wstring game = joinPath(installation.app, L"VexaWindowsRT64.exe");
    struct Case {
        const char* what;
        bool preflight, console;
        std::function<void(ScriptedSession&)> arrange;
        std::string outcome;  // the exit code, or the failure
        int notices;
        bool gameRan;
    };
    for (const Case& c : std::vector<Case>{
             {"closed without Play", false, false, [](ScriptedSession& s) { s.pressPlay = false; }, "0", 0, false},
             {"preflight", true, false, [](ScriptedSession&) {}, "0", 0, false},
             {"remaster, even in preflight", true, false, [](ScriptedSession&) { launcherState().selectedEdition = Edition::Remaster; },
              "Remaster textures are not included in this installation.", 0, false},
             {"the game ends well", false, false, [](ScriptedSession&) {}, "0", 0, true},
             {"the game fails", false, false, [](ScriptedSession&) { SetEnvironmentVariableW(L"STAND_IN_EXIT_CODE", L"3"); }, "3", 1, true},
             {"the game fails, console", false, true, [](ScriptedSession&) { SetEnvironmentVariableW(L"STAND_IN_EXIT_CODE", L"3"); }, "3", 0, true},
             {"a pack that stopped validating", false, false, [&](ScriptedSession& s) { s.handedBack = {true, std::wstring(VEXA_TEST_DRIVE) + L"no-such-pack"}; },
              "Choose an existing absolute texture pack folder.", 0, false},
             {"an installed file changed", false, false,
              [&](ScriptedSession& s) { s.whileOpen = [&] { writeFile(joinPath(installation.app, L"COPYING"), "changed"); }; },
              "Installed files changed or are missing. Install a fresh version.", 0, false},
             {"the log held by another program", false, false, [&](ScriptedSession&) {
                  writeFile(log(), "old");
                  otherSession = startHelper({L"hold-file", log(), L"read"});  // Wine as root ignores read-only
              }, "Cannot open the game session log.", 0, false},
             {"another session with its game", false, false, [&](ScriptedSession&) {
                  otherSession = startHelper({L"guard", installation.data});
                  SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", L"20000");
                  otherGame = std::make_unique<RunningProcess>(game, std::vector<std::wstring>{});
                  SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", nullptr);
              }, "Another Vexa session is running. Close it first.", 0, false}}) {
        otherSession.reset();
        std::filesystem::remove(log());
        launcherState().selectedEdition = Edition::Unset;
        launcherState().consoleReporting = c.console;
        ScriptedSession session;
        c.arrange(session);
        EXPECT_EQ(outcomeOf([&] { return runGameSession(c.preflight, session); }), c.outcome) << c.what;
        EXPECT_EQ(session.notices, c.notices) << c.what;
        std::string text = fileExists(log()) ? readFile(log()) : "";
        EXPECT_EQ(text.find("stdout=ok") != std::string::npos, c.gameRan) << c.what << ": the game ran";
        EXPECT_EQ(fileExists(lock), c.gameRan || otherSession) << c.what << ": claimed only to start the game";
        if (c.gameRan) {
            // While the game ran, nobody could change an installed file; the game had the log and NUL only.
            for (const char* line : {"probe write=32 delete=32\n", "foreign-handle=invalid\n", "stdin=null\n"})
                EXPECT_NE(text.find(line), std::string::npos) << c.what << ": " << line << text;
            EXPECT_EQ(runProgram(binPath(L"launcher_test_helper.exe"), {L"-", L"try-write", installed}).exitCode, 0u);
            EXPECT_EQ(readReport(text).environment.count("VK_ICD_FILENAMES"), 0u) << c.what;
            EXPECT_EQ(launcherState().selectedEdition, Edition::Original) << c.what;
            EXPECT_EQ(failureOf([&] { SessionGuard again(installation.data); }), "(no failure)") << "guard released";
        }
        std::error_code ignored;
        std::filesystem::remove(lock, ignored);
        writeFile(joinPath(installation.app, L"COPYING"), copying);
        SetEnvironmentVariableW(L"STAND_IN_EXIT_CODE", nullptr);
        waitUntilLogIsReleased();
    }
    for (const wchar_t* name : {L"VK_ICD_FILENAMES", L"STAND_IN_FOREIGN_HANDLE", L"STAND_IN_PROBE"})
        SetEnvironmentVariableW(name, nullptr);
}
