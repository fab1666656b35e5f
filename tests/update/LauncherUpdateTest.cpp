// The whole update as a player sees it, inside tools/wine-sandbox with a
// display: the running launcher's Updates button fetches the 0.3.5 package from
// the stand-in host, the package replaces the launcher once it has ended and
// restarts it, and the new launcher finds nothing newer.
#include "support/TestSupport.h"

#include <windows.h>

namespace {

std::wstring productVersion(const std::wstring& program) {
    std::string block(GetFileVersionInfoSizeW(program.c_str(), nullptr), '\0');
    wchar_t* version = nullptr;
    UINT length = 0;
    if (block.empty() || !GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", reinterpret_cast<void**>(&version), &length))
        return L"(none)";
    return version;
}

} // namespace

TEST(LauncherUpdate, FromTheUpdatesButtonToTheRestartedNewerLauncher) {
    if (!haveDisplay()) GTEST_SKIP() << "the window needs a display (xvfb-run)";
    const std::wstring hostRoot = std::wstring(VEXA_TEST_DRIVE) + L"update-host";
    std::error_code ignored;
    fs::remove_all(hostRoot, ignored);
    fs::copy(VEXA_TEST_UPDATE_FEED_DIR, hostRoot, fs::copy_options::recursive);
    TempFolder root;
    Installation installation = stageInstallation(root.path());
    const std::wstring launcher = joinPath(installation.app, L"Vexa3711.exe");
    auto untouched = folderContents(root.path());
    untouched.erase(L"app\\Vexa3711.exe");

    RunningProcess old(launcher, {});
    ASSERT_EQ(productVersion(launcher), utf8ToWide(VEXA_TEST_LAUNCHER_VERSION));
    ASSERT_EQ(driveWindow({L"controls"}).size(), 15u);
    driveWindow({L"click", L"303"});
    EXPECT_EQ(answerMessageBox(L"Vexa 3711 Updates", IDOK).substr(0, 36), L"Launcher update 0.3.5 is available. ");
    EXPECT_EQ(old.waitForExit(), 0u) << "the window closed without Play";

    // The restarted launcher opens its window; then it has nothing newer to offer.
    ASSERT_EQ(driveWindow({L"controls"}).size(), 15u) << "no restarted launcher";
    EXPECT_EQ(productVersion(launcher), L"0.3.5");
    driveWindow({L"click", L"303"});
    EXPECT_EQ(answerMessageBox(L"Vexa 3711 Updates", IDOK),
              L"You have the latest published launcher Mods update. Native game files, ROM and saves are unchanged.");
    driveWindow({L"click", L"302"});
    EXPECT_TRUE(driveWindow({L"wait-gone"}).empty());

    // Only the launcher changed: the game, the location record and the player data
    // are as they were, but for the verified build cached under its digest.
    auto after = folderContents(root.path());
    after.erase(L"app\\Vexa3711.exe");
    std::erase_if(after, [](const auto& file) { return file.first.starts_with(L"data\\launcher-updates\\"); });
    EXPECT_TRUE(after == untouched);
}
