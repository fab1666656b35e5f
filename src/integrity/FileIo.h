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
// The same for a file the caller has opened and keeps.
ByteBuffer readOpenRequiredFile(void* file, std::uint64_t maxBytes);
// Mods files: same rules, their own messages; the bytes come back undecoded.
std::string readModsFile(const std::wstring& path, std::uint64_t maxBytes);
// A Mods file the caller has opened, read to its end through buffer (capacity
// bytes, more than keep), which is reused read after read except for its first
// keep bytes: those keep the file's first bytes, and a file that fits stays
// whole. The read itself tells the size (a byte past maxBytes is too large),
// so no size query is needed. Returns the size.
std::uint64_t readOpenModsFile(void* file, char* buffer, std::size_t capacity, std::size_t keep,
                               std::uint64_t maxBytes);

// Creates a file that must not exist yet, writes everything and flushes it to disk.
void writeNewFile(const std::wstring& path, const void* bytes, std::size_t length);

// Writes content to temporaryPath (a new file in the target's folder), then
// moves it over target with write-through. The old target survives any failure;
// a failed move removes the temporary file and raises failureMessage.
void replaceFileAtomically(const std::wstring& temporaryPath, const std::wstring& target,
                           std::string_view content, const std::string& failureMessage);
// The second half of that: the move, and the clean-up when it fails.
void moveOverTarget(const std::wstring& temporaryPath, const std::wstring& target,
                    const std::string& failureMessage);

enum class PathKind { Missing, File, Folder };
// What the file system reports at path, links followed. Failures other than
// "not found" raise the platform's own error text.
PathKind pathKind(const std::wstring& path);
bool pathExists(const std::wstring& path);
// Creates the folder and any missing folders above it; an existing folder is
// fine. Failures raise the platform's own error text.
void createFolders(const std::wstring& path);

} // namespace vexa
