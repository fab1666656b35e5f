#include "launcher/Entry.h"

#include "integrity/InstallationTable.h"
#include "integrity/MessageError.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "launcher/Folders.h"
#include "launcher/GameSession.h"
#include "launcher/LaunchOptions.h"
#include "launcher/LauncherState.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <vector>

namespace vexa {
namespace {

constexpr int failureExitCode = 65;
// What the player is told when a failure carries no sentence that can be shown.
constexpr const char* unexpectedFailure = "The launcher stopped unexpectedly. Reinstall this version.";

int reportAndFail(const std::string& message) {
    try {
        reportFatalError(message);
    } catch (...) {
        // The message could not be converted: the player still gets a sentence.
        reportFatalError(unexpectedFailure);
    }
    return failureExitCode;
}

// The single-threaded apartment of the run (the folder picker needs it): its
// result is not examined, and it is left exactly once, on every way out.
class ComApartment {
public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

int dispatch(const LaunchOptions& options) {
    if (options.verifyApplication) {
        verifyInstallation(launcherState().applicationFolder);
        return 0;
    }
    // No rollback record exists in this system, so this check always fails.
    if (options.verifyRollbackHelper) throw MessageError("No previous verified application is recorded");
    // Every session and preflight, wherever the player-data folder came from.
    requirePlayerDataApart(launcherState().applicationFolder, launcherState().playerDataFolder);
    DesktopSessionInteraction interaction;
    return runGameSession(options.preflightOnly, interaction);
}

} // namespace

void reportFatalError(const std::string& message) {
    if (launcherState().consoleReporting) {
        std::string text = wideToUtf8(utf8ToWide(message));
        HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    MessageBoxW(nullptr, utf8ToWide(message).c_str(), L"Vexa 3711 \u2014 action required", MB_ICONERROR);
}

int launcherMain(void* moduleInstance) {
    LauncherState& state = launcherState();
    state.moduleInstance = moduleInstance;
    ComApartment apartment;
    return runReportingFailures([&] {
        int count = 0;
        LPWSTR* split = CommandLineToArgvW(GetCommandLineW(), &count);
        UniqueLocalMemory argv(split);
        resolvePlayerDataFolder();
        resolveApplicationFolder();
        std::vector<std::wstring> arguments;
        for (int at = 1; split && at < count; ++at) arguments.emplace_back(split[at]);
        LaunchOptions options;
        parseLaunchOptions(arguments, options, state, normalizeOptionPath);
        argv.reset();
        if (!options.dataFolderGiven) readPlayerDataLocation();
        return dispatch(options);
    });
}

int runReportingFailures(const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& failure) {
        return reportAndFail(failure.what());
    } catch (...) {
        return reportAndFail(unexpectedFailure);
    }
}

} // namespace vexa
