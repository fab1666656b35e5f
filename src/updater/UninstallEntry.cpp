#include "updater/UninstallEntry.h"

#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <windows.h>

namespace vexa {
namespace {

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type key) noexcept { RegCloseKey(key); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type find) noexcept { FindClose(find); }
};
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;

constexpr const wchar_t* entryKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vexa3711";

[[noreturn]] void fail(const char* what, LSTATUS error) {
    throw MessageError(std::string("Cannot ") + what + " the uninstall entry (Windows error " + std::to_string(error) + ").");
}

// Volume and file index: one folder has one identity, whatever its spelling
// (letter case, short names, trailing dots).
std::optional<std::uint64_t> identityOf(const std::wstring& folder, DWORD& volume) {
    UniqueFile object(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!object || !GetFileInformationByHandle(object.get(), &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    volume = information.dwVolumeSerialNumber;
    return (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}

bool sameFolder(const std::wstring& left, const std::wstring& right) {
    DWORD leftVolume = 0, rightVolume = 0;
    std::optional<std::uint64_t> leftIndex = identityOf(left, leftVolume), rightIndex = identityOf(right, rightVolume);
    return leftIndex && rightIndex && *leftIndex == *rightIndex && leftVolume == rightVolume;
}

// Bytes of every file below folder; links and other reparse points are not followed.
std::uint64_t bytesBelow(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    UniqueFind search(FindFirstFileExW(joinPath(folder, L"*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0));
    if (!search) throw MessageError("Cannot measure the Vexa 3711 folder.");
    std::uint64_t bytes = 0;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) bytes += bytesBelow(joinPath(folder, name));
        else bytes += (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    } while (FindNextFileW(search.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) throw MessageError("Cannot measure the Vexa 3711 folder.");
    return bytes;
}

} // namespace

UninstallEntryOutcome updateUninstallEntry(const std::wstring& folder, const std::wstring& version) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, entryKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &opened);
    if (status == ERROR_FILE_NOT_FOUND) return UninstallEntryOutcome::noEntry;
    if (status != ERROR_SUCCESS) fail("open", status);
    UniqueRegistryKey key(opened);

    DWORD size = 0;
    status = RegGetValueW(key.get(), nullptr, L"InstallLocation", RRF_RT_REG_SZ, nullptr, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return UninstallEntryOutcome::otherFolder;
    std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(location.size() * sizeof(wchar_t));
    if (status == ERROR_SUCCESS)
        status = RegGetValueW(key.get(), nullptr, L"InstallLocation", RRF_RT_REG_SZ, nullptr, location.data(), &size);
    if (status != ERROR_SUCCESS) fail("read", status);
    location.resize(wcsnlen(location.c_str(), location.size()));
    if (location.empty() || !sameFolder(location, folder)) return UninstallEntryOutcome::otherFolder;

    std::uint64_t kib = (bytesBelow(folder) + 1023) / 1024;
    DWORD estimated = static_cast<DWORD>(std::min<std::uint64_t>(kib, MAXDWORD));
    status = RegSetValueExW(key.get(), L"DisplayVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                            static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS)
        status = RegSetValueExW(key.get(), L"EstimatedSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&estimated),
                                sizeof estimated);
    if (status != ERROR_SUCCESS) fail("write", status);
    return UninstallEntryOutcome::rewritten;
}

} // namespace vexa
