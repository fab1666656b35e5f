#include "launcher/Folders.h"

#include "integrity/FileIo.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"

#include <windows.h>
#include <shlobj.h>
#include <vector>

namespace vexa {

std::wstring defaultPlayerDataFolder() {
    PWSTR known = nullptr;
    HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known);
    // The string is the caller's to free even when the call fails.
    UniqueTaskMemory owner(known);
    if (result < 0) throw MessageError("Cannot locate your Windows user folder.");
    return joinPath(known ? known : L"", L"Vexa3711Original/PlayerData");
}

std::wstring runningApplicationFolder() {
    constexpr DWORD capacity = 32768;
    std::vector<wchar_t> buffer(capacity, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), capacity);
    if (length == 0 || length >= capacity) throw MessageError("Cannot locate this application.");
    return parentPath(std::wstring(buffer.data(), length));
}

std::wstring normalizeOptionPath(const std::wstring& path) {
    return normalAbsolutePath(path);
}

std::wstring readPlayerDataLocation(const std::wstring& applicationFolder) {
    std::wstring record = joinPath(applicationFolder, L"player-data-location.txt");
    ByteBuffer bytes = readRequiredFile(record, 32768);
    // Every byte belongs to the path: no trimming, no line-ending removal.
    return utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void requirePlayerDataApart(const std::wstring& applicationFolder, const std::wstring& playerDataFolder) {
    // A relative or empty folder is the session's to refuse, with its own sentence.
    if (!isAbsoluteWidePath(playerDataFolder)) return;
    // Compared as folders: another spelling of the same folder is the same folder.
    if (isSameOrInsideOnDisk(playerDataFolder, applicationFolder) || isSameOrInsideOnDisk(applicationFolder, playerDataFolder))
        throw MessageError("Keep player data outside the game's folder.");
}

} // namespace vexa
