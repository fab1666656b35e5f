// The updater that the launcher's Updates command starts from its download
// cache. It replaces the launcher's own files with the ones it carries, then
// (with --restart) starts the new launcher. Each step that fails says so in a
// message box and ends the run with that step's exit code.
#include "integrity/FailureSentence.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "updater/AddedFiles.h"
#include "updater/ApplicationFolder.h"
#include "updater/CachedBuilds.h"
#include "updater/FileSwap.h"
#include "updater/PayloadResource.h"
#include "updater/PayloadTable.h"
#include "updater/SwapPlan.h"
#include "updater/UninstallEntry.h"
#include "updater/UpdaterLog.h"
#include "updater/UpdaterOptions.h"
#include "updater/UpdaterProcess.h"

#include <windows.h>
#include <shellapi.h>

namespace vexa {
namespace {

// The launcher starts the updater as its last act and exits at once, which
// takes milliseconds. Half a minute still covers a machine under heavy load or
// a virus scanner holding the exiting program; longer, a player watching
// nothing happen would take the update for hung. Nothing has changed while
// waiting, so giving up costs only a retry.
constexpr unsigned long launcherExitTimeoutMs = 30000;

enum ExitCode : int {
    updated = 0,
    badCommandLine = 2,
    badPackage = 3,
    launcherStillRunning = 4,
    badApplicationFolder = 5,
    swapFailedRestored = 6,
    swapFailedNotRestored = 7,
    restartFailed = 8,
};

struct StepFailure {
    int exitCode;
    std::wstring message;
};

// Runs one step, logs its outcome, and turns its failure into the message the
// player sees (the failure's sentence, then what was left unchanged).
template <typename Action>
void step(UpdaterLog& log, const char* name, ExitCode exitCode, const wchar_t* unchanged, Action&& action) {
    try {
        action();
        log.record(name, "ok");
    } catch (const SwapFailure& failure) {
        log.record(name, "failed: " + failure.detail + (failure.restored ? " (restored)" : " (NOT restored)"));
        throw StepFailure{failure.restored ? swapFailedRestored : swapFailedNotRestored, sentenceOfCurrentFailure()};
    } catch (const std::exception& failure) {
        log.record(name, std::string("failed: ") + failure.what());
        throw StepFailure{exitCode, sentenceOfCurrentFailure() + unchanged};
    }
}

// After files went in for good: the uninstaller learns of them from this list.
// Not a failure of the update, which is complete; only noted.
void recordAdded(UpdaterLog& log, const std::wstring& folder, const std::vector<std::wstring>& added) noexcept {
    try {
        if (added.empty()) return;
        recordAddedFiles(folder, added);
        log.record("added-files", "recorded");
    } catch (const std::exception& failure) {
        log.record("added-files", std::string("failed: ") + failure.what());
    }
}

std::vector<std::wstring> ownArguments() {
    int count = 0;
    UniqueLocalMemory split(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!split) return {L"(unreadable command line)"};
    LPWSTR* argv = static_cast<LPWSTR*>(split.get());
    return std::vector<std::wstring>(argv + 1, argv + count);
}

int runUpdater() {
    UpdaterLog log;
    const wchar_t* nothingChanged = L"\n\nNothing was changed.";
    try {
        UpdaterOptions options;
        step(log, "command-line", badCommandLine, L"\n\nStart the update from the Vexa 3711 launcher.",
             [&] { options = parseUpdaterOptions(ownArguments()); });

        // Opened first, so that its id cannot pass to another program meanwhile.
        LauncherProcess launcher(options.waitPid);

        // Every file is proved before anything else happens.
        std::string_view payload;
        std::vector<PayloadFile> files;
        step(log, "package", badPackage, nothingChanged, [&] {
            payload = payloadOf(nullptr);
            files = verifyPayload(payload);
        });

        std::wstring folder;
        step(log, "application-folder", badApplicationFolder, nothingChanged,
             [&] { folder = requireApplicationFolder(options.directory); });

        step(log, "wait-for-launcher", launcherStillRunning, nothingChanged,
             [&] { launcher.waitIfLauncherOf(folder, launcherExitTimeoutMs); });

        // An update cut off earlier is finished before this one looks at the folder.
        SwapStepRunner run = fileSystemRunner(payload, files);
        step(log, "earlier-update", swapFailedNotRestored,
             L"\n\nAn earlier update could not be finished. Close every program that uses the Vexa 3711 folder "
             L"and try again, or install Vexa 3711 again.",
             [&] { recordAdded(log, folder, finishInterruptedSwap(folder, run)); });

        std::vector<SwapTarget> targets;
        step(log, "launcher-files", badApplicationFolder, nothingChanged,
             [&] { targets = inspectTargets(folder, files); });

        step(log, "swap", swapFailedRestored, L"", [&] {
            for (const std::wstring& kept :
                 swapLauncherFiles(folder, targets, L"update-" + std::to_wstring(GetCurrentProcessId()), run))
                log.record("swap", "left for the next update: " + wideToUtf8(kept));
        });
        std::vector<std::wstring> added;
        for (const SwapTarget& target : targets)
            if (!target.exists) added.push_back(target.relativePath);
        recordAdded(log, folder, added);

        // Best effort: the update is complete whether or not the list of programs shows it.
        try {
            switch (updateUninstallEntry(folder, utf8ToWide(VEXA_LAUNCHER_VERSION))) {
            case UninstallEntryOutcome::rewritten: log.record("uninstall-entry", "rewritten"); break;
            case UninstallEntryOutcome::noEntry: log.record("uninstall-entry", "left: there is none"); break;
            case UninstallEntryOutcome::otherFolder: log.record("uninstall-entry", "left: another folder's"); break;
            }
        } catch (const std::exception& failure) {
            log.record("uninstall-entry", std::string("failed: ") + failure.what());
        }

        // Best effort: the update is complete whatever stays in the cache.
        try {
            for (const std::wstring& kept : removeOtherCachedBuilds(ownProgramPath()))
                log.record("clean-up", "could not remove " + wideToUtf8(kept));
        } catch (const std::exception&) {
            log.record("clean-up", "stopped early");
        }

        if (options.restart) step(log, "restart", restartFailed, L"", [&] { startLauncher(folder); });
        return updated;
    } catch (const StepFailure& failure) {
        MessageBoxW(nullptr, failure.message.c_str(), L"Vexa 3711 Updater", MB_ICONERROR);
        return failure.exitCode;
    }
}

} // namespace
} // namespace vexa

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: only the system folder, never the
    // download cache this program runs from.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    return vexa::runUpdater();
}
