#include "launcher/GameSession.h"

#include "integrity/CartridgeImage.h"
#include "integrity/InstallationTable.h"
#include "integrity/MessageError.h"
#include "integrity/PathSafety.h"
#include "integrity/WorkBesideWindow.h"
#include "launcher/GameProcess.h"
#include "launcher/PlayerDataChecks.h"
#include "launcher/SessionGuard.h"
#include "launcher/WindowClaim.h"
#include "mods/PlayModsWindow.h"
#include "mods/TexturePack.h"
#include "update/UpdateCommand.h"

#include <optional>
#include <windows.h>

namespace vexa {

void DesktopSessionInteraction::showCartridgePrompt(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), L"Vexa 3711 \u2014 ROM required", MB_ICONINFORMATION | MB_OK);
}

std::wstring DesktopSessionInteraction::chooseCartridgeImage() { return chooseCartridgeImageFile(); }

bool DesktopSessionInteraction::runPlayModsWindow(const std::wstring& applicationFolder,
                                                  const std::wstring& playerDataFolder,
                                                  ModsSettings& settings) {
    PlayModsWindowHost host{moduleInstance_,
                            [&](void* owner) { return runLauncherUpdate(owner, applicationFolder, playerDataFolder); },
                            [&](void* window) {
                                if (claim_) claim_->windowShown(window);
                            }};
    bool play = vexa::runPlayModsWindow(applicationFolder, playerDataFolder, settings, host);
    // From here a second start goes on as any start, and the session guard decides.
    if (claim_) claim_->release();
    return play;
}

void DesktopSessionInteraction::showGameErrorNotice() {
    MessageBoxW(nullptr,
                L"The game exited with an error. Your saves are retained. Details are in "
                L"last-session.log in your player-data folder.",
                L"Vexa 3711", MB_ICONWARNING);
}

int runGameSession(LauncherState& state, bool preflightOnly, SessionInteraction& interaction) {
    // Declared in the reverse of the release order: on any way out the guard
    // goes first, then the installed files, then the settings, then the image.
    CartridgeImage image;
    ModsSettings settings;
    InstallationHold installedFiles;
    std::optional<SessionGuard> guard;

    verifyInstallation(state.applicationFolder);
    requireSafeFolderPath(state.playerDataFolder);
    checkPlayerData(state.playerDataFolder);
    bool mayPrompt = !preflightOnly && !state.consoleReporting;
    if (!acquireCartridgeImage(state.playerDataFolder, mayPrompt, state.romPath, image, interaction)) return 0;
    if (state.selectedEdition == Edition::Remaster)
        throw MessageError("Remaster textures are not included in this installation.");
    if (preflightOnly) return 0;
    if (state.selectedEdition == Edition::Unset) state.selectedEdition = Edition::Original;

    if (!interaction.runPlayModsWindow(state.applicationFolder, state.playerDataFolder, settings)) return 0;
    {
        // The window is gone and these checks can take seconds with a large
        // pack: past half a second a window of its own says the game is
        // starting. It is gone before the game starts and before any failure
        // is shown.
        ProgressOnItsOwn starting({L"Vexa 3711 \u2014 Starting", L"Starting Vexa 3711\u2026", false});
        TaskProgress& progress = starting.progress();
        // The installation may have changed while the window was open; from
        // here to the game's end, what was verified is what runs.
        progress.begin(L"Checking the installation");
        installedFiles = verifyAndHoldInstallation(state.applicationFolder);
        progress.begin(L"Checking the texture pack");
        validateTexturePack(settings, state.applicationFolder, state.playerDataFolder, &progress);
        progress.begin(L"Checking the session");
        guard.emplace(state.playerDataFolder);
        requireNoOtherGameProcess();
    }
    scrubGameEnvironment();
    setGameEnvironment(settings, state.playerDataFolder);
    int exitCode = startGameProcess(state);
    if (exitCode != 0 && !state.consoleReporting) interaction.showGameErrorNotice();
    return exitCode;
}

} // namespace vexa
