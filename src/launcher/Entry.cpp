#include "launcher/Entry.h"

#include "integrity/FailureSentence.h"
#include "integrity/InstallationTable.h"
#include "integrity/MessageError.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "launcher/Folders.h"
#include "launcher/GameSession.h"
#include "launcher/LaunchOptions.h"
#include "launcher/LauncherState.h"
#include "launcher/WindowClaim.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <optional>
#include <vector>

namespace vexa {
namespace {

constexpr int failureExitCode = 65;

// The single-threaded apartment of the run (the folder picker needs it): its
// result is not examined, and it is left exactly once, on every way out.
class ComApartment {
public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

// A start that shows the Play / Mods window, not a console run.
bool opensWindow(const LaunchOptions& options, const LauncherState& state) {
    return !state.consoleReporting && !options.preflightOnly && !options.verifyApplication && !options.verifyRollbackHelper;
}

int dispatch(const LaunchOptions& options, LauncherState& state, WindowClaim* claim) {
    if (options.verifyApplication) {
        verifyInstallation(state.applicationFolder);
        return 0;
    }
    // No rollback record exists in this system, so this check always fails.
    if (options.verifyRollbackHelper) throw MessageError("No previous verified application is recorded");
    // Every session and preflight, wherever the player-data folder came from.
    requirePlayerDataApart(state.applicationFolder, state.playerDataFolder);
    DesktopSessionInteraction interaction(state.moduleInstance, claim);
    return runGameSession(state, options.preflightOnly, interaction);
}

} // namespace

void reportFatalError(const std::wstring& sentence, bool consoleReporting) {
    if (consoleReporting) {
        HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
        std::string text = wideToUtf8(sentence);
        DWORD written = 0;
        WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    MessageBoxW(nullptr, sentence.c_str(), L"Vexa 3711 \u2014 action required", MB_ICONERROR);
}

int launcherMain(void* moduleInstance) {
    // The run's one state: everything else is handed what it reads.
    LauncherState state;
    state.moduleInstance = moduleInstance;
    ComApartment apartment;
    return runReportingFailures([&] {
        int count = 0;
        LPWSTR* split = CommandLineToArgvW(GetCommandLineW(), &count);
        UniqueLocalMemory argv(split);
        state.playerDataFolder = defaultPlayerDataFolder();
        state.applicationFolder = runningApplicationFolder();
        std::vector<std::wstring> arguments;
        for (int at = 1; split && at < count; ++at) arguments.emplace_back(split[at]);
        LaunchOptions options;
        parseLaunchOptions(arguments, options, state, normalizeOptionPath);
        argv.reset();
        // One window per installation: a second start brings the first to
        // the front and ends, having checked, shown and written nothing.
        std::optional<WindowClaim> claim;
        if (opensWindow(options, state)) {
            claim = WindowClaim::claimOrShowOther(state.applicationFolder);
            if (!claim) return 0;
        }
        if (!options.dataFolderGiven) state.playerDataFolder = readPlayerDataLocation(state.applicationFolder);
        return dispatch(options, state, claim ? &*claim : nullptr);
    }, state);
}

int runReportingFailures(const std::function<int()>& body, const LauncherState& state) {
    try {
        return body();
    } catch (...) {
        std::wstring sentence = sentenceOfCurrentFailure();
        try {
            reportFatalError(sentence, state.consoleReporting);
        } catch (...) {
            // Nothing more can be shown; the exit code still says it failed.
        }
        return failureExitCode;
    }
}

} // namespace vexa
