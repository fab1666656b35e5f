#include "updater/UpdaterProcess.h"

#include "integrity/ArgumentQuoting.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"

#include <windows.h>

namespace vexa {

void waitForProcessEnd(unsigned long processId, unsigned long timeoutMs) {
    const char* cannotWait = "The updater cannot tell whether Vexa 3711 has closed. Close it and try again.";
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) {
        if (GetLastError() == ERROR_INVALID_PARAMETER) return;  // no such process: it has ended
        throw MessageError(cannotWait);
    }
    DWORD woke = WaitForSingleObject(process.get(), timeoutMs);
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
