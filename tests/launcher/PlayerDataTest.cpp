#include "launcher/Folders.h"
#include "launcher/InputConfigHeader.h"
#include "launcher/PlayerDataChecks.h"
#include "support/TestSupport.h"

TEST(InputConfigHeader, OnlyTheExactHeaderLinePasses) {
    struct Case { const char* text; bool supported; };
    for (Case c : std::initializer_list<Case>{
             // How lines compose is the fuzz target's.
             {"\n   \n# settings\n\t# more\nvexa-input 1\nanything else\n", true},
             {"vexa-input 1 # the format\n", true},
             {"\r\n\f\vvexa-input  1\v\n", true},
             {"vexa-input 1#comment", true},
             {"vexa-input 1 extra\n", false},
             {"vexa-input\nvexa-input 1\n", false},  // only the first line that is not blank or a comment
             {"VEXA-INPUT 1\n", false},
             {"vexa-input 2\n", false},
             {"# vexa-input 1\n\n", false},
             {"vexa-input #1\n", false}}) {
        EXPECT_EQ(hasSupportedInputHeader(c.text), c.supported) << '"' << c.text << '"';
    }
}

TEST(CheckPlayerData, RefusalsLeaveBothFilesUntouched) {
    const std::string pak(32768, '\x5a');
    const std::string input = "vexa-input 1\n";
    struct Case { const char* what; std::string pak; std::string input; const char* failure; bool editing = false; };
    for (const Case& c : std::vector<Case>{
             {"both fine", pak, input, "(no failure)"},
             {"settings open in an editor", pak, input, "(no failure)", true},
             {"empty pak", "", input, "Existing Controller Pak size differs. Your save was preserved."},
             {"short pak", pak.substr(1), input, "Existing Controller Pak size differs. Your save was preserved."},
             {"long pak", pak + 'x', input, "Invalid file size."},
             {"old header", pak, "vexa-input 2\n", "Existing controller settings are unsupported. They were preserved."},
             {"oversized settings", pak, "vexa-input 1\n" + std::string(1048576, '#'), "Invalid file size."},
             {"pak missing", "-", input, "Player data is missing. Run the installer again."},
             {"settings missing", pak, "-", "Player data is missing. Run the installer again."},
             {"pak missing, settings unsupported", "-", "VEXA-INPUT 1",
              "Existing controller settings are unsupported. They were preserved."},
             {"settings is a folder", pak, "/", "A required file is missing or unreadable."}}) {
        TempFolder data;
        auto place = [&](const wchar_t* name, const std::string& content) {
            if (content == "/") fs::create_directory(data / name);
            else if (content != "-") writeFile(data / name, content);
        };
        place(L"controller.mpk", c.pak);
        place(L"input.cfg", c.input);
        // An editor holds the file for reading and writing and shares both.
        auto editor = c.editing ? startHelper({L"hold-file", data / L"input.cfg", L"all"}) : nullptr;
        EXPECT_EQ(failureOf([&] { checkPlayerData(data.path()); }), c.failure) << c.what;
        if (c.pak != "-") EXPECT_EQ(readFile(data / L"controller.mpk"), c.pak) << c.what;
        if (c.input != "-" && c.input != "/") EXPECT_EQ(readFile(data / L"input.cfg"), c.input) << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(data.path()), {}),
                  (c.pak != "-") + (c.input != "-")) << c.what;  // nothing created
    }
    // A Controller Pak that is a link to nothing is missing (links are followed).
    EXPECT_EQ(failureOf([] { checkPlayerData(std::wstring(VEXA_TEST_DRIVE) + L"links\\dangling-data"); }),
              "Player data is missing. Run the installer again.");
}

TEST(PlayerDataLocation, RecordIsTakenWholeWithinItsLimit) {
    TempFolder app;
    std::wstring record = app / L"player-data-location.txt";
    struct Case { std::string content; const char* failure; std::wstring folder; };
    for (const Case& c : std::vector<Case>{
             {"D:\\PlayerData", "(no failure)", L"D:\\PlayerData"},
             {"D:\\PlayerData\r\n", "(no failure)", L"D:\\PlayerData\r\n"},
             {"", "(no failure)", L""},
             {std::string(32768, 'a'), "(no failure)", std::wstring(32768, L'a')},
             {std::string(32769, 'a'), "Invalid file size.", L""},
             {"D:\\\xff", "Invalid saved file path.", L""}}) {
        writeFile(record, c.content);
        std::wstring folder;
        EXPECT_EQ(failureOf([&] { folder = readPlayerDataLocation(app.path()); }), c.failure);
        EXPECT_EQ(folder, c.folder);
    }
    fs::remove(record);
    EXPECT_EQ(failureOf([&] { readPlayerDataLocation(app.path()); }), "A required file is missing or unreadable.");
}
