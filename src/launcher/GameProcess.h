#pragma once
// What the game is handed (environment, command line, standard handles,
// working folder) and what comes back (its exit code).
#include "launcher/LauncherState.h"
#include "mods/ModsSettings.h"

#include <string>
#include <string_view>

namespace vexa {

// Removes inherited VEXA_* (case-sensitive prefix), VK_DRIVER_FILES and
// VK_ICD_FILENAMES from this process's environment, which the game inherits.
void scrubGameEnvironment();
void setGameEnvironment(const ModsSettings& settings, const std::wstring& playerDataFolder);

std::wstring updateRequestName(unsigned long processId, unsigned long long ticks);
std::wstring buildGameCommandLine(const LauncherState& state);

// Starts the game with its output in last-session.log, waits without a time
// limit and returns its exit code (1 when it cannot be read).
int startGameProcess(const LauncherState& state);

} // namespace vexa
