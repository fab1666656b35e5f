#include "integrity/FileIo.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"
#include "mods/ModsSettings.h"

#include <windows.h>

namespace vexa {

ModsSettings readModsSettings(const std::wstring& settingsPath) {
    // A folder of that name counts as present and fails at the read.
    if (!pathExists(settingsPath)) return {};
    requireUnlinkedModsPath(settingsPath);
    return parseModsSettings(readModsFile(settingsPath, 65536));
}

void saveModsSettings(const std::wstring& playerDataFolder, const ModsSettings& settings) {
    requireSafeFolderPath(playerDataFolder);
    std::string text = formatModsSettings(settings);
    // Process id and tick count: two launchers saving at once never share a name.
    std::wstring temporary = joinPath(playerDataFolder, L"mods-settings-" + std::to_wstring(GetCurrentProcessId()) +
                                                            L"-" + std::to_wstring(GetTickCount64()) + L".tmp");
    writeNewFile(temporary, text.data(), text.size());
    std::wstring target = joinPath(playerDataFolder, L"vexa-mods.json");
    requireSafeFolderPath(target);
    moveOverTarget(temporary, target, "Cannot save Mods settings; previous choices were retained.");
}

} // namespace vexa
