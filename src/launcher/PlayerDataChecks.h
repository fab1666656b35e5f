#pragma once
#include <string>

namespace vexa {

// Accepts or refuses the existing Controller Pak and input configuration in
// the player-data folder. Reads only: nothing is ever created or repaired.
void checkPlayerData(const std::wstring& playerDataFolder);

} // namespace vexa
