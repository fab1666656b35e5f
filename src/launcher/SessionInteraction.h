#pragma once
// Everything a game session shows the player, behind one interface so that a
// whole session can be run in a test without real dialogs.
#include "integrity/CartridgeSelection.h"
#include "mods/ModsSettings.h"

#include <string>

namespace vexa {

class WindowClaim;

class SessionInteraction : public CartridgePrompt {
public:
    virtual bool runPlayModsWindow(const std::wstring& applicationFolder,
                                   const std::wstring& playerDataFolder, ModsSettings& settings) = 0;
    // Shown after the game ended with a non-zero exit code.
    virtual void showGameErrorNotice() = 0;
};

class DesktopSessionInteraction : public SessionInteraction {
public:
    // claim: this installation's window, held until the window has closed (none for console runs).
    DesktopSessionInteraction(void* moduleInstance, WindowClaim* claim) : moduleInstance_(moduleInstance), claim_(claim) {}
    void showCartridgePrompt(const std::wstring& text) override;
    std::wstring chooseCartridgeImage() override;
    bool runPlayModsWindow(const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                           ModsSettings& settings) override;
    void showGameErrorNotice() override;

private:
    void* moduleInstance_;  // the window's class is registered for it
    WindowClaim* claim_;
};

} // namespace vexa
