#include "integrity/Digest.h"
#include "integrity/InstallationTable.h"
#include "support/TestSupport.h"

TEST(Digest, FipsValuesInLowerCase) {
    // Every installed file and the cartridge image are judged through it as well.
    EXPECT_EQ(hexDigest("", 0, L"SHA256"), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hexDigest("", 0, L"SHA1"), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(failureOf([] { hexDigest("", 0, L"NO-SUCH-HASH"); }), "Windows checksum service is unavailable.");
}

TEST(VerifyInstallation, EveryKindOfDamageHasItsSentence) {
    const char* changed = "Installed files changed or are missing. Install a fresh version.";
    const char* linked = "Linked installation or save folders are unsupported.";
    struct Case {
        const char* what;
        std::function<void(const std::wstring& app)> damage;
        const char* failure;
        const char* heldFailure = nullptr;  // of the check that holds the files, when it differs
        std::wstring stagedIn = L"";        // a fresh temporary folder when empty
    };
    std::vector<Case> cases{
        {"unchanged, with extra files", [](const std::wstring& app) {
             writeFile(joinPath(app, L"extra.txt"), "x");
             writeFile(joinPath(app, L"notices\\extra.txt"), "x");
         }, "(no failure)"},
        {"one byte changed in the first row", [](const std::wstring& app) {
             std::wstring path = joinPath(app, installationTable().front().relativePath);
             std::string content = readFile(path);
             content[0] ^= 1;
             writeFile(path, content);
         }, changed},
        {"one byte appended to the game", [](const std::wstring& app) {
             std::wstring path = joinPath(app, L"VexaWindowsRT64.exe");
             writeFile(path, readFile(path) + '\0');
         }, changed},
        {"a notice deleted", [](const std::wstring& app) {
             fs::remove(joinPath(app, L"notices\\SDL2.txt"));
         }, "A required file is missing or unreadable."},
        {"a folder in place of a file", [](const std::wstring& app) {
             fs::remove(joinPath(app, L"COPYING"));
             fs::create_directory(joinPath(app, L"COPYING"));
         }, "A required file is missing or unreadable."},
        // X:\aliased is the drive W: once a file is opened, as if a folder on the way had
        // been re-pointed after the link walk: only the held files' final paths show it.
        {"a folder on the way resolved elsewhere", [](const std::wstring&) {}, "(no failure)", linked,
         std::wstring(VEXA_TEST_DRIVE) + L"aliased\\installation"},
    };
    for (const Case& c : cases) {
        TempFolder root;
        if (!c.stagedIn.empty()) {
            fs::remove_all(c.stagedIn);
            fs::create_directories(c.stagedIn);
        }
        Installation installation = stageInstallation(c.stagedIn.empty() ? root.path() : c.stagedIn);
        c.damage(installation.app);
        EXPECT_EQ(failureOf([&] { verifyInstallation(installation.app); }), c.failure) << c.what;
        EXPECT_EQ(failureOf([&] { verifyAndHoldInstallation(installation.app); }), c.heldFailure ? c.heldFailure : c.failure)
            << c.what;
    }
    // A link anywhere on a file's way counts, not only above the application folder.
    for (const wchar_t* folder : {L"links\\linked\\app", L"links\\notices-linked\\app"})
        EXPECT_EQ(failureOf([&] { verifyInstallation(std::wstring(VEXA_TEST_DRIVE) + folder); }), linked) << folder;
    EXPECT_EQ(failureOf([] { verifyInstallation(L"relative\\app"); }),
              "Choose an absolute installation or data folder.");
}
