#include "integrity/PathSafety.h"

#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"

#include <stdexcept>
#include <unordered_set>
#include <vector>
#include <windows.h>

namespace vexa {
namespace {

bool isReparsePoint(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Tests the path itself and then every folder above it, deepest first. A part
// that does not exist is no error: the walk just goes on to its parent. Parts
// in proven passed before and end the walk, as everything above them did too.
void requireNoReparsePointUpward(const std::wstring& path, const char* message,
                                 std::unordered_set<std::wstring>* proven = nullptr) {
    std::wstring current = path;
    while (!current.empty() && !(proven && proven->contains(current))) {
        // A symbolic link is a reparse point on Windows, so one attribute test
        // covers links, junctions and mount points alike.
        if (isReparsePoint(current)) throw MessageError(message);
        std::wstring parent = parentPath(current);
        bool root = parent == current;
        if (proven) proven->insert(std::move(current));
        if (root) break;
        current = std::move(parent);
    }
}

constexpr const char* linkedModsPath = "Linked Mods paths are unsupported.";

// Where the system says an open file or folder is, or empty when it cannot tell.
std::wstring finalPathOf(HANDLE file) {
    DWORD units = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    std::wstring finalPath(units, L'\0');
    DWORD written = units ? GetFinalPathNameByHandleW(file, finalPath.data(), units, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS) : 0;
    if (written == 0 || written >= units) return {};
    return withoutVerbatimPrefix(finalPath.substr(0, written));
}

// The element as the file system would create it: trailing dots and blanks go.
std::wstring asCreated(std::wstring element) {
    while (!element.empty() && (element.back() == L'.' || element.back() == L' ')) element.pop_back();
    return element;
}

} // namespace

std::wstring currentFolder() {
    DWORD units = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(units, L'\0');
    DWORD written = units ? GetCurrentDirectoryW(units, folder.data()) : 0;
    if (written == 0 || written >= units)
        throw std::runtime_error("Cannot read the current folder.");
    folder.resize(written);
    return folder;
}

std::wstring normalAbsolutePath(const std::wstring& path) {
    return lexicallyNormal(makeAbsolute(path, currentFolder()));
}

void requireSafeFolderPath(const std::wstring& path) {
    requireAbsoluteUnlinkedPath(path, "Choose an absolute installation or data folder.",
                                "Linked installation or save folders are unsupported.");
}

void requireAbsoluteUnlinkedPath(const std::wstring& path, const char* notAbsolute, const char* linked) {
    if (!isAbsoluteWidePath(path)) throw MessageError(notAbsolute);
    requireNoReparsePointUpward(path, linked);
}

void requireUnlinkedModsPath(const std::wstring& path) {
    requireNoReparsePointUpward(path, linkedModsPath);
}

void ModsLinkWalk::require(const std::wstring& path) {
    requireNoReparsePointUpward(path, linkedModsPath, &proven_);
}

std::wstring requireFinalPath(void* file, const std::wstring& checkedPath, const char* message) {
    std::wstring finalPath = finalPathOf(file);
    if (finalPath.empty()) throw MessageError(message);
    std::wstring checked = lexicallyNormal(checkedPath);
    if (CompareStringOrdinal(finalPath.data(), static_cast<int>(finalPath.size()), checked.data(),
                             static_cast<int>(checked.size()), TRUE) != CSTR_EQUAL)
        throw MessageError(message);
    return finalPath;
}

bool isSameOrInside(const std::wstring& path, const std::wstring& folder) {
    return isSameOrInsideFolder(path, folder, currentFolder());
}

std::wstring resolvedPath(const std::wstring& path) {
    std::wstring existing = normalAbsolutePath(path);
    std::vector<std::wstring> below;
    while (true) {
        UniqueFile opened(CreateFileW(existing.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (opened) {
            std::wstring resolved = finalPathOf(opened.get());
            if (resolved.empty()) break;
            for (auto element = below.rbegin(); element != below.rend(); ++element) resolved = joinPath(resolved, *element);
            return resolved;
        }
        std::wstring parent = parentPath(existing);
        if (parent == existing) break;
        std::wstring name = existing.substr(parent.size());
        name.erase(0, name.find_first_not_of(L"\\/"));
        below.push_back(asCreated(std::move(name)));
        existing = std::move(parent);
    }
    return normalAbsolutePath(path);  // nothing of it can be opened: its spelling is all there is
}

bool isSameOrInsideOnDisk(const std::wstring& path, const std::wstring& folder) {
    return isSameOrInside(path, folder) || isSameOrInside(resolvedPath(path), resolvedPath(folder));
}

} // namespace vexa
