#include "update/UpdateCommand.h"

#include "integrity/ArgumentQuoting.h"
#include "integrity/Digest.h"
#include "integrity/FailureSentence.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/PathSafety.h"
#include "integrity/TextConversion.h"
#include "integrity/WorkBesideWindow.h"
#include "update/PublisherSignature.h"
#include "update/UpdateHost.h"
#include "update/UpdateTransport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <windows.h>

namespace vexa {
namespace {

constexpr const wchar_t* updatesTitle = L"Vexa 3711 Updates";
constexpr const char* checksumMismatch = "Update checksum mismatch or incomplete download; installation refused";
constexpr std::int64_t readBackPieceBytes = 1048576;

class DesktopUpdateDialogs : public UpdateDialogs {
public:
    int messageBox(void* owner, const std::wstring& text, const std::wstring& title, unsigned flags) override {
        return MessageBoxW(static_cast<HWND>(owner), text.c_str(), title.c_str(), flags);
    }
};

// The transfer runs on a thread of its own while this one, the window's,
// keeps handling messages: the window repaints and moves, and disabled it
// takes no input, so the player cannot start a second update or Play meanwhile.
// Past half a second a progress window shows it and offers Cancel.
ByteBuffer transferBesideWindow(void* owner, const std::wstring& activity,
                                const std::function<ByteBuffer(TaskProgress&)>& transfer) {
    ByteBuffer result;
    runBesideWindow(owner, {L"Vexa 3711 \u2014 Launcher update", L"", true}, [&](TaskProgress& progress) {
        progress.begin(activity);
        result = transfer(progress);
    });
    return result;
}

// The player's clock, UTC, to the second: what a feed's expiry is judged by.
std::chrono::sys_seconds systemTimeNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // Tenths of microseconds since 1601-01-01, which lies 11,644,473,600 s before 1970-01-01.
    std::uint64_t ticks = static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    return std::chrono::sys_seconds(std::chrono::seconds(static_cast<std::int64_t>(ticks / 10000000) - 11644473600));
}

UpdateRelease fetchReleaseFeed(void* owner, const UpdateTransferTimes& times) {
    std::vector<unsigned char> body = transferBesideWindow(owner, L"Checking for updates", [&](TaskProgress& progress) {
        return fetchUpdateResource("https://" + std::string(updateHostText) + std::string(releaseFeedPath), 65536,
                                   {times.feed, "Cannot reach the Relicade update server."}, winHttpOperations(),
                                   &progress);
    });
    return readReleaseFeed(nlohmann::json::parse(body.begin(), body.end(), nullptr, true, false), systemTimeNow(),
                           requirePublisherSignature);
}



// A build under the digest name that fails its size or digest is worth
// nothing: it is removed and the download, verified already, stored in its
// place. Only one that cannot be removed stops the command.
LockedUpdate lockCachedBuild(const std::wstring& cacheFolder, const std::wstring& cachedBuild, const ByteBuffer& build,
                             const UpdateRelease& release) {
    try {
        return LockedUpdate(cachedBuild, release);
    } catch (const DamagedCachedUpdate& damage) {
        if (!DeleteFileW(cachedBuild.c_str())) throw MessageError(damage.what());
    }
    storeDownload(cacheFolder, cachedBuild, build);
    return LockedUpdate(cachedBuild, release);
}

void startUpdater(const std::wstring& cachedBuild, const std::wstring& cacheFolder,
                  const std::wstring& applicationFolder) {
    std::wstring commandLine = quoteArgument(cachedBuild) + L" --directory " + quoteArgument(applicationFolder) +
                               L" --restart --wait-pid " + std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(cachedBuild.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        cacheFolder.c_str(), &startup, &process))
        throw MessageError("Cannot start verified launcher updater.");
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
}

