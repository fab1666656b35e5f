#pragma once
#include "mods/ModsSettings.h"

#include <functional>
#include <string>

namespace vexa {

// What the window needs from the program that shows it.
struct PlayModsWindowHost {
    void* moduleInstance = nullptr;           // registers the window class
    // The Updates command, given the window as owner of its boxes; true when
    // the launcher hands over to a new build and the window must close.
    std::function<bool(void* owner)> runUpdate;
    // Told the window once it is shown.
    std::function<void(void* window)> shown;
};

// Shows the Play / Mods window until it is gone; true when the player left it
// through Play. The window always hands back its final settings.
bool runPlayModsWindow(const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                       ModsSettings& settings, const PlayModsWindowHost& host);

// The common item dialog for folders: a file-system path, or empty when the
// player cancelled or the choice has no such path.
std::wstring pickTexturePackFolder(void* owner);

} // namespace vexa
