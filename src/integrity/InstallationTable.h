#pragma once
// The shipped files and their SHA-256 digests. The table is generated at build
// time from the release payload; nobody edits it by hand.
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "integrity/UniqueHandle.h"

namespace vexa {

struct InstallationRow {
    const wchar_t* relativePath;  // '/'-separated, below the application folder
    const char* sha256;           // 64 lowercase hexadecimal characters
};

std::span<const InstallationRow> installationTable();

// Proves every row against the application folder; the first mismatch fails.
// Each file is read and released before the next row.
void verifyInstallation(const std::wstring& applicationFolder);

// The installed files as verified, each kept open for reading with read-only
// sharing: others may read and run them, nobody may write, rename or delete
// one while it is held, so what was verified is what runs.
class InstallationHold {
public:
    InstallationHold() = default;
    InstallationHold(InstallationHold&&) noexcept = default;
    InstallationHold& operator=(InstallationHold&&) noexcept = default;
    void keep(UniqueFile file) { files_.push_back(std::move(file)); }

private:
    std::vector<UniqueFile> files_;
};

// The same proof through handles that are then held.
InstallationHold verifyAndHoldInstallation(const std::wstring& applicationFolder);

} // namespace vexa
