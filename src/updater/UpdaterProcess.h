#pragma once
#include <string>

namespace vexa {

// Returns once the process has ended; a process id that names no process
// counts as ended. Fails when the process is still running after timeoutMs.
void waitForProcessEnd(unsigned long processId, unsigned long timeoutMs);

// Starts folder\Vexa3711.exe without arguments, in that folder.
void startLauncher(const std::wstring& folder);

} // namespace vexa
