#pragma once
// Whole-file reads with a caller-chosen byte limit, durable writes of new files
// and the atomic replacement of records.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

using ByteBuffer = std::vector<unsigned char>;

// Installation and player-data files.
ByteBuffer readRequiredFile(const std::wstring& path, std::uint64_t maxBytes);
// Mods files: same rules, their own messages; the bytes come back undecoded.
std::string readModsFile(const std::wstring& path, std::uint64_t maxBytes);

// Creates a file that must not exist yet, writes everything and flushes it to disk.
void writeNewFile(const std::wstring& path, const void* bytes, std::size_t length);

// Writes content to temporaryPath (a new file in the target's folder), then
// moves it over target with write-through. The old target survives any failure;
// a failed move removes the temporary file and raises failureMessage.
void replaceFileAtomically(const std::wstring& temporaryPath, const std::wstring& target,
                           std::string_view content, const std::string& failureMessage);

// True when the file system reports any object at path (links followed).
// Failures other than "not found" raise the platform's own error text.
bool pathExists(const std::wstring& path);

} // namespace vexa
