#pragma once
#include "mods/ModsSettings.h"

#include <cstdint>
#include <string>

namespace vexa {

class TaskProgress;

// Number of verified mappings of the chosen pack; 0 without looking at
// anything when the pack is disabled. The pack must lie outside both folders.
// With progress, it tells what is checked and how many images are done, and a
// cancel stops the validation within one image (TaskCancelled).
std::uint64_t validateTexturePack(const ModsSettings& settings, const std::wstring& applicationFolder,
                                  const std::wstring& playerDataFolder, TaskProgress* progress = nullptr);
// The pack folder's own checks and its description, every mapped image read.
std::uint64_t validatePackFolder(const std::wstring& folder, TaskProgress& progress);

} // namespace vexa
