#pragma once
#include "launcher/LauncherState.h"

#include <functional>
#include <string>
#include <vector>

namespace vexa {

struct LaunchOptions {
    bool preflightOnly = false;
    bool verifyApplication = false;
    bool verifyRollbackHelper = false;
    bool dataFolderGiven = false;
};

using PathNormalizer = std::function<std::wstring(const std::wstring&)>;

// Reads the arguments after the program's own path, left to right, into options
// and state. The first bad argument fails the run; what came before it has
// already taken effect (so an earlier --preflight reports on standard error).
void parseLaunchOptions(const std::vector<std::wstring>& arguments, LaunchOptions& options,
                        LauncherState& state, const PathNormalizer& normalizeOptionPath);

} // namespace vexa
