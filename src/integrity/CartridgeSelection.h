#pragma once
// Where the player's cartridge image is: the rom-location.txt record, the prompt
// when the recorded image fails, and the open dialog to select it again.
#include "integrity/CartridgeImage.h"

#include <string>

namespace vexa {

// The player-facing half of the selection, replaceable in tests.
class CartridgePrompt {
public:
    virtual ~CartridgePrompt() = default;
    // Shows why the image is needed; returns when the player has read it.
    virtual void showCartridgePrompt(const std::wstring& text) = 0;
    // An absolute path, or empty when the player cancelled.
    virtual std::wstring chooseCartridgeImage() = 0;
};

std::wstring chooseCartridgeImageFile();
// Records romPath (made absolute and normal) in the player-data folder's rom-location.txt.
void saveCartridgeLocation(const std::wstring& playerDataFolder, const std::wstring& romPath);

// Fills owner and romPath with the verified image named by the record; false
// when the player cancelled the selection. Without mayPrompt (console runs and
// preflight) a failing record ends the acquisition as it is.
bool acquireCartridgeImage(const std::wstring& playerDataFolder, bool mayPrompt, std::wstring& romPath,
                           CartridgeImage& owner, CartridgePrompt& prompt);

} // namespace vexa
