#include "mods/TexturePack.h"

#include "integrity/MessageError.h"

namespace vexa {

std::uint64_t validateTexturePack(const ModsSettings& settings, const std::wstring&, const std::wstring&) {
    if (!settings.enabled) return 0;
    // Pack validation is not part of this build yet; an enabled pack is refused
    // rather than handed to the game unchecked.
    throw MessageError("Texture packs cannot be validated by this build.");
}

} // namespace vexa
