#include "mods/ModsSettings.h"
#include "support/TestSupport.h"

namespace {

constexpr const char* parseError = "[json.exception.parse_error.101]";
constexpr const char* unsupported = "Unsupported Mods settings version.";
constexpr const char* wrongType = "[json.exception.type_error.302]";

// "enabled|folder" for settings, else the failure (the JSON library's by its id).
std::string settingsOutcome(const std::function<ModsSettings()>& read) {
    return libraryErrorId(outcomeOf([&] {
        ModsSettings settings = read();
        return std::string(settings.enabled ? "true|" : "false|") + wideToUtf8(settings.folder);
    }));
}

std::string settingsText(const std::string& schema, const std::string& enabled = "true",
                         const std::string& folder = "\"C:/Packs/A\"") {
    return "{\"schema\": " + schema + ", \"enabled\": " + enabled + ", \"folder\": " + folder + "}";
}

} // namespace

TEST(ModsSettings, ReadingIsStrict) {
    struct Case { std::string text; std::string outcome; };
    for (const Case& c : std::vector<Case>{
             {settingsText("1"), "true|C:/Packs/A"},
             {"{\"folder\": \"D:\\\\x\", \"other\": [1], \"enabled\": false,\n\"schema\": 1.0}", "false|D:\\x"},
             {"", parseError},
             {settingsText("1") + " // note", parseError},
             {"/* note */" + settingsText("1"), parseError},
             {settingsText("1") + "x", parseError},
             {settingsText("\"1\""), unsupported},
             {settingsText("true"), unsupported},
             {settingsText("2"), unsupported},
             {settingsText("null"), unsupported},
             // schema is looked up before the badly typed enabled
             {"{\"enabled\": 1, \"folder\": null}", "[json.exception.out_of_range.403]"},
             {settingsText("1", "1"), wrongType},
             {settingsText("1", "true", "null"), wrongType},
             {"[1]", "[json.exception.type_error.304]"}}) {
        EXPECT_EQ(settingsOutcome([&] { return parseModsSettings(c.text); }), c.outcome) << c.text;
    }
}

TEST(ModsSettings, FileReadingAndItsLimit) {
    TempFolder folder;
    std::wstring path = folder / L"vexa-mods.json";
    std::string exact = settingsText("1");
    exact.resize(65536, ' ');
    struct Case { std::function<void()> prepare; std::string outcome; };
    for (const Case& c : std::vector<Case>{
             {[] {}, "false|"},  // no file: the defaults, silently
             {[&] { writeFile(path, exact); }, "true|C:/Packs/A"},
             {[&] { writeFile(path, exact + " "); }, "A Mods file exceeds its size limit."},
             {[&] { fs::create_directory(path); }, "A Mods file is missing or unreadable."}}) {
        fs::remove_all(path);
        c.prepare();
        EXPECT_EQ(settingsOutcome([&] { return readModsSettings(path); }), c.outcome);
    }
    std::wstring linked = std::wstring(VEXA_TEST_DRIVE) + L"links\\linked\\vexa-mods.json";
    writeFile(std::wstring(VEXA_TEST_DRIVE) + L"links\\real\\vexa-mods.json", settingsText("1"));
    EXPECT_EQ(failureOf([&] { readModsSettings(linked); }), "Linked Mods paths are unsupported.");
    fs::remove(std::wstring(VEXA_TEST_DRIVE) + L"links\\real\\vexa-mods.json");
}

TEST(ModsSettings, WritingGivesTheFiveLineFile) {
    // That it reads back as written is the fuzz target's.
    EXPECT_EQ(formatModsSettings({}), "{\n  \"enabled\": false,\n  \"folder\": \"\",\n  \"schema\": 1\n}\n");
    EXPECT_EQ(formatModsSettings({true, L"D:\\Sp\x00e9l \"\x65e5\"\\"}),
              "{\n  \"enabled\": true,\n  \"folder\": \"D:/Sp\xc3\xa9l \\\"\xe6\x97\xa5\\\"/\",\n  \"schema\": 1\n}\n");
    EXPECT_EQ(failureOf([] { formatModsSettings({true, std::wstring(1, wchar_t(0xd800))}); }),
              "Invalid text in file path.");
}

// Failed saves: tests/update/UpdateCommandTest.cpp, with every other replaced record.
TEST(ModsSettings, SavingReplacesTheFileInSafeFoldersOnly) {
    TempFolder folder;
    writeFile(folder / L"vexa-mods.json", "old");
    saveModsSettings(folder.path(), {true, L"C:\\Packs\\A"});
    EXPECT_EQ(folderContents(folder.path()),
              (std::map<std::wstring, std::string>{{L"vexa-mods.json", formatModsSettings({true, L"C:\\Packs\\A"})}}));

    std::wstring real = std::wstring(VEXA_TEST_DRIVE) + L"links\\real";
    auto before = std::distance(fs::directory_iterator(real), {});
    EXPECT_EQ(failureOf([] { saveModsSettings(std::wstring(VEXA_TEST_DRIVE) + L"links\\linked", {}); }),
              "Linked installation or save folders are unsupported.");
    EXPECT_EQ(std::distance(fs::directory_iterator(real), {}), before) << "nothing written";
    EXPECT_EQ(failureOf([] { saveModsSettings(L"relative", {}); }), "Choose an absolute installation or data folder.");
}
