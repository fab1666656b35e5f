#pragma once
// The Updates command: judge the feed, ask the player, download, verify,
// cache under the digest, lock, verify again from disk and hand over to the
// downloaded build, which replaces the launcher once it has ended.
#include "integrity/FileIo.h"
#include "integrity/UniqueHandle.h"
#include "update/ReleaseFeed.h"

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

// The cached build opened for reading with read-only sharing: nobody can
// change, rename or delete it while this is held. Verified again through the
// same handle before it is trusted.
class LockedUpdate {
public:
    LockedUpdate(const std::wstring& path, const UpdateRelease& release);
    void* handle() const { return file_.get(); }

private:
    UniqueFile file_;
};

// True when the updater has been started and the launcher must close; false
// when nothing newer is published, the player declined, or a failure was shown.
bool runLauncherUpdate(void* owner, const std::wstring& applicationFolder, const std::wstring& playerDataFolder,
                       UpdateDialogs& dialogs = desktopUpdateDialogs());

} // namespace vexa
