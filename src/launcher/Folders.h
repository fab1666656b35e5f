#pragma once
// The two folders the launcher works in: the application folder (beside the
// executable) and the player-data folder named by player-data-location.txt.
#include <string>

namespace vexa {

std::wstring defaultPlayerDataFolder();  // below the local application-data folder
std::wstring runningApplicationFolder();  // the running executable's folder
std::wstring normalizeOptionPath(const std::wstring& path);
// The player-data folder that the record in the application folder names.
std::wstring readPlayerDataLocation(const std::wstring& applicationFolder);
// Neither folder may be or lie inside the other: an uninstallation or an update
// of the application would otherwise take the player's data with it.
void requirePlayerDataApart(const std::wstring& applicationFolder, const std::wstring& playerDataFolder);

} // namespace vexa
