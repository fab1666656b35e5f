#pragma once
#include <functional>
#include <string>

namespace vexa {

// The spine of every run; returns the process exit code (65 for any failure).
int launcherMain(void* moduleInstance);
// Shows a failure that reached the entry: standard error for console runs,
// otherwise a message box.
void reportFatalError(const std::string& message);
// The entry's last catcher: body's exit code, or 65 after every failure,
// whatever was thrown, has been reported with a sentence.
int runReportingFailures(const std::function<int()>& body);

} // namespace vexa
