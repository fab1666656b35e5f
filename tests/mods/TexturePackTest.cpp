#include "mods/TexturePack.h"
#include "integrity/TaskProgress.h"
#include "mods/TexturePackRules.h"
#include "support/TestSupport.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

const std::string& png = minimalPng;
const std::string dds = "DDS " + std::string(124, '\0');                               // 128 bytes
constexpr const char* escapes = "A texture path escapes or aliases its pack.";
constexpr const char* unsafe = "A texture path is not a safe relative path.";
constexpr const char* badHash = "Invalid or duplicate RT64 runtime hash.";
constexpr const char* versions = "Require RT64 configuration 3 and hash version 5.";
constexpr const char* needsHashes = "The pack needs mapped runtime texture hashes.";
constexpr const char* notPngOrDds = "Only explicit PNG or DDS texture paths are supported.";

json mapping(const std::string& hash, const std::string& path) {
    return {{"hashes", {{"rt64", hash}}}, {"path", path}};
}

std::string hashNumber(std::size_t n) {
    char text[17];
    std::snprintf(text, sizeof text, "%016zx", n);
    return text;
}

json description(json textures, json configuration = {{"configurationVersion", 3}, {"hashVersion", 5}}) {
    return {{"configuration", configuration}, {"textures", textures}};
}

// The pack's files in memory, keyed by the relative path as the description
// spells it; the player may cancel once some have been read.
struct FakeFiles : TextureFiles {
    std::map<std::wstring, std::string> files;
    TaskProgress progress;
    std::size_t reads = 0, cancelAfter = 0;
    TextureImage readMappedTexture(const std::wstring& relativePath) override {
        if (++reads == cancelAfter) progress.cancel();
        auto found = files.find(relativePath);
        if (found == files.end()) throw MessageError("A mapped texture is missing.");
        return {found->second.size(), found->second};
    }
};

std::string judge(const json& document, const std::map<std::wstring, std::string>& files) {
    FakeFiles fake;
    fake.files = files;
    return outcomeOf([&] { return judgeTexturePack(document, fake, fake.progress); });
}

} // namespace

TEST(TexturePackRules, DescriptionNumbersAndCounts) {
    json one = json::array({mapping("00000000000000ab", "a.png")});
    json many = json::array();
    for (std::size_t n = 0; n < 100001; ++n) many.push_back(mapping(hashNumber(n), "a.png"));
    json most = many;
    most.erase(most.size() - 1);
    struct Case { const char* what; json document; std::string outcome; };
    for (const Case& c : std::vector<Case>{
             {"one mapping", description(one), "1"},
             {"100000 mappings", description(most), "100000"},
             {"100001 mappings", description(many), needsHashes},
             {"no mappings", description(json::array()), needsHashes},
             {"textures not an array", description(json::object({{"a", 1}})), needsHashes},
             {"versions as 3.0 and 5.0", description(one, {{"configurationVersion", 3.0}, {"hashVersion", 5.0}}), "1"},
             {"configuration version as text", description(one, {{"configurationVersion", "3"}, {"hashVersion", 5}}), versions},
             {"configuration version 4", description(one, {{"configurationVersion", 4}, {"hashVersion", 5}}), versions},
             {"hash version 6", description(one, {{"configurationVersion", 3}, {"hashVersion", 6}}), versions},
             {"hash version missing", description(one, {{"configurationVersion", 3}}), "[json.exception.out_of_range.403]"},
             {"configuration missing", json{{"textures", one}}, "[json.exception.out_of_range.403]"}}) {
        EXPECT_EQ(libraryErrorId(judge(c.document, {{L"a.png", png}})), c.outcome) << c.what;
    }
}

