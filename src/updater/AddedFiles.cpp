#include "updater/AddedFiles.h"

#include "integrity/FileIo.h"
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "updater/ApplicationFolder.h"
#include "updater/PayloadTable.h"

#include <algorithm>
#include <windows.h>

namespace vexa {
namespace {

bool sameName(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A line as the uninstaller may act on it: a launcher file's path, never one
// that could leave the folder or name a game file.
bool isEntry(std::string_view line) {
    if (line.find('/') != std::string_view::npos) return false;
    std::string path(line);
    std::replace(path.begin(), path.end(), '\\', '/');
    return isLauncherFilePath(path);
}

} // namespace

std::string addedFilesText(std::string_view existing, const std::vector<std::wstring>& added,
                           const std::function<bool(const std::wstring&)>& stillThere) {
    std::vector<std::wstring> entries;
    auto listed = [&](const std::wstring& path) {
        return std::any_of(entries.begin(), entries.end(), [&](const std::wstring& entry) { return sameName(entry, path); });
    };
    for (std::size_t at = 0; at < existing.size();) {
        std::size_t end = std::min(existing.find('\n', at), existing.size());
        std::string_view line = existing.substr(at, end - at);
        at = end + 1;
        if (!isEntry(line)) continue;
        std::wstring path;
        try {
            path = utf8ToWide(line);
        } catch (const std::exception&) {
            continue;  // not UTF-8: nothing the uninstaller could use either
        }
        if (!listed(path) && stillThere(path)) entries.push_back(path);
    }
    for (const std::wstring& path : added)
        if (!listed(path)) entries.push_back(path);
    std::string text;
    for (const std::wstring& entry : entries) text += wideToUtf8(entry) + "\n";
    return text;
}

void recordAddedFiles(const std::wstring& folder, const std::vector<std::wstring>& added) {
    if (added.empty()) return;
    const std::wstring list = joinPath(folder, addedFilesListName), draft = list + L".partial";
    std::string existing;
    if (pathExists(list)) {
        ByteBuffer bytes = readRequiredFile(list, 1 << 20);
        existing.assign(bytes.begin(), bytes.end());
    }
    std::string text = addedFilesText(existing, added, [&](const std::wstring& path) {
        try {
            return inspectTarget(folder, path);
        } catch (const std::exception&) {
            return false;  // through a link or not a plain file: not the uninstaller's to remove
        }
    });
    DeleteFileW(draft.c_str());  // a draft of a run that was cut off
    replaceFileAtomically(draft, list, text, "The launcher files this update added could not be recorded.");
}

} // namespace vexa
