#pragma once
// The player's texture-pack choice and its file, vexa-mods.json in the
// player-data folder. The folder is kept while the pack is disabled so that
// switching it on again needs no new choice.
#include <string>
#include <string_view>

namespace vexa {

struct ModsSettings {
    bool enabled = false;
    std::wstring folder;
};

// The judgement of the file's text: strict JSON, schema 1, a boolean
// "enabled" and a string "folder" (its slashes as written). JSON library
// errors travel unchanged.
ModsSettings parseModsSettings(std::string_view text);
// The five-line file: sorted keys, two-space indent, raw UTF-8, every
// backslash of the folder written as a forward slash, one final line feed.
std::string formatModsSettings(const ModsSettings& settings);

// The defaults when the file does not exist; otherwise the file read and judged.
ModsSettings readModsSettings(const std::wstring& settingsPath);
// Replaces vexa-mods.json in the player-data folder through a temporary file;
// the previous file survives any failure.
void saveModsSettings(const std::wstring& playerDataFolder, const ModsSettings& settings);

} // namespace vexa
