#include "integrity/CartridgeSelection.h"

#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"
#include "integrity/TextConversion.h"
#include "launcher/LauncherState.h"

#include <commdlg.h>
#include <vector>

namespace vexa {

std::wstring chooseCartridgeImageFile() {
    constexpr DWORD capacity = 32768;
    std::vector<wchar_t> name(capacity, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.lpstrFilter = L"Nintendo 64 ROM (*.z64;*.v64;*.n64)\0*.z64;*.v64;*.n64\0All files\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = capacity;
    dialog.lpstrTitle = L"Select your original US Vexa 3711 ROM";
    dialog.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_DONTADDTORECENT;
    if (!GetOpenFileNameW(&dialog)) return {};
    return makeAbsolute(std::wstring(name.data()), currentFolder());
}

void saveCartridgeLocation() {
    LauncherState& state = launcherState();
    std::string record = wideToUtf8(normalAbsolutePath(state.romPath));
    std::wstring temporary = joinPath(state.playerDataFolder,
                                      L"rom-location-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    replaceFileAtomically(temporary, joinPath(state.playerDataFolder, L"rom-location.txt"), record,
                          "Cannot save the selected ROM location.");
}

bool acquireCartridgeImage(bool preflightOnly, CartridgeImage& owner, CartridgePrompt& prompt) {
    LauncherState& state = launcherState();
    try {
        ByteBuffer bytes = readRequiredFile(joinPath(state.playerDataFolder, L"rom-location.txt"), 32768);
        std::wstring path =
            utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (!isAbsoluteWidePath(path))
            throw MessageError("The saved ROM location is invalid. Select your ROM again.");
        state.romPath = path;
        owner = openVerifiedCartridgeImage(path);
        return true;
    } catch (const std::exception& failure) {
        if (preflightOnly || state.consoleReporting) throw;
        prompt.showCartridgePrompt(utf8ToWide(failure.what()) +
                                   L"\n\nSelect your ROM at its current location to continue.");
    }
    state.romPath = prompt.chooseCartridgeImage();
    if (state.romPath.empty()) return false;
    // Only a verified image gets recorded: a failure here leaves the old record.
    owner = openVerifiedCartridgeImage(state.romPath);
    saveCartridgeLocation();
    return true;
}

} // namespace vexa
