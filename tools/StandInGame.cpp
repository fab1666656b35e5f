// Stand-in for the game executable in demos and tests. It reports what it was
// handed on its standard output (arguments as the platform splits them,
// working folder, VEXA_ and VK_ variables), checks that its standard error
// works too, and exits with the code in STAND_IN_EXIT_CODE (default 0).
// STAND_IN_SLEEP_MS keeps it running for a while (for tests that need a live process).
// STAND_IN_PROBE=<path>: reports whether that file can be opened for writing
// and for deletion while the game runs (0, or the error code).
// STAND_IN_FOREIGN_HANDLE=<value>: reports whether a handle of that value is
// valid here (it should not have been inherited).
// STAND_IN_LINGER=<event name>: leaves behind a child of its own that inherits
// what the game has and lives until that event is set (at most 30 s), as a
// game's helper process may.
// STAND_IN_WINDOW=<title>: reports whether a window of that exact title is
// shown as the game starts (the launcher's own should be gone by then).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes, nullptr,
                        nullptr);
    return out;
}

bool writeLine(DWORD which, const std::string& line) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    std::string text = line + "\n";
    DWORD written = 0;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::wstring variable(const wchar_t* name) {
    wchar_t buffer[64] = {};
    DWORD length = GetEnvironmentVariableW(name, buffer, 64);
    return length > 0 && length < 64 ? std::wstring(buffer, length) : std::wstring();
}

} // namespace

int main() {
    if (std::wstring lingering = variable(L"STAND_IN_LINGERING"); !lingering.empty()) {
        HANDLE end = OpenEventW(SYNCHRONIZE, FALSE, lingering.c_str());
        WaitForSingleObject(end, 30000);
        return 0;
    }
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    writeLine(STD_OUTPUT_HANDLE, "argc=" + std::to_string(count));
    for (int at = 0; at < count; ++at)
        writeLine(STD_OUTPUT_HANDLE, "arg[" + std::to_string(at) + "]=" + utf8(argv[at]));
    LocalFree(argv);

    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    writeLine(STD_OUTPUT_HANDLE, "cwd=" + utf8(folder));

    std::vector<std::wstring> reported;
    if (LPWCH block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            std::wstring text(entry);
            if (text.rfind(L"VEXA_", 0) == 0 || text.rfind(L"vexa_", 0) == 0 || text.rfind(L"VK_", 0) == 0)
                reported.push_back(text);
        }
        FreeEnvironmentStringsW(block);
    }
    std::sort(reported.begin(), reported.end());
    for (const std::wstring& entry : reported) writeLine(STD_OUTPUT_HANDLE, "env " + utf8(entry));

    if (std::wstring probe = variable(L"STAND_IN_PROBE"); !probe.empty()) {
        auto tryOpen = [&](DWORD access) {
            HANDLE file = CreateFileW(probe.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) return std::to_string(GetLastError());
            CloseHandle(file);
            return std::string("0");
        };
        writeLine(STD_OUTPUT_HANDLE, "probe write=" + tryOpen(GENERIC_WRITE) + " delete=" + tryOpen(DELETE));
    }
    if (std::wstring title = variable(L"STAND_IN_WINDOW"); !title.empty()) {
        HWND shown = FindWindowW(nullptr, title.c_str());
        writeLine(STD_OUTPUT_HANDLE, shown && IsWindowVisible(shown) ? "window=shown" : "window=none");
    }
    if (std::wstring foreign = variable(L"STAND_IN_FOREIGN_HANDLE"); !foreign.empty()) {
        DWORD flags = 0;
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(foreign.c_str(), nullptr, 10)));
        writeLine(STD_OUTPUT_HANDLE, GetHandleInformation(handle, &flags) ? "foreign-handle=valid" : "foreign-handle=invalid");
    }
    char nothing = 0;
    DWORD got = 1;
    bool nullInput = ReadFile(GetStdHandle(STD_INPUT_HANDLE), &nothing, 1, &got, nullptr) && got == 0;
    writeLine(STD_OUTPUT_HANDLE, nullInput ? "stdin=null" : "stdin=other");
    bool errorWorks = writeLine(STD_ERROR_HANDLE, "stderr=ok");
    writeLine(STD_OUTPUT_HANDLE, errorWorks ? "stdout=ok" : "stdout=ok stderr=failed");

    if (std::wstring linger = variable(L"STAND_IN_LINGER"); !linger.empty()) {
        SetEnvironmentVariableW(L"STAND_IN_LINGERING", linger.c_str());
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION child{};
        if (CreateProcessW(self, nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
            CloseHandle(child.hThread);
            CloseHandle(child.hProcess);
        }
    }
    if (std::wstring sleep = variable(L"STAND_IN_SLEEP_MS"); !sleep.empty()) Sleep(std::wcstoul(sleep.c_str(), nullptr, 10));
    std::wstring code = variable(L"STAND_IN_EXIT_CODE");
    return code.empty() ? 0 : static_cast<int>(std::wcstoul(code.c_str(), nullptr, 10));
}
