#include "launcher/LaunchOptions.h"

#include "integrity/MessageError.h"

namespace vexa {

void parseLaunchOptions(const std::vector<std::wstring>& arguments, LaunchOptions& options,
                        LauncherState& state, const PathNormalizer& normalizeOptionPath) {
    const char* unknown = "Unknown launch option.";
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::wstring& name = arguments[at];
        bool takesValue = name == L"--edition" || name == L"--rom" || name == L"--directory" ||
                          name == L"--data-dir";
        if (takesValue) {
            // The value is the next argument whatever it looks like, even "--...".
            if (at + 1 >= arguments.size()) throw MessageError(unknown);
            const std::wstring& value = arguments[++at];
            if (name == L"--edition") {
                if (value == L"original") state.selectedEdition = Edition::Original;
                else if (value == L"remaster") state.selectedEdition = Edition::Remaster;
                else throw MessageError("Choose original or remaster.");
            } else if (name == L"--rom") {
                state.romPath = normalizeOptionPath(value);
            } else if (name == L"--directory") {
                state.applicationFolder = normalizeOptionPath(value);
            } else {
                state.playerDataFolder = normalizeOptionPath(value);
                options.dataFolderGiven = true;
            }
        } else if (name == L"--install") {
            state.consoleReporting = true;
        } else if (name == L"--preflight") {
            state.consoleReporting = options.preflightOnly = true;
        } else if (name == L"--no-shortcut") {
            // Accepted for installers that pass it; nothing to do.
        } else if (name == L"--verify-application") {
            state.consoleReporting = options.verifyApplication = true;
        } else if (name == L"--verify-rollback-helper") {
            state.consoleReporting = options.verifyRollbackHelper = true;
        } else {
            throw MessageError(unknown);
        }
    }
}

} // namespace vexa
