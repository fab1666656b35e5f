#include "mods/TexturePackRules.h"

#include "integrity/MessageError.h"
#include "integrity/TaskProgress.h"
#include "integrity/TextConversion.h"

#include <nlohmann/json.hpp>

#include <unordered_set>

namespace vexa {
namespace {

constexpr std::size_t maxMappings = 100000;

// The runtime hash as its 64-bit value: equal values are duplicates whatever
// the letter case.
std::uint64_t runtimeHash(std::string_view text) {
    const char* invalid = "Invalid or duplicate RT64 runtime hash.";
    if (text.size() != 16) throw MessageError(invalid);
    std::uint64_t value = 0;
    for (char c : text) {
        char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        int digit = (lower >= '0' && lower <= '9') ? lower - '0' : (lower >= 'a' && lower <= 'f') ? lower - 'a' + 10 : -1;
        if (digit < 0) throw MessageError(invalid);
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return value;
}

// From the last dot of the final element, lower-cased; none when that element
// begins with its only dot (".png" is a name, not an extension).
std::wstring extensionOf(const std::wstring& relativePath) {
    std::size_t nameStart = relativePath.rfind(L'/');
    nameStart = nameStart == std::wstring::npos ? 0 : nameStart + 1;
    std::size_t dot = relativePath.rfind(L'.');
    if (dot == std::wstring::npos || dot <= nameStart) return {};
    std::wstring extension = relativePath.substr(dot);
    for (wchar_t& unit : extension)
        if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    return extension;
}

// A string member read in place: a pack maps up to 100000 images, and under
// Wine every copy is a heap call. Any other type raises the library's own
// type error, worded as a copying read words it.
const std::string& textOf(const nlohmann::json& value) {
    if (!value.is_string()) static_cast<void>(value.get<std::string>());
    return value.get_ref<const std::string&>();
}

bool startsWith(std::string_view content, std::string_view signature) {
    return content.substr(0, signature.size()) == signature;
}

void requireImageSignature(const std::wstring& extension, const TextureImage& image) {
    if (extension == L".png") {
        if (image.size < 24 || !startsWith(image.head, std::string_view("\x89PNG\r\n\x1a\n", 8)))
            throw MessageError("Mapped PNG has an invalid signature.");
    } else if (extension == L".dds") {
        if (image.size < 128 || !startsWith(image.head, "DDS "))
            throw MessageError("Mapped DDS has an invalid signature.");
    } else {
        throw MessageError("Only explicit PNG or DDS texture paths are supported.");
    }
}

// The library's own document builder, asking after every few thousand
// values whether the player cancelled.
class CancellableDocument {
public:
    using Json = nlohmann::json;
    CancellableDocument(Json& result, TaskProgress& progress) : document_(result, true), progress_(progress) {}

    bool null() { return asked() && document_.null(); }
    bool boolean(bool value) { return asked() && document_.boolean(value); }
    bool number_integer(Json::number_integer_t value) { return asked() && document_.number_integer(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return asked() && document_.number_unsigned(value); }
    bool number_float(Json::number_float_t value, const Json::string_t& text) {
        return asked() && document_.number_float(value, text);
    }
    bool string(Json::string_t& value) { return asked() && document_.string(value); }
    bool binary(Json::binary_t& value) { return asked() && document_.binary(value); }
    bool start_object(std::size_t elements) { return asked() && document_.start_object(elements); }
    bool key(Json::string_t& value) { return document_.key(value); }
    bool end_object() { return document_.end_object(); }
    bool start_array(std::size_t elements) { return asked() && document_.start_array(elements); }
    bool end_array() { return document_.end_array(); }
    bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& failure) {
        return document_.parse_error(position, token, failure);
    }

private:
    bool asked() {
        if ((++values_ & 0xfff) == 0) progress_.throwIfCancelled();
        return true;
    }

    nlohmann::detail::json_sax_dom_parser<Json> document_;
    TaskProgress& progress_;
    std::uint64_t values_ = 0;
};

} // namespace

nlohmann::json parseTextureDescription(std::string_view text, TaskProgress& progress) {
    nlohmann::json description;
    CancellableDocument builder(description, progress);
    nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, true, false);
    return description;
}

std::wstring toSafeTexturePath(std::string_view text) {
    // The file API ends a name at a NUL, so "a.png\0.dds" would open "a.png".
    if (text.empty() || text.find_first_of(std::string_view("\\:\0", 3)) != std::string_view::npos ||
        text.front() == '/')
        throw MessageError("A texture path is not a safe relative path.");
    std::wstring path = utf8ToWide(text);
    std::size_t start = 0;
    while (true) {
        std::size_t end = path.find(L'/', start);
        std::wstring_view element = std::wstring_view(path).substr(start, end == std::wstring::npos ? end : end - start);
        // The platform drops trailing dots and blanks, so "a." would open "a".
        if (element.empty() || element == L"." || element == L".." || element.back() == L'.' || element.back() == L' ')
            throw MessageError("A texture path escapes or aliases its pack.");
        if (end == std::wstring::npos) return path;
        start = end + 1;
    }
}

std::uint64_t judgeTexturePack(const nlohmann::json& description, TextureFiles& files, TaskProgress& progress) {
    const nlohmann::json& configuration = description.at("configuration");
    const char* versions = "Require RT64 configuration 3 and hash version 5.";
    // The library's number equality: 3.0 equals 3, the text "3" does not.
    if (!(configuration.at("configurationVersion") == 3)) throw MessageError(versions);
    if (!(configuration.at("hashVersion") == 5)) throw MessageError(versions);

    const nlohmann::json& textures = description.at("textures");
    if (!textures.is_array() || textures.empty() || textures.size() > maxMappings)
        throw MessageError("The pack needs mapped runtime texture hashes.");

    progress.begin(L"Checking the texture pack");
    progress.measure(ProgressUnit::images, textures.size());
    std::unordered_set<std::uint64_t> hashes;
    hashes.reserve(textures.size());
    std::uint64_t judged = 0;
    for (const nlohmann::json& texture : textures) {
        if (!hashes.insert(runtimeHash(textOf(texture.at("hashes").at("rt64")))).second)
            throw MessageError("Invalid or duplicate RT64 runtime hash.");
        std::wstring relativePath = toSafeTexturePath(textOf(texture.at("path")));
        requireImageSignature(extensionOf(relativePath), files.readMappedTexture(relativePath));
        progress.advance(++judged);
    }
    return textures.size();
}

} // namespace vexa
