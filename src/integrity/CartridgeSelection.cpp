#include "integrity/CartridgeSelection.h"

#include "integrity/FailureSentence.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"
#include "integrity/TextConversion.h"

#include <windows.h>
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

void saveCartridgeLocation(const std::wstring& playerDataFolder, const std::wstring& romPath) {
    std::string record = wideToUtf8(normalAbsolutePath(romPath));
    std::wstring temporary =
        joinPath(playerDataFolder, L"rom-location-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    replaceFileAtomically(temporary, joinPath(playerDataFolder, L"rom-location.txt"), record,
                          "Cannot save the selected ROM location.");
}

bool acquireCartridgeImage(const std::wstring& playerDataFolder, bool mayPrompt, std::wstring& romPath,
                           CartridgeImage& owner, CartridgePrompt& prompt) {
    try {
        ByteBuffer bytes = readRequiredFile(joinPath(playerDataFolder, L"rom-location.txt"), 32768);
        std::wstring path =
            utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (!isAbsoluteWidePath(path))
            throw MessageError("The saved ROM location is invalid. Select your ROM again.");
        romPath = path;
        owner = openVerifiedCartridgeImage(path);
        return true;
    } catch (...) {
        if (!mayPrompt) throw;
        prompt.showCartridgePrompt(sentenceOfCurrentFailure() + L"\n\nSelect your ROM at its current location to continue.");
    }
    romPath = prompt.chooseCartridgeImage();
    if (romPath.empty()) return false;
    // Only a verified image gets recorded: a failure here leaves the old record.
    owner = openVerifiedCartridgeImage(romPath);
    saveCartridgeLocation(playerDataFolder, romPath);
    return true;
}

} // namespace vexa
