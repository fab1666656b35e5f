#include "updater/CachedBuilds.h"

#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <windows.h>

namespace vexa {
namespace {

bool sameName(std::wstring_view left, std::wstring_view right) {
    return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// "Relicade-Vexa3711-Mods-<sha256, 64 lowercase hex>.exe", as the launcher stores a build.
bool isCachedBuildName(std::wstring_view name) {
    constexpr std::wstring_view prefix = L"Relicade-Vexa3711-Mods-", suffix = L".exe";
    if (name.size() != prefix.size() + 64 + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
        return false;
    std::wstring_view digest = name.substr(prefix.size(), 64);
    return std::all_of(digest.begin(), digest.end(),
                       [](wchar_t unit) { return (unit >= L'0' && unit <= L'9') || (unit >= L'a' && unit <= L'f'); });
}

} // namespace

std::wstring ownProgramPath() {
    std::wstring program(MAX_PATH, L'\0');
    while (true) {
        DWORD length = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (length == 0) return {};
        if (length < program.size()) return program.substr(0, length);
        program.resize(program.size() * 2);
    }
}

std::vector<std::wstring> removeOtherCachedBuilds(const std::wstring& ownProgram) {
    std::vector<std::wstring> leftBehind;
    try {
        std::wstring cache = parentPath(ownProgram);
        if (cache.empty() || !sameName(std::wstring_view(cache).substr(parentPath(cache).size()), L"\\launcher-updates"))
            return leftBehind;
        requireSafeFolderPath(cache);  // through a link, removing would reach the files it leads to
        std::error_code failed;
        std::filesystem::directory_iterator entry(cache, failed), end;
        for (; !failed && entry != end; entry.increment(failed)) {
            std::wstring name = entry->path().filename().wstring(), path = joinPath(cache, name);
            if (!isCachedBuildName(name) || sameName(path, ownProgram)) continue;
            DWORD attributes = GetFileAttributesW(path.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES ||
                attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) || !DeleteFileW(path.c_str()))
                leftBehind.push_back(path);
        }
    } catch (const std::exception&) {
        // A linked cache, or out of memory: the rest stays for a later update.
    }
    return leftBehind;
}

} // namespace vexa
