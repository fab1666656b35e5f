#pragma once
// The rules of an RT64 texture pack's description (rt64.json), apart from the
// disk: the files are reached through TextureFiles, so the judgement can be
// exercised on any document without a pack on disk.
#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa {

class TaskProgress;

// A mapping's "path" as a relative path inside the pack: forward slashes only,
// nothing that climbs out or aliases another name through trailing dots or
// blanks.
std::wstring toSafeTexturePath(std::string_view text);

// What the rules need of a mapped image: its size and its first bytes.
struct TextureImage {
    std::uint64_t size = 0;
    std::string_view head;  // the first textureHeadBytes, or all of a smaller file
};
inline constexpr std::size_t textureHeadBytes = 16;

class TextureFiles {
public:
    virtual ~TextureFiles() = default;
    // Reads a mapped file (a relative path of the pack) to its end; the head
    // stays valid until the next call. Raises when the file or a folder on its
    // way is a link, when it is missing or no regular file, and with the Mods
    // read messages.
    virtual TextureImage readMappedTexture(const std::wstring& relativePath) = 0;
};

// The description parsed as the library parses any document here: strictly,
// comments refused, its own errors raised. A cancel stops it within a few
// thousand values (TaskCancelled): a pack's description can take seconds.
nlohmann::json parseTextureDescription(std::string_view text, TaskProgress& progress);

// Every rule, in order, on a parsed description; the number of mappings.
// Progress counts the images as they are read, and a cancel stops the
// judgement before the next one (TaskCancelled).
std::uint64_t judgeTexturePack(const nlohmann::json& description, TextureFiles& files, TaskProgress& progress);

} // namespace vexa
