#include "mods/TexturePack.h"

#include "integrity/FileIo.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"
#include "integrity/TaskProgress.h"
#include "integrity/UniqueHandle.h"
#include "mods/TexturePackRules.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <vector>
#include <windows.h>

namespace vexa {
namespace {

constexpr std::uint64_t maxDescriptionBytes = 33554432;
constexpr std::uint64_t maxImageBytes = 134217728;
constexpr const char* missingTexture = "A mapped texture is missing.";

// The pack's images, each opened once: the open itself does not follow a
// link at the image (its handle tells whether it is one) and the same handle
// is read, so a pack of many small images costs no more system calls than
// reading them. Folders on the way are proven unlinked once per validation.
class PackFolderFiles : public TextureFiles {
public:
    explicit PackFolderFiles(const std::wstring& folder) : folder_(folder) {}

    TextureImage readMappedTexture(const std::wstring& relativePath) override {
        std::wstring path = joinPath(folder_, relativePath);
        folders_.require(parentPath(path));
        UniqueFile image(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!image) refuseUnopened(path);
        // A device name (NUL.png) opens the device, not a file of the pack.
        if (GetFileType(image.get()) != FILE_TYPE_DISK) throw MessageError(missingTexture);
        // The link check needs the attribute tag; the size comes from the read.
        // Not GetFileInformationByHandle: its volume serial number costs a
        // volume query, which dominates a pack of small images.
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(image.get(), FileAttributeTagInfo, &tag, sizeof tag))
            throw MessageError("A Mods file is missing or unreadable.");
        if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) throw MessageError("Linked Mods paths are unsupported.");
        if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw MessageError(missingTexture);
        // Only the size and the first bytes are judged, so a large image
        // passes through one reused buffer rather than being held whole.
        std::uint64_t size = readOpenModsFile(image.get(), buffer_.data(), buffer_.size(), textureHeadBytes, maxImageBytes);
        return {size, std::string_view(buffer_.data(), std::min<std::uint64_t>(size, textureHeadBytes))};
    }

private:
    // Why an image would not open, in the order of the rules: a link, then
    // no regular file there, then a file that cannot be read.
    [[noreturn]] static void refuseUnopened(const std::wstring& path) {
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            throw MessageError("Linked Mods paths are unsupported.");
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw MessageError(missingTexture);
        throw MessageError("A Mods file is missing or unreadable.");
    }

    std::wstring folder_;
    ModsLinkWalk folders_;
    // Large images pass through it a megabyte at a time.
    std::vector<char> buffer_ = std::vector<char>(1 << 20);
};

} // namespace

std::uint64_t validateTexturePack(const ModsSettings& settings, const std::wstring& applicationFolder,
                                  const std::wstring& playerDataFolder, TaskProgress* progress) {
    if (!settings.enabled) return 0;
    if (std::any_of(settings.folder.begin(), settings.folder.end(), [](wchar_t unit) { return unit >= 128; }))
        throw MessageError("Use an ASCII-only external pack folder path with this retained runtime, for example "
                           "C:\\VexaTexturePacks\\MyPack.");
    if (isSameOrInsideOnDisk(settings.folder, applicationFolder) || isSameOrInsideOnDisk(settings.folder, playerDataFolder))
        throw MessageError("Keep the external pack outside the application and player-data folders.");
    TaskProgress unseen;
    return validatePackFolder(settings.folder, progress ? *progress : unseen);
}

std::uint64_t validatePackFolder(const std::wstring& folder, TaskProgress& progress) {
    progress.begin(L"Reading the texture pack's description");
    if (!isAbsoluteWidePath(folder) || pathKind(folder) != PathKind::Folder)
        throw MessageError("Choose an existing absolute texture pack folder.");
    std::wstring descriptionPath = joinPath(folder, L"rt64.json");
    requireUnlinkedModsPath(folder);
    requireUnlinkedModsPath(descriptionPath);
    // The text is gone once parsed: only the document stays during the reads.
    nlohmann::json description =
        parseTextureDescription(readModsFile(descriptionPath, maxDescriptionBytes), progress);
    PackFolderFiles files(folder);
    return judgeTexturePack(description, files, progress);
}

} // namespace vexa
