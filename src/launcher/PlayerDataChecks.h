#pragma once

namespace vexa {

// Accepts or refuses the existing Controller Pak and input configuration in
// the player-data folder. Reads only: nothing is ever created or repaired.
void checkPlayerData();

} // namespace vexa
