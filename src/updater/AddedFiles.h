#pragma once
// launcher-files-added.txt in the application folder: the launcher files that
// updates added to the installation, which the installer's own table cannot
// know, so that the uninstaller removes them too. The uninstaller reads it as
// exactly this: UTF-8, one path per line, relative to the application folder
// with '\' separators, each line ending in LF, nothing else.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

inline constexpr const wchar_t* addedFilesListName = L"launcher-files-added.txt";

// The list's next text: the entries of the existing one that are launcher file
// paths whose files are still there, in their order, then each added file it
// does not name yet (letter case aside).
std::string addedFilesText(std::string_view existing, const std::vector<std::wstring>& added,
                           const std::function<bool(const std::wstring&)>& stillThere);

// Rewrites the folder's list with these added files (relative paths): written
// aside, flushed and moved over the old list with write-through. Nothing is
// written when nothing was added.
void recordAddedFiles(const std::wstring& folder, const std::vector<std::wstring>& added);

} // namespace vexa
