// The launcher as players and installers run it: a real process on a staged
// installation, its standard error and exit code, and its message boxes.
#include "support/TestSupport.h"

#include <windows.h>

namespace {

struct LauncherRun {
    const char* what;
    std::vector<std::wstring> arguments;   // run in the staging folder
    std::function<void(const Installation&)> prepare;
    const char* error;                     // exactly what reaches standard error
    unsigned long exitCode;
};

} // namespace

TEST(LauncherProgram, ConsoleRunsReportExactSentences) {
    const auto nothing = [](const Installation&) {};
    const char* missing = "A required file is missing or unreadable.";
    const char* changed = "Installed files changed or are missing. Install a fresh version.";
    const auto changeAFile = [](const Installation& i) { writeFile(joinPath(i.app, L"COPYING"), "changed"); };
    const char* apart = "Keep player data outside the game's folder.";
    const auto recordAt = [](auto folder) {
        return [folder](const Installation& i) {
            writeFile(joinPath(i.app, L"player-data-location.txt"), wideToUtf8(folder(i)));
        };
    };
    const auto insideApp = recordAt([](const Installation& i) { return joinPath(i.app, L"Saves"); });
    for (const LauncherRun& run : std::vector<LauncherRun>{
             {"complete preflight", {L"--preflight"}, nothing, "", 0},
             {"verification", {L"--verify-application"}, nothing, "", 0},
             {"verification of a changed installation", {L"--verify-application"}, changeAFile, changed, 65},
             {"preflight of a changed installation", {L"--preflight"}, changeAFile, changed, 65},
             {"preflight without a Controller Pak", {L"--preflight"},
              [](const Installation& i) { fs::remove(joinPath(i.data, L"controller.mpk")); },
              "Player data is missing. Run the installer again.", 65},
             {"verification wins over rollback", {L"--verify-rollback-helper", L"--verify-application"}, nothing, "", 0},
             {"rollback helper", {L"--verify-rollback-helper", L"--data-dir", L"none"}, nothing,
              "No previous verified application is recorded", 65},
             {"no location record", {L"--preflight"},
              [](const Installation& i) { fs::remove(joinPath(i.app, L"player-data-location.txt")); }, missing, 65},
             {"verification reads the record too", {L"--verify-application"},
              [](const Installation& i) { fs::remove(joinPath(i.app, L"player-data-location.txt")); }, missing, 65},
             {"relative --data-dir with ..", {L"--preflight", L"--data-dir", L"elsewhere\\..\\data"},
              [](const Installation& i) { fs::remove(joinPath(i.app, L"player-data-location.txt")); }, "", 0},
             {"no image record", {L"--preflight"},
              [](const Installation& i) { fs::remove(joinPath(i.data, L"rom-location.txt")); }, missing, 65},
             {"an image that no longer verifies, no prompt", {L"--install", L"--no-shortcut"},
              [](const Installation& i) { writeFile(i.rom, "changed"); },
              "Select the original US 12 MiB Vexa 3711 N64 ROM.", 65},
             {"empty --data-dir", {L"--preflight", L"--data-dir", L""}, nothing,
              "Choose an absolute installation or data folder.", 65},
             {"recorded player data inside the application folder", {L"--preflight"}, insideApp, apart, 65},
             {"recorded player data holding the application folder", {L"--install"},
              recordAt([](const Installation& i) { return parentPath(i.app); }), apart, 65},
             {"recorded player data that is the application folder", {L"--preflight"},
              recordAt([](const Installation& i) { return i.app; }), apart, 65},
             // Other spellings of the same folder: its 8.3 name, a trailing dot, a detour.
             {"recorded player data below an 8.3 spelling of the application folder", {L"--preflight"},
              recordAt([](const Installation& i) {
                  wchar_t shortRoot[MAX_PATH] = {};
                  GetShortPathNameW(parentPath(i.app).c_str(), shortRoot, MAX_PATH);
                  return joinPath(shortRoot, L"app\\Saves");
              }), apart, 65},
             {"recorded player data below the application folder with a trailing dot", {L"--preflight"},
              recordAt([](const Installation& i) { return i.app + L".\\Saves"; }), apart, 65},
             {"--data-dir through ..", {L"--preflight", L"--data-dir", L"data\\..\\app\\Saves"}, nothing, apart, 65},
             {"--data-dir that is the application folder", {L"--preflight", L"--data-dir", L"app"}, nothing, apart, 65},
             {"--data-dir inside it", {L"--install", L"--data-dir", L"app\\Saves"}, nothing, apart, 65},
             {"--data-dir holding it", {L"--preflight", L"--data-dir", L"."}, nothing, apart, 65},
             {"verification reads no player data", {L"--verify-application"}, insideApp, "", 0},
             {"remaster", {L"--install", L"--edition", L"remaster"}, nothing,
              "Remaster textures are not included in this installation.", 65},
             {"remaster, even in preflight", {L"--preflight", L"--edition", L"remaster"}, nothing,
              "Remaster textures are not included in this installation.", 65}}) {
        TempFolder root;
        Installation installation = stageInstallation(root.path());
        run.prepare(installation);
        ProcessResult result = runProgram(joinPath(installation.app, L"Vexa3711.exe"), run.arguments, root.path());
        EXPECT_EQ(result.error, run.error) << run.what;
        EXPECT_EQ(result.exitCode, run.exitCode) << run.what;
        EXPECT_FALSE(fileExists(joinPath(installation.data, L"session.lock"))) << run.what;
        EXPECT_FALSE(fileExists(joinPath(installation.data, L"last-session.log"))) << run.what;
    }
}

