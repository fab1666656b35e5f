#pragma once
#include "launcher/LauncherState.h"
#include "launcher/SessionInteraction.h"

namespace vexa {

// The gates in order, then the game. Returns the session's exit code: 0 after
// a passing preflight or when the player stops, else the game's own code.
// The edition left unset becomes Original once the gates have passed.
int runGameSession(LauncherState& state, bool preflightOnly, SessionInteraction& interaction);

} // namespace vexa
