#pragma once
#include "launcher/LauncherState.h"

#include <functional>
#include <string>

namespace vexa {

// The spine of every run; returns the process exit code (65 for any failure).
int launcherMain(void* moduleInstance);
// Shows a failure that reached the entry: standard error for console runs,
// otherwise a message box.
void reportFatalError(const std::wstring& sentence, bool consoleReporting);
// The entry's last catcher: body's exit code, or 65 after every failure,
// whatever was thrown, has been reported with a sentence, in the way the state
// asks for when the failure arrives (the options may have changed it).
int runReportingFailures(const std::function<int()>& body, const LauncherState& state);

} // namespace vexa
