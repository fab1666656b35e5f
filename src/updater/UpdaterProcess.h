#pragma once
#include "integrity/UniqueHandle.h"

#include <string>

namespace vexa {

// The process named by --wait-pid, opened as the updater starts, so that its
// id cannot pass to another program while the updater proves its package.
class LauncherProcess {
public:
    // Never fails: an id that names no process, or a process this user cannot
    // open (a launcher started by this user always can), is nothing to wait for.
    explicit LauncherProcess(unsigned long processId);
    // Returns once it has ended when it is folder's Vexa3711.exe; any other
    // program (an id the system has given again) is not waited for. Fails when
    // the launcher still runs after timeoutMs.
    void waitIfLauncherOf(const std::wstring& folder, unsigned long timeoutMs) const;

private:
    UniqueKernelHandle process_;
};

// Starts folder\Vexa3711.exe without arguments, in that folder.
void startLauncher(const std::wstring& folder);

} // namespace vexa
