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
void saveCartridgeLocation();

// Fills owner and romPath with the verified image; false when the player
// cancelled the selection. Console runs and preflight never prompt.
bool acquireCartridgeImage(bool preflightOnly, CartridgeImage& owner, CartridgePrompt& prompt);

} // namespace vexa
