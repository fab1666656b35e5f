#pragma once
// Process-wide state: set at start-up by the entry and the folder resolution,
// read by the rest of the run. One of each item for the whole run.
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

LauncherState& launcherState();

} // namespace vexa
