#include "integrity/Digest.h"
#include "integrity/FileIo.h"
#include "integrity/InstallationTable.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"

namespace vexa {

void verifyInstallation(const std::wstring& applicationFolder) {
    constexpr std::uint64_t maxInstalledFileBytes = 134217728;
    for (const InstallationRow& row : installationTable()) {
        std::wstring path = joinPath(applicationFolder, row.relativePath);
        requireSafeFolderPath(path);
        // One file's content at a time: it is released before the next row.
        ByteBuffer content = readRequiredFile(path, maxInstalledFileBytes);
        if (hexDigest(content.data(), content.size(), L"SHA256") != row.sha256)
            throw MessageError("Installed files changed or are missing. Install a fresh version.");
    }
}

} // namespace vexa
