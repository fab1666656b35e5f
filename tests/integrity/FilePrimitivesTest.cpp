#include "integrity/FileIo.h"
#include "integrity/PathSafety.h"
#include "support/TestSupport.h"

TEST(WriteNewFile, CreatesOnlyNewFiles) {
    TempFolder folder;
    std::wstring path = folder / L"record.txt";
    writeNewFile(path, "new", 3);
    EXPECT_EQ(failureOf([&] { writeNewFile(path, "other", 5); }),
              "Cannot create a new installation file. Existing files are preserved.");
    EXPECT_EQ(readFile(path), "new");
}

TEST(LinkRules, LinkedFoldersAnywhereOnThePathAreRefused) {
    // Prepared by the build: links\linked is a Unix link to links\real on X:.
    std::wstring real = std::wstring(VEXA_TEST_DRIVE) + L"links\\real";
    std::wstring linked = std::wstring(VEXA_TEST_DRIVE) + L"links\\linked";
    const char* linkedInstallation = "Linked installation or save folders are unsupported.";
    const char* linkedMods = "Linked Mods paths are unsupported.";
    struct Case { std::wstring path; const char* installation; const char* mods; };
    for (const Case& c : std::vector<Case>{
             {real + L"\\app\\COPYING", "(no failure)", "(no failure)"},
             {real + L"\\not\\there\\yet", "(no failure)", "(no failure)"},
             {linked, linkedInstallation, linkedMods},
             {linked + L"\\app\\notices/SDL2.txt", linkedInstallation, linkedMods},
             {linked + L"\\missing", linkedInstallation, linkedMods},
             {L"Z:\\tmp", linkedInstallation, linkedMods},  // Wine's Z: root is itself a link
             {L"relative\\path", "Choose an absolute installation or data folder.", "(no failure)"},
             {L"C:relative", "Choose an absolute installation or data folder.", "(no failure)"},
             {L"", "Choose an absolute installation or data folder.", "(no failure)"}}) {
        EXPECT_EQ(failureOf([&] { requireSafeFolderPath(c.path); }), c.installation) << c.path;
        EXPECT_EQ(failureOf([&] { requireUnlinkedModsPath(c.path); }), c.mods) << c.path;
    }
}
