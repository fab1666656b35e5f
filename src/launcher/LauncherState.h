#pragma once
// Process-wide state: one value for the whole run, owned by the entry, set at
// start-up by the folder resolution and the launch options, and handed to
// whatever reads it.
#include <cstdint>
#include <string>

namespace vexa {

enum class Edition : std::int32_t { Unset = -1, Original = 0, Remaster = 1 };

struct LauncherState {
    void* moduleInstance = nullptr;   // HINSTANCE, kept opaque so pure code needs no <windows.h>
    std::wstring applicationFolder;
    std::wstring playerDataFolder;
    std::wstring romPath;
    Edition selectedEdition = Edition::Unset;
    bool consoleReporting = false;
};

} // namespace vexa
