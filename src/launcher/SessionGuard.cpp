#include "launcher/SessionGuard.h"

#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"

#include <cwctype>
#include <windows.h>
#include <tlhelp32.h>

namespace vexa {

SessionGuard::SessionGuard(const std::wstring& playerDataFolder) {
    const char* otherSession = "Another Vexa session is running. Close it first.";
    mutex_.reset(CreateMutexW(nullptr, FALSE, L"Local\\Vexa3711-Native-Session"));
    if (!mutex_) throw MessageError(otherSession);
    // An abandoned mutex (its owner died) is ours now and the session goes on.
    DWORD wait = WaitForSingleObject(mutex_.get(), 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        mutex_.reset();
        throw MessageError(otherSession);
    }
    ownership_.reset(mutex_.get());

    std::wstring lockPath = joinPath(playerDataFolder, L"session.lock");
    lockFile_.reset(CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    // Failing here releases and closes the mutex as the members unwind.
    if (!lockFile_) throw MessageError("Your save folder is in use. Close the other session first.");
}

SessionGuard::~SessionGuard() = default;

void requireNoOtherGameProcess() {
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) throw MessageError("Cannot check active game sessions.");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self) continue;
        const wchar_t* prefix = L"vexa";
        bool matches = true;
        for (int at = 0; at < 4 && matches; ++at)
            matches = std::towlower(entry.szExeFile[at]) == prefix[at];
        if (matches) throw MessageError("Another Vexa game or installer is running. Close it first.");
    }
}

} // namespace vexa
