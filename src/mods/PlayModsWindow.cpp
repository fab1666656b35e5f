#include "mods/PlayModsWindow.h"

#include "integrity/MessageError.h"

namespace vexa {

// The window is not part of this build yet: a plain start stops here with a
// clear sentence instead of starting the game without the player's choice.
bool runPlayModsWindow(const std::wstring&, const std::wstring&, ModsSettings&) {
    throw MessageError("The Play / Mods window is not available in this build.");
}

} // namespace vexa