TEST(LauncherProgram, PlainStartAsksForTheImageAndCancelEndsQuietly) {
    if (!haveDisplay()) GTEST_SKIP() << "message boxes need a display (run the suite under xvfb-run)";
    TempFolder root;
    Installation installation = stageInstallation(root.path());
    fs::remove(joinPath(installation.data, L"rom-location.txt"));
    RunningProcess launcher(joinPath(installation.app, L"Vexa3711.exe"), {});
    EXPECT_EQ(answerMessageBox(L"Vexa 3711 \u2014 ROM required", IDOK),
              L"A required file is missing or unreadable.\n\nSelect your ROM at its current location to continue.");
    answerMessageBox(L"Select your original US Vexa 3711 ROM", IDCANCEL);
    EXPECT_EQ(launcher.waitForExit(), 0u);
    EXPECT_FALSE(fileExists(joinPath(installation.data, L"rom-location.txt")));
}

TEST(LauncherProgram, DllsPlantedInTheApplicationFolderNeverLoad) {
    TempFolder root;
    Installation installation = stageInstallation(root.path());
    PreferFolderDlls preferred({L"Vexa3711.exe", L"helper.exe"});
    for (const wchar_t* name : {L"bcrypt.dll", L"winhttp.dll", L"comctl32.dll"})
        fs::copy_file(binPath(L"planted_library.dll"), joinPath(installation.app, name));
    ProcessResult verified = runProgram(joinPath(installation.app, L"Vexa3711.exe"), {L"--verify-application"});
    // The control: a program there that loads bcrypt the usual way gets the planted copy.
    fs::copy_file(binPath(L"launcher_test_helper.exe"), joinPath(installation.app, L"helper.exe"));
    EXPECT_EQ(runProgram(joinPath(installation.app, L"helper.exe"), {L"-", L"load", L"bcrypt.dll"}).exitCode, 0u);
    EXPECT_EQ(verified.exitCode, 0u) << verified.error;
    EXPECT_TRUE(fileExists(joinPath(installation.app, L"bcrypt.dll.planted"))) << "the control loaded the planted copy";
    fs::remove(joinPath(installation.app, L"bcrypt.dll.planted"));
    // --verify-application hashes through bcrypt; the window's libraries are loaded the same way.
    for (const wchar_t* name : {L"bcrypt.dll", L"winhttp.dll", L"comctl32.dll"})
        EXPECT_FALSE(fileExists(joinPath(installation.app, std::wstring(name) + L".planted"))) << wideToUtf8(name);
}
