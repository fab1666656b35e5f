#include "mods/PlayModsCommands.h"

#include "integrity/FailureSentence.h"
#include "integrity/MessageError.h"
#include "integrity/TaskProgress.h"
#include "integrity/TextConversion.h"
#include "mods/TexturePack.h"

#include <exception>

namespace vexa {
namespace {

constexpr unsigned errorIcon = 0x10;  // MB_ICONERROR with an OK button

bool isPlayPage(PlayModsControl control) {
    return control >= PlayModsControl::title && control <= PlayModsControl::notes;
}
bool isModsPage(PlayModsControl control) {
    return control >= PlayModsControl::modsHeader && control <= PlayModsControl::status;
}

} // namespace

PlayModsCommands::PlayModsCommands(std::wstring applicationFolder, std::wstring playerDataFolder,
                                   ModsSettings settings, PlayModsSurface& surface, std::function<bool()> runUpdate)
    : applicationFolder_(std::move(applicationFolder)), playerDataFolder_(std::move(playerDataFolder)),
      settings_(std::move(settings)), surface_(surface), runUpdate_(std::move(runUpdate)) {}

void PlayModsCommands::opened() {
    refreshModsControls();
    surface_.selectTab(0);
    showPage(0);
}

void PlayModsCommands::tabChanged() { showPage(surface_.selectedTab()); }

void PlayModsCommands::f4Pressed() {
    surface_.selectTab(1);
    showPage(1);
}

void PlayModsCommands::switchTab(bool backwards) {
    constexpr int pages = 2;
    int page = (surface_.selectedTab() + (backwards ? pages - 1 : 1)) % pages;
    surface_.selectTab(page);
    showPage(page);
}

bool PlayModsCommands::command(int id) {
    if (id != chooseCommand && id != enableCommand && id != validateCommand && id != playCommand &&
        id != closeCommand && id != updatesCommand)
        return false;
    // While long work runs the window still handles its messages; a command
    // that arrives then is not the player's (the window takes no input) and
    // must not run inside the first.
    if (running_) return true;
    running_ = true;
    // Every failure is shown in the window, which stays open as it was; a
    // cancelled command leaves it as it was and says nothing.
    try {
        run(id);
    } catch (const TaskCancelled&) {
    } catch (...) {
        surface_.showMessage(sentenceOfCurrentFailure(), L"Vexa 3711 Mods", errorIcon);
    }
    running_ = false;
    return true;
}

void PlayModsCommands::run(int id) {
    switch (id) {
    case chooseCommand: {
        std::wstring folder = surface_.pickFolder();
        if (folder.empty()) return;
        ModsSettings candidate{true, folder};
        // Only a pack that validates replaces the choice.
        std::uint64_t mappings = validateBesideWindow(candidate);
        settings_ = candidate;
        refreshModsControls();
        surface_.setText(PlayModsControl::status,
                         L"Verified " + std::to_wstring(mappings) + L" mappings. Changes apply on next Play.");
        return;
    }
    case enableCommand:
        settings_.enabled = surface_.isChecked();
        return;
    case validateCommand: {
        settings_.enabled = surface_.isChecked();
        if (!settings_.enabled) throw MessageError("Enable a selected pack to validate it.");
        std::uint64_t mappings = validateBesideWindow(settings_);
        surface_.setText(PlayModsControl::status, L"Verified " + std::to_wstring(mappings) +
                                                      L" runtime-hash mappings. Visual compatibility still requires "
                                                      L"in-game testing.");
        return;
    }
    case playCommand:
        settings_.enabled = surface_.isChecked();
        validateBesideWindow(settings_);
        saveModsSettings(playerDataFolder_, settings_);
        playRequested_ = true;
        surface_.destroy();
        return;
    case closeCommand:
        surface_.destroy();
        return;
    case updatesCommand:
        if (runUpdate_()) surface_.destroy();
        return;
    }
}

std::uint64_t PlayModsCommands::validateBesideWindow(const ModsSettings& settings) {
    std::uint64_t mappings = 0;
    surface_.runBesideWindow([&](TaskProgress& progress) {
        mappings = validateTexturePack(settings, applicationFolder_, playerDataFolder_, &progress);
    });
    return mappings;
}

void PlayModsCommands::showPage(int page) {
    for (std::size_t row = 0; row < playModsControlCount; ++row) {
        auto control = static_cast<PlayModsControl>(row);
        if (isPlayPage(control)) surface_.show(control, page == 0);
        if (isModsPage(control)) surface_.show(control, page == 1);
    }
}

void PlayModsCommands::refreshModsControls() {
    surface_.setText(PlayModsControl::packFolder, settings_.folder);
    surface_.setChecked(settings_.enabled);
}

} // namespace vexa
