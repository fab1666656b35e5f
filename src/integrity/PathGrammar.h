#pragma once
// The Windows path grammar the launcher relies on, without any file-system
// lookup: root names (C:, \\server, //server, \\?\ and \\.\ device prefixes),
// root directory, elements separated by \ or /. libstdc++ gets UNC root names
// wrong on MinGW, so the launcher does not use std::filesystem for this.
#include <string>
#include <string_view>

namespace vexa {

bool isPathSeparator(wchar_t unit);

// Length in UTF-16 units of the root name ("C:" is 2, "\\server" is 8, none is 0).
std::size_t rootNameLength(std::wstring_view path);
bool hasRootDirectory(std::wstring_view path);

// Absolute: a drive root name followed by a root directory, or a root name of
// three or more units that begins with two separators (network and device paths).
bool isAbsoluteWidePath(std::wstring_view path);

// Appends relative to folder with exactly one separator between them.
std::wstring joinPath(std::wstring_view folder, std::wstring_view relative);

// The path without its last element; a root ("C:\", "\\server\") is its own parent.
std::wstring parentPath(std::wstring_view path);

// Dot elements removed, "name\.." folded, separators collapsed to single '\'.
std::wstring lexicallyNormal(std::wstring_view path);

// The platform's absolute-path rule against the given current folder: parts the
// path lacks (root name, root directory, folder) come from the current folder.
// An empty path stays empty.
std::wstring makeAbsolute(std::wstring_view path, std::wstring_view currentFolder);

// The path as a program would spell it: "\\?\C:\x" is "C:\x" and
// "\\?\UNC\server\x" is "\\server\x"; anything else is returned unchanged.
std::wstring withoutVerbatimPrefix(std::wstring_view path);

// Containment after making both absolute and normal, ignoring letter case.
bool isSameOrInsideFolder(std::wstring_view path, std::wstring_view folder,
                          std::wstring_view currentFolder);

} // namespace vexa
