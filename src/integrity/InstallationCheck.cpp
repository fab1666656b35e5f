#include "integrity/Digest.h"
#include "integrity/FileIo.h"
#include "integrity/InstallationTable.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"

#include <windows.h>

namespace vexa {
namespace {

constexpr std::uint64_t maxInstalledFileBytes = 134217728;

void requireListedContent(const ByteBuffer& content, const InstallationRow& row) {
    if (hexDigest(content.data(), content.size(), L"SHA256") != row.sha256)
        throw MessageError("Installed files changed or are missing. Install a fresh version.");
}

// Opened once, never through a link at the file itself or a folder above it
// (the handle says what was opened), and not shared with writers or deleters.
UniqueFile holdInstalledFile(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) throw MessageError("A required file is missing or unreadable.");
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag))
        throw MessageError("A required file is missing or unreadable.");
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw MessageError("Linked installation or save folders are unsupported.");
    if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw MessageError("A required file is missing or unreadable.");
    // A folder re-pointed after the link walk, or a link the attributes do not show.
    requireFinalPath(file.get(), path, "Linked installation or save folders are unsupported.");
    return file;
}

} // namespace

void verifyInstallation(const std::wstring& applicationFolder) {
    for (const InstallationRow& row : installationTable()) {
        std::wstring path = joinPath(applicationFolder, row.relativePath);
        requireSafeFolderPath(path);
        // One file's content at a time: it is released before the next row.
        requireListedContent(readRequiredFile(path, maxInstalledFileBytes), row);
    }
}

InstallationHold verifyAndHoldInstallation(const std::wstring& applicationFolder) {
    InstallationHold hold;
    for (const InstallationRow& row : installationTable()) {
        std::wstring path = joinPath(applicationFolder, row.relativePath);
        requireSafeFolderPath(path);
        UniqueFile file = holdInstalledFile(path);
        requireListedContent(readOpenRequiredFile(file.get(), maxInstalledFileBytes), row);
        hold.keep(std::move(file));
    }
    return hold;
}

} // namespace vexa
