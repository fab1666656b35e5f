// The second process of cross-process tests.
//   launcher_test_helper <ready-event|-> <mode> [argument]
// Holding modes signal the named event once they hold, then wait to be ended:
//   hold-file <path> <none|read|all>   open for read and write with that sharing
//   hold-file <path> reader            open for reading, shared with readers only
//   guard <player-data folder>         a whole session guard
//   abandon-mutex                      exit while owning the session mutex
// Probe modes answer with the exit code (0 = it worked):
//   try-write <path>, try-read <path>, try-delete <path>, try-mutex, scan (the process scan passes),
//   load <dll> (LoadLibraryW's usual search: this program's folder first)
// access-list <path> prints "user|<this account's SID>" and "dacl|<the path's
// access list as SDDL>", as Windows reads them back.
// Started as an updater ("--directory ..." first), it records its command line
// and working folder in updater-started.txt in that folder, and exits.
// Started with no arguments (as a restarted launcher), it records
// "<working folder>|0" in restarted.txt beside itself, and exits.
#include "launcher/SessionGuard.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdio>

#include <string>

namespace {

constexpr const wchar_t* sessionMutex = L"Local\\Vexa3711-Native-Session";

void signalReady(const std::wstring& event) {
    if (event == L"-") return;
    if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, event.c_str())) {
        SetEvent(ready);
        CloseHandle(ready);
    }
}

// Written aside and moved in, so a reader never sees half a record.
int writeRecord(const std::wstring& path, const std::wstring& record) {
    HANDLE file = CreateFileW((path + L".partial").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW((path + L".partial").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

int holdUntilEnded(const std::wstring& event) {
    signalReady(event);
    Sleep(INFINITE);
    return 0;
}

} // namespace

int main() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    wchar_t folder[MAX_PATH] = {}, self[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring beside(self);
    beside.resize(beside.find_last_of(L'\\') + 1);
    if (count > 1 && std::wstring(argv[1]) == L"--directory")
        return writeRecord(L"updater-started.txt", std::wstring(GetCommandLineW()) + L"\n" + folder);
    if (count == 1) return writeRecord(beside + L"restarted.txt", std::wstring(folder) + L"|0");
    if (count < 3) return 2;
    std::wstring event = argv[1], mode = argv[2], argument = count > 3 ? argv[3] : L"";

    if (mode == L"hold-file") {
        std::wstring sharing = count > 4 ? argv[4] : L"none";
        DWORD share = sharing == L"all" ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                    : sharing == L"read" ? FILE_SHARE_READ : 0;
        DWORD access = sharing == L"reader" ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
        if (sharing == L"reader") share = FILE_SHARE_READ;
        HANDLE file = CreateFileW(argument.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 3;
        return holdUntilEnded(event);
    }
    if (mode == L"guard") {
        try {
            vexa::SessionGuard guard(argument);
            return holdUntilEnded(event);
        } catch (const std::exception&) {
            return 4;
        }
    }
    if (mode == L"abandon-mutex") {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, sessionMutex);
        if (!mutex || WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0) return 5;
        signalReady(event);
        ExitProcess(0);  // still owning it: the mutex is abandoned
    }
    if (mode == L"try-write" || mode == L"try-read") {
        DWORD access = mode == L"try-read" ? GENERIC_READ : GENERIC_WRITE;
        HANDLE file = CreateFileW(argument.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        CloseHandle(file);
        return 0;
    }
    if (mode == L"access-list") {
        HANDLE token = nullptr;
        alignas(TOKEN_USER) unsigned char user[256];
        DWORD size = 0;
        LPWSTR sid = nullptr, list = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
            !GetTokenInformation(token, TokenUser, user, sizeof user, &size) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid) ||
            GetNamedSecurityInfoW(argument.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  nullptr, nullptr, &descriptor) != ERROR_SUCCESS ||
            !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                  DACL_SECURITY_INFORMATION, &list, nullptr))
            return 1;
        std::printf("user|%ls\ndacl|%ls\n", sid, list);
        return 0;
    }
    if (mode == L"try-delete") return DeleteFileW(argument.c_str()) ? 0 : 1;
    if (mode == L"load") return LoadLibraryW(argument.c_str()) ? 0 : 1;
    if (mode == L"try-mutex") {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, sessionMutex);
        DWORD wait = mutex ? WaitForSingleObject(mutex, 0) : WAIT_FAILED;
        return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED ? 0 : 1;
    }
    if (mode == L"scan") {
        try {
            vexa::requireNoOtherGameProcess();
            return 0;
        } catch (const std::exception&) {
            return 1;
        }
    }
    return 2;
}
