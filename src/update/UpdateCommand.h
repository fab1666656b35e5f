#pragma once
// The Updates command: judge the feed, ask the player, download, verify,
// cache under the digest, lock, verify again from disk and hand over to the
// downloaded build, which replaces the launcher once it has ended.
#include "integrity/FileIo.h"
#include "integrity/MessageError.h"
#include "integrity/UniqueHandle.h"
#include "update/ReleaseFeed.h"

#include <chrono>
#include <string>

namespace vexa {

// The message boxes of the command, replaceable in tests.
class UpdateDialogs {
public:
    virtual ~UpdateDialogs() = default;
    // MessageBoxW's answer (IDOK is 1).
    virtual int messageBox(void* owner, const std::wstring& text, const std::wstring& title, unsigned flags) = 0;
};
UpdateDialogs& desktopUpdateDialogs();

// "Update checksum mismatch or incomplete download; installation refused"
// unless the count and then the SHA-256 match the release.
void verifyUpdatePayload(const UpdateRelease& release, const ByteBuffer& bytes);
// Absolute and unlinked, with the update messages.
void requireUpdateFolder(const std::wstring& path);

// The verified download stored under the cached build's name: written under a
// temporary name of this process and moved into place without replacing. A
// build another launcher stored there meanwhile wins, and is verified like any
// other before it is trusted.
void storeDownload(const std::wstring& cacheFolder, const std::wstring& cachedBuild, const ByteBuffer& build);

// A cached build of the wrong size or digest: worth replacing, never trusting.
class DamagedCachedUpdate : public MessageError {
public:
    using MessageError::MessageError;
};

// The cached build opened for reading with read-only sharing: nobody can
// change, rename or delete it while this is held. Its final path must be the
// path it was opened by ("Cannot lock the verified update." otherwise), and it
// is verified again through the same handle before it is trusted.
class LockedUpdate {
public:
    LockedUpdate(const std::wstring& path, const UpdateRelease& release);
    // Where the locked file really is: the path to start.
    const std::wstring& path() const { return path_; }

private:
    UniqueFile file_;
    std::wstring path_;
};

// The host's share of the command. Each share is overrun by at most one wait
// that WinHTTP bounds itself (40 s until the response, 15 s for a read): the
// feed takes at most 45 s and the build 4 min, so whatever the host does the
// command ends within 5 minutes (the player's time at the question aside).
struct UpdateTransferTimes {
    std::chrono::milliseconds feed = std::chrono::seconds(30);
    std::chrono::milliseconds build = std::chrono::seconds(225);
};

// True when the updater has been started and the launcher must close; false
// when nothing newer is published, the player declined, or a failure was shown.
// The transfers run on a thread of their own while the owner's thread keeps
// handling its messages, the owner disabled meanwhile; past half a second a
// progress window offers Cancel, after which the command ends with false,
// nothing stored, started or said.
bool runLauncherUpdate(void* owner, const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                       UpdateDialogs& dialogs = desktopUpdateDialogs(), const UpdateTransferTimes& times = {});

} // namespace vexa
