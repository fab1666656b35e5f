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

// What the stand-in game reported in last-session.log.
struct GameReport {
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
    std::string workingFolder;
    bool bothStreams = false;
};

GameReport readReport(const std::wstring& log) {
    GameReport report;
    std::istringstream lines(readFile(log));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("arg[")) report.arguments.push_back(line.substr(line.find("]=") + 2));
        if (line.starts_with("cwd=")) report.workingFolder = line.substr(4);
        if (line.starts_with("env ")) {
            std::size_t equals = line.find('=');
            report.environment[line.substr(4, equals - 4)] = line.substr(equals + 1);
        }
    }
    std::string text = readFile(log);
    report.bothStreams = text.find("stderr=ok") != std::string::npos && text.find("stdout=ok\n") != std::string::npos;
    return report;
}

class GameProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        installation = stageInstallation(root.path());
        LauncherState& state = launcherState();
        state.applicationFolder = installation.app;
        state.playerDataFolder = installation.data;
        state.consoleReporting = false;
        state.selectedEdition = Edition::Unset;
    }
    void TearDown() override { SetEnvironmentVariableW(L"STAND_IN_EXIT_CODE", nullptr); }

    int play(const ModsSettings& settings, const wchar_t* exitCode = L"0") {
        waitUntilLogIsReleased();
        SetEnvironmentVariableW(L"STAND_IN_EXIT_CODE", exitCode);
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
    launcherState().romPath = root / L"My ROMs\\";  // blanks and a trailing backslash
    for (auto [name, value] : std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>{
             {L"VEXA_ANYTHING", L"1"}, {L"VEXA_UPDATE_REQUEST", L"old"}, {L"VEXA_LUS_IMGUI", L"1"},
             {L"VEXA_REMASTER_TEXTURE_PACK", L"old"}, {L"VK_ICD_FILENAMES", L"x.json"},
             {L"VK_DRIVER_FILES", L"y.json"}, {L"vexa_x", L"kept"}, {L"VK_LAYER_PATH", L"kept"}})
        SetEnvironmentVariableW(name, value);
    SetEnvironmentVariableW(L"vexa_padding", std::wstring(4000, L'p').c_str());

    ASSERT_EQ(play(ModsSettings{false, L"X:\\packs\\unused"}), 0);
    GameReport first = readReport(log());
    std::string app = wideToUtf8(installation.app), data = wideToUtf8(installation.data);
    EXPECT_EQ(first.arguments, (std::vector<std::string>{app + "\\VexaWindowsRT64.exe",
                                                        wideToUtf8(launcherState().romPath),
                                                        data + "\\profile", "play"}));
    EXPECT_EQ(first.workingFolder, app);
    EXPECT_TRUE(first.bothStreams);
    std::map<std::string, std::string> expected{
        {"VEXA_RELEASE_VERSION", "0.3.2"}, {"VEXA_RELEASE_EDITION", "original"},
        {"VEXA_OPTIONS_CONFIG", data + "\\options.json"}, {"VEXA_CONTROLLER_PAK", data + "\\controller.mpk"},
        {"VEXA_INPUT_CONFIG", data + "\\input.cfg"}, {"vexa_x", "kept"}, {"VK_LAYER_PATH", "kept"},
        {"vexa_padding", std::string(4000, 'p')},
        {"VEXA_UPDATE_REQUEST", first.environment["VEXA_UPDATE_REQUEST"]}};
    EXPECT_EQ(first.environment, expected);
    EXPECT_TRUE(first.environment["VEXA_UPDATE_REQUEST"].starts_with(
        data + "\\update-request-" + std::to_string(GetCurrentProcessId()) + "-"));

    Sleep(20);
    SetEnvironmentVariableW(L"vexa_padding", nullptr);
    launcherState().romPath = L"C:\\rom.z64";
    ASSERT_EQ(play(ModsSettings{true, L"X:\\packs\\HD Pack"}), 0);
    GameReport second = readReport(log());
    EXPECT_EQ(second.environment["VEXA_REMASTER_TEXTURE_PACK"], "X:\\packs\\HD Pack");
    EXPECT_NE(second.environment["VEXA_UPDATE_REQUEST"], first.environment["VEXA_UPDATE_REQUEST"]);
    // The first run wrote much more: nothing of it may survive the second.
    std::string text = readFile(log());
    EXPECT_EQ(text.find("stdout=ok"), text.rfind("stdout=ok")) << "the log keeps only the last run";
}

TEST_F(GameProcessTest, ExitCodesAndStartFailures) {
    launcherState().romPath = installation.rom;
    for (auto [code, expected] : {std::pair{L"0", 0}, {L"3", 3}, {L"255", 255}})
        EXPECT_EQ(play(ModsSettings{}, code), expected);

    // A log that cannot be written: held by another program, or a folder in its
    // place. (Wine running as root ignores the read-only attribute.)
    SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", L"5000");
    {
        waitUntilLogIsReleased();
        auto editor = startHelper({L"hold-file", log(), L"read"});
        EXPECT_EQ(failureOf([&] { play(ModsSettings{}); }), "Cannot open the game session log.");
    }
    std::filesystem::remove(log());
    std::filesystem::create_directory(log());
    EXPECT_EQ(failureOf([&] { play(ModsSettings{}); }), "Cannot open the game session log.");
    SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", nullptr);
    EXPECT_EQ(failureOf(requireNoOtherGameProcess), "(no failure)") << "no game was started";
    std::filesystem::remove(log());

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
             {"another session with its game", false, false, [&](ScriptedSession&) {
                  otherSession = startHelper({L"guard", installation.data});
                  SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", L"20000");
                  otherGame = std::make_unique<RunningProcess>(joinPath(installation.app, L"VexaWindowsRT64.exe"),
                                                               std::vector<std::wstring>{});
                  SetEnvironmentVariableW(L"STAND_IN_SLEEP_MS", nullptr);
              }, "Another Vexa session is running. Close it first.", 0, false}}) {
        std::filesystem::remove(log());
        launcherState().selectedEdition = Edition::Unset;
        launcherState().consoleReporting = c.console;
        ScriptedSession session;
        c.arrange(session);
        std::string outcome;
        std::string failure = failureOf([&] { outcome = std::to_string(runGameSession(c.preflight, session)); });
        EXPECT_EQ(failure == "(no failure)" ? outcome : failure, c.outcome) << c.what;
        EXPECT_EQ(session.notices, c.notices) << c.what;
        EXPECT_EQ(fileExists(log()), c.gameRan) << c.what;
        EXPECT_EQ(fileExists(lock), c.gameRan || otherSession) << c.what << ": the folder is claimed only to start the game";
        if (c.gameRan) {
            std::string text = readFile(log());
            // While the game ran, nobody could change an installed file; the game had the log and NUL only.
            for (const char* line : {"probe write=32 delete=32\n", "foreign-handle=invalid\n", "stdin=null\n"})
                EXPECT_NE(text.find(line), std::string::npos) << c.what << ": " << line << text;
            EXPECT_EQ(runProgram(binPath(L"launcher_test_helper.exe"), {L"-", L"try-write", installed}).exitCode, 0u);
            EXPECT_EQ(readReport(log()).environment.count("VK_ICD_FILENAMES"), 0u) << c.what;
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
