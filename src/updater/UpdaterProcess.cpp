#include "updater/UpdaterProcess.h"

#include "integrity/ArgumentQuoting.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"

#include <windows.h>

namespace vexa {

namespace {

bool hasEnded(void* process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

} // namespace

LauncherProcess::LauncherProcess(unsigned long processId)
    : process_(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)) {}

void LauncherProcess::waitIfLauncherOf(const std::wstring& folder, unsigned long timeoutMs) const {
    const char* cannotWait = "The updater cannot tell whether Vexa 3711 has closed. Close it and try again.";
    if (!process_ || hasEnded(process_.get())) return;
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    if (!QueryFullProcessImageNameW(process_.get(), 0, image.data(), &length)) {
        if (hasEnded(process_.get())) return;  // it ended in between
        throw MessageError(cannotWait);
    }
    image.resize(length);
    std::wstring launcher = joinPath(folder, L"Vexa3711.exe");
    if (CompareStringOrdinal(image.c_str(), -1, launcher.c_str(), -1, TRUE) != CSTR_EQUAL) return;
    DWORD woke = WaitForSingleObject(process_.get(), timeoutMs);
    if (woke == WAIT_OBJECT_0) return;
    if (woke == WAIT_TIMEOUT)
        throw MessageError("Vexa 3711 did not close within " + std::to_string(timeoutMs / 1000) +
                           " seconds. Close it and try again.");
    throw MessageError(cannotWait);
}

void startLauncher(const std::wstring& folder) {
    std::wstring program = joinPath(folder, L"Vexa3711.exe");
    std::wstring commandLine = quoteArgument(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &started))
        throw MessageError("Vexa 3711 was updated but could not be started. Start it yourself.");
    UniqueKernelHandle process(started.hProcess), thread(started.hThread);
}

} // namespace vexa