bool applyLauncherUpdate(void* owner, const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                         UpdateDialogs& dialogs, const UpdateTransferTimes& times) {
    UpdateRelease release = fetchReleaseFeed(owner, times);
    if (release.version.empty()) {
        dialogs.messageBox(owner,
                           L"You have the latest published launcher Mods update. Native game files, ROM and saves "
                           L"are unchanged.",
                           updatesTitle, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    std::wstring question = L"Launcher update " + utf8ToWide(release.version) +
                            L" is available. Download, verify and apply it now?\n\nVexa will close, update its "
                            L"launcher in the same folder, and restart. Your native game runtime, ROM, saves, "
                            L"settings and shortcuts stay in place.";
    if (dialogs.messageBox(owner, question, updatesTitle, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return false;

    ByteBuffer build =
        transferBesideWindow(owner, L"Downloading launcher " + utf8ToWide(release.version), [&](TaskProgress& progress) {
            progress.measure(ProgressUnit::bytes, static_cast<std::uint64_t>(release.bytes));
            return fetchUpdateResource(release.url, static_cast<std::uint64_t>(release.bytes),
                                       {times.build, "Launcher update download interrupted."}, winHttpOperations(),
                                       &progress);
        });
    verifyUpdatePayload(release, build);
    requireUpdateFolder(playerDataFolder);
    std::wstring cacheFolder = joinPath(playerDataFolder, L"launcher-updates");
    requireUpdateFolder(cacheFolder);
    createFolders(cacheFolder);
    std::wstring cachedBuild = joinPath(cacheFolder, L"Relicade-Vexa3711-Mods-" + utf8ToWide(release.sha256) + L".exe");
    requireUpdateFolder(cachedBuild);
    // A sound build already cached under its digest is never written again, only verified.
    if (!pathExists(cachedBuild)) storeDownload(cacheFolder, cachedBuild, build);

    LockedUpdate locked = lockCachedBuild(cacheFolder, cachedBuild, build, release);
    // The lock is held until the updater exists, and the updater is started
    // by the path the lock resolved to: what runs is what was verified.
    startUpdater(locked.path(), cacheFolder, applicationFolder);
    return true;
}

} // namespace

void storeDownload(const std::wstring& cacheFolder, const std::wstring& cachedBuild, const ByteBuffer& build) {
    std::wstring temporary = joinPath(cacheFolder, L".verified-" + std::to_wstring(GetCurrentProcessId()) + L".exe");
    requireUpdateFolder(temporary);
    bool stored = false;
    {
        UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        if (!file) throw MessageError("Cannot create update cache file.");
        DWORD written = 0;
        stored = WriteFile(file.get(), build.data(), static_cast<DWORD>(build.size()), &written, nullptr) &&
                 written == build.size() && FlushFileBuffers(file.get());
    }
    if (stored) stored = MoveFileExW(temporary.c_str(), cachedBuild.c_str(), MOVEFILE_WRITE_THROUGH);
    // Another launcher stored the same build meanwhile: the first stored wins,
    // and it is verified like any other before it is trusted.
    bool storedByAnother = !stored && (GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS);
    if (storedByAnother) {
        DeleteFileW(temporary.c_str());
        return;
    }
    if (!stored) {
        DeleteFileW(temporary.c_str());
        throw MessageError("Cannot finish update cache file.");
    }
}

UpdateDialogs& desktopUpdateDialogs() {
    static DesktopUpdateDialogs dialogs;
    return dialogs;
}

void verifyUpdatePayload(const UpdateRelease& release, const ByteBuffer& bytes) {
    if (static_cast<std::int64_t>(bytes.size()) != release.bytes ||
        hexDigest(bytes.data(), bytes.size(), L"SHA256") != release.sha256)
        throw MessageError(checksumMismatch);
}

void requireUpdateFolder(const std::wstring& path) {
    requireAbsoluteUnlinkedPath(path, "An absolute update folder is required.", "Linked update folders are unsupported.");
}

LockedUpdate::LockedUpdate(const std::wstring& path, const UpdateRelease& release)
    : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr)) {
    if (!file_) throw MessageError("Cannot lock the verified update.");
    path_ = requireFinalPath(file_.get(), path, "Cannot lock the verified update.");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size)) throw MessageError("Cached update size mismatch.");
    if (size.QuadPart != release.bytes) throw DamagedCachedUpdate("Cached update size mismatch.");
    // Read and hashed a piece at a time: each piece is hashed while it is
    // still in the processor's cache, and no second copy of the build is held.
    DigestStream digest(L"SHA256");
    ByteBuffer piece(static_cast<std::size_t>(std::min<std::int64_t>(size.QuadPart, readBackPieceBytes)));
    for (std::int64_t left = size.QuadPart; left > 0;) {
        DWORD wanted = static_cast<DWORD>(std::min<std::int64_t>(left, readBackPieceBytes)), got = 0;
        if (!ReadFile(file_.get(), piece.data(), wanted, &got, nullptr) || got != wanted)
            throw MessageError("Cannot verify cached update.");
        digest.add(piece.data(), got);
        left -= got;
    }
    if (digest.hexFinish() != release.sha256) throw DamagedCachedUpdate(checksumMismatch);
}

bool runLauncherUpdate(void* owner, const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                       UpdateDialogs& dialogs, const UpdateTransferTimes& times) {
    try {
        return applyLauncherUpdate(owner, applicationFolder, playerDataFolder, dialogs, times);
    } catch (const TaskCancelled&) {
        // The player's own choice: nothing was stored or started, and nothing is said.
        return false;
    } catch (...) {
        // Every handle of the command is closed by now; the window stays open.
        dialogs.messageBox(owner, sentenceOfCurrentFailure(), L"Vexa 3711 update check stopped", MB_OK | MB_ICONERROR);
        return false;
    }
}

} // namespace vexa
