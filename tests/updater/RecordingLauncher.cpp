// Stands in for a new launcher inside test update packages: records, in
// restarted.txt beside itself, "<working folder>|<argument count>" (UTF-16).
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t folder[MAX_PATH] = {}, self[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    int count = 0;
    LocalFree(CommandLineToArgvW(GetCommandLineW(), &count));
    std::wstring record = std::wstring(folder) + L"|" + std::to_wstring(count - 1);
    std::wstring beside(self);
    beside.resize(beside.find_last_of(L'\\') + 1);
    // Written aside and moved in, so a reader never sees half a record.
    std::wstring partial = beside + L"restarted.partial", path = beside + L"restarted.txt";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
