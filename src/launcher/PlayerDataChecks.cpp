#include "launcher/PlayerDataChecks.h"

#include "integrity/FileIo.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "launcher/InputConfigHeader.h"

namespace vexa {

void checkPlayerData(const std::wstring& folder) {
    constexpr std::uint64_t controllerPakBytes = 32768;
    constexpr std::uint64_t maxInputConfigBytes = 1048576;
    std::wstring pak = joinPath(folder, L"controller.mpk");
    std::wstring input = joinPath(folder, L"input.cfg");

    // Unsupported files that exist are reported before a missing partner.
    bool pakExists = pathExists(pak);
    if (pakExists && readRequiredFile(pak, controllerPakBytes).size() != controllerPakBytes)
        throw MessageError("Existing Controller Pak size differs. Your save was preserved.");
    bool inputExists = pathExists(input);
    if (inputExists) {
        ByteBuffer text = readRequiredFile(input, maxInputConfigBytes);
        if (!hasSupportedInputHeader(std::string_view(reinterpret_cast<const char*>(text.data()), text.size())))
            throw MessageError("Existing controller settings are unsupported. They were preserved.");
    }
    if (!pakExists || !inputExists) throw MessageError("Player data is missing. Run the installer again.");
}

} // namespace vexa
