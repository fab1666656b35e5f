#include "integrity/FileIo.h"
#include "integrity/PathSafety.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vexa;
using namespace vexa::test;

namespace {
constexpr const char* installationOpen = "A required file is missing or unreadable.";
constexpr const char* installationSize = "Invalid file size.";
constexpr const char* modsOpen = "A Mods file is missing or unreadable.";
constexpr const char* modsSize = "A Mods file exceeds its size limit.";
}

TEST(BoundedRead, LimitsAndOpenFailuresInBothFamilies) {
    TempFolder folder;
    writeFile(folder / L"ten", std::string(10, 'x'));
    writeFile(folder / L"empty", "");
    std::filesystem::create_directory(folder / L"folder");
    struct Case { const wchar_t* name; std::uint64_t limit; const char* installation; const char* mods; };
    for (Case c : std::initializer_list<Case>{
             {L"ten", 10, "(no failure)", "(no failure)"},
             {L"ten", 9, installationSize, modsSize},
             {L"empty", 0, "(no failure)", "(no failure)"},
             {L"folder", 100, installationOpen, modsOpen},
             {L"missing", 100, installationOpen, modsOpen}}) {
        std::wstring path = folder / c.name;
        EXPECT_EQ(failureOf([&] { readRequiredFile(path, c.limit); }), c.installation) << c.name << c.limit;
        EXPECT_EQ(failureOf([&] { readModsFile(path, c.limit); }), c.mods) << c.name << c.limit;
    }
    EXPECT_EQ(readRequiredFile(folder / L"ten", 10), ByteBuffer(10, 'x'));
    EXPECT_EQ(readModsFile(folder / L"ten", 10), std::string(10, 'x'));
}

TEST(WriteNewFile, CreatesOnlyNewFiles) {
    TempFolder folder;
    std::wstring path = folder / L"record.txt";
    writeNewFile(path, "new", 3);
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(failureOf([&] { writeNewFile(path, "other", 5); }),
              "Cannot create a new installation file. Existing files are preserved.");
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(failureOf([&] { writeNewFile(folder / L"no\\such\\folder.txt", "", 0); }),
              "Cannot create a new installation file. Existing files are preserved.");
    writeNewFile(folder / L"empty.txt", "", 0);
    EXPECT_EQ(readFile(folder / L"empty.txt"), "");
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
