#pragma once
#include <string>

namespace vexa {

// The spine of every run; returns the process exit code (65 for any failure).
int launcherMain(void* moduleInstance);
// Shows a failure that reached the entry: standard error for console runs,
// otherwise a message box.
void reportFatalError(const std::string& message);

} // namespace vexa
