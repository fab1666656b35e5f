#pragma once
// The launcher files an update package carries, as one RCDATA resource:
//
//   vexa3711-launcher-files 1\n
//   <sha256, 64 lowercase hex> <size, decimal> <relative path>\n   (one line per file)
//   \n
//   <the files' bytes, in table order; nothing follows them>
//
// Paths are '/'-separated below the application folder; the table order is
// the order in which the files are swapped in.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

inline constexpr const wchar_t* payloadResourceName = L"VEXA_LAUNCHER_FILES";
inline constexpr std::string_view payloadHeader = "vexa3711-launcher-files 1\n";

struct PayloadFile {
    std::wstring relativePath;  // '\'-separated
    std::string sha256;
    std::size_t offset = 0;     // of the content, from the start of the resource
    std::size_t size = 0;
};

// Plain names only ('/'-separated, UTF-8): nothing that could leave the
// application folder, name a stream or a device, or be read two ways by the
// file system.
bool isAllowedPayloadPath(std::string_view path);
// Such a name that is not a shipped game file nor a record of the installer or updater.
bool isLauncherFilePath(std::string_view path);

// The table, its path rules and its sizes; contents are not hashed here.
std::vector<PayloadFile> parsePayloadTable(std::string_view resource);
// The table and every file's SHA-256.
std::vector<PayloadFile> verifyPayload(std::string_view resource);

struct PayloadSource {
    std::string relativePath;   // '/'-separated, UTF-8
    std::string content;
};
// The resource for these files: the packaging tool's half of the format, built
// into the packer and the tests only, never into the updater.
std::string buildPayload(const std::vector<PayloadSource>& files);

} // namespace vexa
