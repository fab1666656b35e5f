#include "integrity/PathGrammar.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace vexa {

bool isPathSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

namespace {

bool isAsciiLetter(wchar_t unit) {
    return (unit >= L'a' && unit <= L'z') || (unit >= L'A' && unit <= L'Z');
}

// Index of the first unit after the root name and every separator following it.
std::size_t relativeStart(std::wstring_view path) {
    std::size_t at = rootNameLength(path);
    while (at < path.size() && isPathSeparator(path[at])) ++at;
    return at;
}

std::wstring lowerCase(std::wstring text) {
    for (wchar_t& unit : text) unit = static_cast<wchar_t>(std::towlower(unit));
    return text;
}

} // namespace

std::size_t rootNameLength(std::wstring_view path) {
    if (path.size() >= 2 && path[1] == L':' && isAsciiLetter(path[0])) return 2;
    // "\\server", "//server", and the device prefixes "\\?" and "\\." all take
    // the form: two separators, then a name running to the next separator.
    if (path.size() >= 3 && isPathSeparator(path[0]) && isPathSeparator(path[1]) &&
        !isPathSeparator(path[2])) {
        std::size_t end = 3;
        while (end < path.size() && !isPathSeparator(path[end])) ++end;
        return end;
    }
    return 0;
}

bool hasRootDirectory(std::wstring_view path) {
    std::size_t rootName = rootNameLength(path);
    return rootName < path.size() && isPathSeparator(path[rootName]);
}

bool isAbsoluteWidePath(std::wstring_view path) {
    std::size_t rootName = rootNameLength(path);
    if (rootName == 2) return path[1] == L':' && hasRootDirectory(path);
    return rootName >= 3 && isPathSeparator(path[0]) && isPathSeparator(path[1]);
}

std::wstring withoutVerbatimPrefix(std::wstring_view path) {
    if (!path.starts_with(L"\\\\?\\")) return std::wstring(path);
    std::wstring_view rest = path.substr(4);
    if (rest.starts_with(L"UNC\\")) return L"\\\\" + std::wstring(rest.substr(4));
    return std::wstring(rest);
}

std::wstring joinPath(std::wstring_view folder, std::wstring_view relative) {
    std::wstring joined(folder);
    if (!joined.empty() && !isPathSeparator(joined.back())) joined += L'\\';
    joined += relative;
    return joined;
}

std::wstring parentPath(std::wstring_view path) {
    std::size_t relative = relativeStart(path);
    if (relative >= path.size()) return std::wstring(path);
    std::size_t end = path.size();
    // The last element (empty after a trailing separator) goes, then the
    // separators in front of it, but never the root directory.
    while (end > relative && !isPathSeparator(path[end - 1])) --end;
    while (end > relative && isPathSeparator(path[end - 1])) --end;
    return std::wstring(path.substr(0, end));
}

std::wstring lexicallyNormal(std::wstring_view path) {
    if (path.empty()) return {};
    std::size_t rootName = rootNameLength(path);
    std::wstring result(path.substr(0, rootName));
    for (wchar_t& unit : result)
        if (unit == L'/') unit = L'\\';
    bool rootDirectory = hasRootDirectory(path);
    if (rootDirectory) result += L'\\';

    std::vector<std::wstring_view> elements;
    bool trailingSeparator = false;
    std::size_t at = relativeStart(path);
    while (at < path.size()) {
        std::size_t end = at;
        while (end < path.size() && !isPathSeparator(path[end])) ++end;
        std::wstring_view element = path.substr(at, end - at);
        bool last = true;
        for (std::size_t next = end; next < path.size(); ++next)
            if (!isPathSeparator(path[next])) { last = false; break; }
        bool endsWithSeparator = end < path.size();
        if (element == L".") {
            trailingSeparator = last;
        } else if (element == L"..") {
            if (!elements.empty() && elements.back() != L"..") {
                elements.pop_back();
                trailingSeparator = last;
            } else if (!rootDirectory) {
                elements.push_back(element);
                trailingSeparator = false;
            } else {
                trailingSeparator = last;
            }
        } else {
            elements.push_back(element);
            trailingSeparator = last && endsWithSeparator;
        }
        at = end;
        while (at < path.size() && isPathSeparator(path[at])) ++at;
    }
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) result += L'\\';
        result += elements[i];
    }
    // No separator after a final "..", however it was reached ("..\." is "..").
    if (trailingSeparator && !elements.empty() && elements.back() != L"..") result += L'\\';
    if (result.empty()) result = L".";
    // A relative first element like "b:x" keeps its ".\", or it would read as drive b.
    else if (rootName == 0 && !rootDirectory && rootNameLength(result) > 0) result.insert(0, L".\\");
    return result;
}

std::wstring makeAbsolute(std::wstring_view path, std::wstring_view currentFolder) {
    std::size_t rootName = rootNameLength(path);
    bool rootDirectory = hasRootDirectory(path);
    if (rootName > 0 && rootDirectory) return std::wstring(path);
    // An empty path has no absolute form: it stays empty (and so is refused
    // wherever an absolute path is required), never the current folder.
    if (path.empty()) return {};
    if (rootName == 0 && !rootDirectory) return joinPath(currentFolder, path);
    std::wstring_view currentRoot = currentFolder.substr(0, rootNameLength(currentFolder));
    if (rootName == 0) return std::wstring(currentRoot) + std::wstring(path);
    // "C:games": relative to the current folder when it is on that drive,
    // otherwise to the drive's root. A network or device root ("\\server")
    // has no current folder: it is its own root.
    std::wstring_view rest = path.substr(rootName);
    if (rootName == 2 && lowerCase(std::wstring(path.substr(0, rootName))) == lowerCase(std::wstring(currentRoot)))
        return joinPath(currentFolder, rest);
    return std::wstring(path.substr(0, rootName)) + L'\\' + std::wstring(rest);
}

namespace {

// "C:\Data\" and "C:\Data" name the same folder; a root keeps its separator.
std::wstring withoutTrailingSeparators(std::wstring path) {
    std::size_t root = rootNameLength(path) + (hasRootDirectory(path) ? 1 : 0);
    while (path.size() > std::max<std::size_t>(root, 1) && isPathSeparator(path.back())) path.pop_back();
    return path;
}

std::wstring comparableForm(std::wstring_view path, std::wstring_view currentFolder) {
    return lowerCase(withoutTrailingSeparators(lexicallyNormal(makeAbsolute(path, currentFolder))));
}

} // namespace

bool isSameOrInsideFolder(std::wstring_view path, std::wstring_view folder,
                          std::wstring_view currentFolder) {
    std::wstring normalPath = comparableForm(path, currentFolder);
    std::wstring normalFolder = comparableForm(folder, currentFolder);
    if (normalPath == normalFolder) return true;
    if (!normalFolder.empty() && normalFolder.back() != L'\\') normalFolder += L'\\';
    if (normalPath.size() < normalFolder.size()) return false;
    return normalPath.compare(0, normalFolder.size(), normalFolder) == 0;
}

} // namespace vexa
