#pragma once
#include "mods/ModsSettings.h"

#include <string>

namespace vexa {

// Shows the Play / Mods window; true when the player left it through Play.
// The window always hands back its final settings.
bool runPlayModsWindow(const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                       ModsSettings& settings);

} // namespace vexa
