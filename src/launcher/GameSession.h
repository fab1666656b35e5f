#pragma once
#include "launcher/SessionInteraction.h"

namespace vexa {

// The gates in order, then the game. Returns the session's exit code: 0 after
// a passing preflight or when the player stops, else the game's own code.
int runGameSession(bool preflightOnly, SessionInteraction& interaction);

} // namespace vexa
