#pragma once
// The shipped files and their SHA-256 digests. The table is generated at build
// time from the release payload; nobody edits it by hand.
#include <cstddef>
#include <span>
#include <string>

namespace vexa {

struct InstallationRow {
    const wchar_t* relativePath;  // '/'-separated, below the application folder
    const char* sha256;           // 64 lowercase hexadecimal characters
};

std::span<const InstallationRow> installationTable();

// Proves every row against the application folder; the first mismatch fails.
void verifyInstallation(const std::wstring& applicationFolder);

} // namespace vexa
