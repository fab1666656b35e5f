// The texture-pack judgement: the input is the description's text, then a
// NUL and the images, separated by FF FE FD FC. The n-th file asked for is
// the n-th image, or missing when there are fewer.
#include "FuzzSupport.h"
#include "integrity/TaskProgress.h"
#include "integrity/TextConversion.h"
#include "mods/TexturePackRules.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <set>

using namespace vexa;

namespace {

struct InputFiles : TextureFiles {
    std::vector<std::string> images;
    std::vector<std::wstring> asked;
    TextureImage readMappedTexture(const std::wstring& relativePath) override {
        asked.push_back(relativePath);
        if (asked.size() > images.size()) throw MessageError("A mapped texture is missing.");
        const std::string& image = images[asked.size() - 1];
        return {image.size(), std::string_view(image).substr(0, textureHeadBytes)};
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t nul = std::min(input.find('\0'), input.size());
    nlohmann::json description = nlohmann::json::parse(input.substr(0, nul), nullptr, false);
    if (description.is_discarded()) return 0;
    InputFiles files;
    for (std::size_t at = nul + 1; at <= input.size();) {
        std::size_t end = std::min(input.find("\xff\xfe\xfd\xfc", at), input.size());
        files.images.emplace_back(input.substr(at, end - at));
        at = end + 4;
    }

    std::uint64_t mappings = 0;
    TaskProgress progress;
    if (fuzz::refusalOf<nlohmann::json::exception>([&] { mappings = judgeTexturePack(description, files, progress); }))
        return 0;
    const nlohmann::json& textures = description.at("textures");
    fuzz::check(mappings == textures.size() && mappings == files.asked.size(), "every mapping read once");
    std::set<std::string> hashes;
    for (std::size_t n = 0; n < textures.size(); ++n) {
        std::string hash = textures[n].at("hashes").at("rt64");
        for (char& c : hash) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        hashes.insert(hash);
        fuzz::check(wideToUtf8(files.asked[n]) == textures[n].at("path").get<std::string>(),
                    "the file read is the one the mapping names");
    }
    fuzz::check(hashes.size() == mappings, "runtime hashes are distinct whatever their case");
    fuzz::check(progress.snapshot().done == mappings, "progress counts every image judged");
    return 0;
}
