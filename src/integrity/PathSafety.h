#pragma once
// Rules that make a path trustworthy: absolute, and no link or other reparse
// point on it or on any folder above it.
#include <string>
#include <unordered_set>

namespace vexa {

std::wstring currentFolder();
// Absolute against the current folder, then lexically normal.
std::wstring normalAbsolutePath(const std::wstring& path);

// Installation family: "Choose an absolute installation or data folder." or
// "Linked installation or save folders are unsupported."
void requireSafeFolderPath(const std::wstring& path);
// The same rule with a caller's own two messages.
void requireAbsoluteUnlinkedPath(const std::wstring& path, const char* notAbsolute, const char* linked);
// Mods family: "Linked Mods paths are unsupported."; relative and empty paths allowed.
void requireUnlinkedModsPath(const std::wstring& path);

// The Mods link rule over the many paths of one tree: a folder proven
// unlinked is remembered, so each folder is asked about once.
class ModsLinkWalk {
public:
    void require(const std::wstring& path);

private:
    std::unordered_set<std::wstring> proven_;
};

bool isSameOrInside(const std::wstring& path, const std::wstring& folder);
// The same question asked of the folders themselves rather than their
// spellings: each path, or its nearest existing folder, is resolved to the
// path the system reports for it once opened, so 8.3 names, trailing dots and
// blanks, links and other aliases meet the rule like the plain spelling.
bool isSameOrInsideOnDisk(const std::wstring& path, const std::wstring& folder);
// The path as the system resolves it: its nearest existing folder opened and
// asked where it is, the elements below that joined on as they would be made.
std::wstring resolvedPath(const std::wstring& path);

// The path of an open file as the system resolved it, which must be the path
// that was checked (letter case aside, as the file system ignores it): a link
// at the file or a folder re-pointed between the check and the open shows
// here. Returns that path, the one to use from now on; otherwise raises message.
std::wstring requireFinalPath(void* file, const std::wstring& checkedPath, const char* message);

} // namespace vexa
