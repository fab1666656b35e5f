#include "integrity/CartridgeImage.h"
#include "integrity/CartridgeSelection.h"
#include "support/TestSupport.h"

#include <cstring>

constexpr const char* modified = "This ROM is unsupported or has been modified. Select the original US release.";
constexpr const char* wrongSize = "Select the original US 12 MiB Vexa 3711 N64 ROM.";
constexpr const char* unreadable = "The saved ROM is missing or unreadable. Select it again.";
const std::wstring invitation = L"\n\nSelect your ROM at its current location to continue.";

TEST(CartridgeImage, EveryDumpOrderReadsNativeAndAnythingElseIsRefused) {
    TempFolder folder;
    const std::string native = readFile(testDataPath(L"demo-native.z64"));
    std::string swapped = readFile(testDataPath(L"demo-swapped.v64"));
    std::string alteredHeader = swapped;
    alteredHeader[0] = 0x38;  // no longer recognised as swapped, so it hashes as it is
    std::string alteredBody = native;
    alteredBody[cartridgeImageBytes / 2] ^= 0x40;
    struct Case { std::wstring path; std::string content; const char* outcome; };  // content "-": as it is
    for (const Case& c : std::vector<Case>{
             {testDataPath(L"demo-native.z64"), "-", "native"},
             {testDataPath(L"demo-swapped.v64"), "-", "native"},
             {testDataPath(L"demo-little.n64"), "-", "native"},
             {folder / L"header.v64", alteredHeader, modified},
             {folder / L"body.z64", alteredBody, modified},
             {folder / L"short.z64", swapped.substr(1), wrongSize},
             {folder / L"long.z64", swapped + '\0', wrongSize},
             {folder / L"empty.z64", "", wrongSize},
             {folder / L"missing.z64", "-", unreadable},
             {folder.path(), "-", unreadable},
             {L"NUL", "-", wrongSize}}) {
        if (c.content != "-") writeFile(c.path, c.content);
        EXPECT_EQ(outcomeOf([&] {
                      CartridgeImage image = openVerifiedCartridgeImage(c.path);
                      EXPECT_TRUE(image.held());
                      return image.bytes().size() == native.size() &&
                             std::memcmp(image.bytes().data(), native.data(), native.size()) == 0 ? "native" : "other";
                  }), c.outcome) << c.path;
    }
}

TEST(CartridgeImage, WritersAreLockedOutBothWays) {
    TempFolder folder;
    std::wstring path = folder / L"rom.z64";
    fs::copy_file(testDataPath(L"demo-native.z64"), path);
    {
        auto writer = startHelper({L"hold-file", path, L"all"});
        EXPECT_EQ(failureOf([&] { openVerifiedCartridgeImage(path); }), unreadable);
    }
    CartridgeImage image = openVerifiedCartridgeImage(path);
    EXPECT_EQ(probe(L"try-write", path), 1u);
    EXPECT_EQ(probe(L"try-delete", path), 1u);
    image.reset();
    EXPECT_EQ(probe(L"try-write", path), 0u);
}

namespace {
struct ScriptedPrompt : CartridgePrompt {
    std::vector<std::wstring> prompts;
    std::wstring choice;
    void showCartridgePrompt(const std::wstring& text) override { prompts.push_back(text); }
    std::wstring chooseCartridgeImage() override { return choice; }
};
}

TEST(AcquireCartridgeImage, PromptsChoosesVerifiesAndRecords) {
    struct Case {
        const char* what;
        std::string record;             // "-" for no record; "ROM" for the image's path
        bool moveImage;                  // the image is no longer where the record says
        bool chooseImage;                // the player picks the image (through a ".." path)
        const char* prompt;              // expected prompt, "" for none
        const char* outcome;             // "image", "cancelled" or a failure sentence
    };
    for (const Case& c : std::vector<Case>{
             {"valid record", "ROM", false, false, "", "image"},
             {"no record, cancelled", "-", false, false, "A required file is missing or unreadable.", "cancelled"},
             {"drive-relative record", "C:rom.z64", false, false,
              "The saved ROM location is invalid. Select your ROM again.", "cancelled"},
             {"record with byte-order mark", "\xef\xbb\xbfROM", false, false,
              "The saved ROM location is invalid. Select your ROM again.", "cancelled"},
             {"moved image chosen again", "ROM", true, true, unreadable, "image"},
             {"wrong file chosen", "C:rom.z64", false, false,
              "The saved ROM location is invalid. Select your ROM again.", wrongSize}}) {
        TempFolder root;
        Installation installation = stageInstallation(root.path());
        std::wstring recordPath = joinPath(installation.data, L"rom-location.txt");
        std::string record = c.record;
        if (auto at = record.find("ROM"); at != std::string::npos) record.replace(at, 3, wideToUtf8(installation.rom));
        if (c.record == "-") fs::remove(recordPath);
        else writeFile(recordPath, record);
        std::wstring movedTo = root / L"moved.z64";
        if (c.moveImage) fs::rename(installation.rom, movedTo);

        ScriptedPrompt prompt;
        if (c.chooseImage) prompt.choice = root / L"rom\\..\\moved.z64";
        if (std::string(c.outcome) == wrongSize) {
            writeFile(root / L"small.z64", "tiny");
            prompt.choice = root / L"small.z64";
        }
        CartridgeImage image;
        bool acquired = false;
        std::wstring romPath;
        EXPECT_EQ(outcomeOf([&] {
                      acquired = acquireCartridgeImage(installation.data, true, romPath, image, prompt);
                      return acquired ? "image" : "cancelled";
                  }), c.outcome) << c.what;
        EXPECT_EQ(image.held(), acquired) << c.what;
        if (*c.prompt) {
            ASSERT_EQ(prompt.prompts.size(), 1u) << c.what;
            EXPECT_EQ(prompt.prompts[0], utf8ToWide(c.prompt) + invitation) << c.what;
        } else {
            EXPECT_TRUE(prompt.prompts.empty()) << c.what;
        }
        if (c.chooseImage) {
            EXPECT_EQ(readFile(recordPath), wideToUtf8(movedTo)) << c.what;  // normalised, no line break
            EXPECT_EQ(romPath, prompt.choice) << c.what;
        } else if (c.record != "-") {
            EXPECT_EQ(readFile(recordPath), record) << c.what;  // never replaced by an unverified file
        }
    }
}
