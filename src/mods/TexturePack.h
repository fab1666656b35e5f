#pragma once
#include "mods/ModsSettings.h"

#include <cstdint>
#include <string>

namespace vexa {

// Number of verified mappings of the chosen pack; 0 without looking at
// anything when the pack is disabled.
std::uint64_t validateTexturePack(const ModsSettings& settings, const std::wstring& applicationFolder,
                                  const std::wstring& playerDataFolder);

} // namespace vexa
