#pragma once
// The player's texture-pack choice. The folder is kept while the pack is
// disabled so that switching it on again needs no new choice.
#include <string>

namespace vexa {

struct ModsSettings {
    bool enabled = false;
    std::wstring folder;
};

} // namespace vexa
