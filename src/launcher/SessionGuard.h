#pragma once
// Claims the player-data folder for one game session: a named mutex per logon
// session and session.lock opened with no sharing. Both are held until the
// guard ends; acquisition either takes both or holds nothing.
#include "integrity/UniqueHandle.h"

#include <string>

namespace vexa {

class SessionGuard {
public:
    explicit SessionGuard(const std::wstring& playerDataFolder);
    ~SessionGuard();
    SessionGuard(const SessionGuard&) = delete;
    SessionGuard& operator=(const SessionGuard&) = delete;

private:
    // Members end in reverse order: the lock file closes first, then the
    // mutex is released, then its handle closed.
    UniqueKernelHandle mutex_;
    MutexOwnership ownership_;
    UniqueFile lockFile_;
};

// Fails when another process whose file name begins with "Vexa" (any case) runs.
void requireNoOtherGameProcess();

} // namespace vexa
