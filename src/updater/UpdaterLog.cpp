#include "updater/UpdaterLog.h"

#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"
#include "updater/CachedBuilds.h"

#include <cstdio>
#include <windows.h>

namespace vexa {

UpdaterLog::UpdaterLog() {
    // No log at all rather than one in an unknown place.
    std::wstring program = ownProgramPath();
    if (!program.empty()) path_ = joinPath(parentPath(program), L"updater.log");
}

void UpdaterLog::record(std::string_view step, std::string_view outcome) noexcept {
    try {
        if (path_.empty()) return;
        SYSTEMTIME now{};
        GetSystemTime(&now);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ ", now.wYear, now.wMonth, now.wDay,
                      now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
        std::string line = std::string(stamp) + std::string(step) + " " + std::string(outcome) + "\r\n";
        UniqueFile file(CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (file) WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (...) {
        // Out of memory while formatting: the line is dropped, the update goes on.
    }
}

} // namespace vexa