TEST(TexturePackRules, ProgressCountsImagesAndACancelStopsAtTheNext) {
    json textures = json::array();
    for (std::size_t n = 0; n < 100000; ++n) textures.push_back(mapping(hashNumber(n), "a.png"));
    struct Case { std::size_t mappings, cancelAfter; std::string outcome, shown; std::size_t reads; };
    for (const Case& c : std::vector<Case>{
             {3, 0, "3", "3 of 3 images", 3},
             {100000, 41200, "cancelled", "41,200 of 100,000 images", 41200},
             {100000, 1, "cancelled", "1 of 100,000 images", 1},
             {5, 5, "cancelled", "5 of 5 images", 5}}) {  // cancelled at the last image: still no count
        FakeFiles fake;
        fake.files = {{L"a.png", png}};
        fake.cancelAfter = c.cancelAfter;
        json document = description(json(textures.begin(), textures.begin() + static_cast<std::ptrdiff_t>(c.mappings)));
        std::string outcome = "cancelled";
        try {
            outcome = std::to_string(judgeTexturePack(document, fake, fake.progress));
        } catch (const TaskCancelled&) {
        }
        EXPECT_EQ(outcome, c.outcome) << c.mappings << " " << c.cancelAfter;
        EXPECT_EQ(wideToUtf8(progressDetail(fake.progress.snapshot())), c.shown) << c.mappings << " " << c.cancelAfter;
        EXPECT_EQ(fake.reads, c.reads) << "no image is read after the cancel";
    }
    // Reading a large description takes seconds too: its parse stops as well.
    TaskProgress cancelled;
    cancelled.cancel();
    EXPECT_THROW(parseTextureDescription(description(textures).dump(), cancelled), TaskCancelled);
}

TEST(TexturePackRules, HashesPathsAndImages) {
    struct Case { std::vector<std::pair<std::string, std::string>> mappings; std::string outcome; };
    for (const Case& c : std::vector<Case>{
             {{{"00000000000000AB", "textures/a.png"}, {"00000000000000ab", "a.PNG"}}, badHash},
             {{{"0123456789abcde", "a.png"}}, badHash},
             {{{"0123456789abcdeg", "a.png"}}, badHash},
             {{{"0123456789abcdeg", "../a.png"}}, badHash},  // the hash is judged first
             // Which paths are safe is the fuzz target's; here, which sentence each refusal gets.
             {{{"0000000000000001", "../a.png"}}, escapes},
             {{{"0000000000000001", "a./b.png"}}, escapes},
             {{{"0000000000000001", "dir/"}}, escapes},
             {{{"0000000000000001", "a\\b.png"}}, unsafe},
             {{{"0000000000000001", "/a.png"}}, unsafe},
             {{{"0000000000000001", "missing.png"}}, "A mapped texture is missing."},
             {{{"0000000000000001", ".png"}}, notPngOrDds},
             {{{"0000000000000001", "a.txt"}}, notPngOrDds},
             {{{"0000000000000001", "short.png"}}, "Mapped PNG has an invalid signature."},
             {{{"0000000000000001", "b.dds.png"}}, "Mapped PNG has an invalid signature."},
             {{{"0000000000000001", "b.dds"}}, "1"},
             {{{"0000000000000001", "short.DDS"}}, "Mapped DDS has an invalid signature."}}) {
        json textures = json::array();
        for (const auto& [hash, path] : c.mappings) textures.push_back(mapping(hash, path));
        std::map<std::wstring, std::string> files{
            {L"textures/a.png", png}, {L"a.PNG", png}, {L".png", png}, {L"a.txt", png},
            {L"short.png", png.substr(0, 23)}, {L"b.dds", dds}, {L"b.dds.png", dds}, {L"short.DDS", dds.substr(0, 127)}};
        EXPECT_EQ(judge(description(textures), files), c.outcome) << c.mappings.front().second;
    }
    json wrongType = description(json::array({{{"hashes", {{"rt64", 7}}}, {"path", "a.png"}}}));
    EXPECT_EQ(libraryErrorId(judge(wrongType, {})), "[json.exception.type_error.302]");
}

TEST(TexturePack, FoldersAndFilesOnDisk) {
    TempFolder root(L"packs");
    std::wstring app = root / L"App", data = root / L"Data\\";  // data recorded with a trailing separator
    std::wstring pack = root / L"Pack";
    std::wstring linkedPack = std::wstring(VEXA_TEST_DRIVE) + L"links\\pack-with-link";
    constexpr const char* outside = "Keep the external pack outside the application and player-data folders.";
    constexpr const char* choose = "Choose an existing absolute texture pack folder.";
    struct Case {
        const char* what;
        std::wstring folder;
        std::function<void()> prepare;
        std::string outcome;
        bool enabled = true;
    };
    auto good = [&] { writeTexturePack(pack, {{"textures/a/b.png", png}, {"textures/c.DDS", dds}, {"d.png", png}}); };
    auto ddsOf = [&](std::uintmax_t bytes) {  // sparse: the size is what matters
        return [&, bytes] {
            writeTexturePack(pack, {{"big.dds", dds}});
            fs::resize_file(joinPath(pack, L"big.dds"), bytes);
        };
    };
    for (const Case& c : std::vector<Case>{
             {"disabled, missing folder", root / L"none", [] {}, "0", false},
             {"good pack", pack, good, "3"},
             {"non-ASCII folder", root / L"Pack\x00e9", [] {}, "Use an ASCII-only external pack folder path with this "
              "retained runtime, for example C:\\VexaTexturePacks\\MyPack."},
             {"inside the application folder, other case", root / L"APP\\pack", [] {}, outside},
             {"the player-data folder itself", root / L"DATA", [] {}, outside},
             {"inside the application folder, spelt with a trailing dot", root / L"App.\\pack", [] {}, outside},
             {"relative", L"Pack", [] {}, choose},
             {"missing", root / L"none", [] {}, choose},
             {"a file", pack, [&] { writeFile(pack, "x"); }, choose},
             {"linked pack folder", std::wstring(VEXA_TEST_DRIVE) + L"links\\linked\\app", [] {}, "Linked Mods paths are unsupported."},
             {"linked folder inside the pack", linkedPack,
              [&] { writeTexturePack(linkedPack, {{"inner/extra.png", png}}); }, "Linked Mods paths are unsupported."},
             {"no description", pack, [&] { fs::create_directories(pack); }, "A Mods file is missing or unreadable."},
             {"description over 32 MiB", pack, [&] {
                  good();
                  writeFile(joinPath(pack, L"rt64.json"), std::string(33554433, ' '));
              }, "A Mods file exceeds its size limit."},
             {"an image at its limit", pack, ddsOf(134217728), "1"},
             {"an image a byte over its limit", pack, ddsOf(134217729), "A Mods file exceeds its size limit."},
             {"a folder mapped", pack, [&] { writeTexturePack(pack, {{"textures/a.png", ""}}); }, "A mapped texture is missing."},
             {"an image missing", pack, [&] { writeTexturePack(pack, {{"a.png", png}, {"b.png", ""}}); }, "A mapped texture is missing."},
             // Device names open devices: NUL opens and is no file of the pack, CON does not open here.
             {"a device mapped", pack, [&] { writeTexturePack(pack, {{"NUL.png", ""}}); }, "A mapped texture is missing."},
             {"a device in a folder", pack, [&] { writeTexturePack(pack, {{"sub/CON.png", ""}}); }, "A Mods file is missing or unreadable."}}) {
        fs::remove_all(pack);
        fs::create_directories(app);
        c.prepare();
        if (std::string(c.what) == "a folder mapped") fs::create_directories(pack + L"\\textures\\a.png");
        EXPECT_EQ(outcomeOf([&] { return validateTexturePack({c.enabled, c.folder}, app, data); }), c.outcome) << c.what;
    }
    good();
    auto holder = startHelper({L"hold-file", joinPath(pack, L"d.png"), L"none"});
    TaskProgress progress;
    EXPECT_EQ(failureOf([&] { validatePackFolder(pack, progress); }), "A Mods file is missing or unreadable.");
}
