#pragma once
#include <string>
#include <vector>

namespace vexa {

// This program's own path; empty when it cannot be read.
std::wstring ownProgramPath();

// After a successful update: removes the builds of the launcher's download
// cache (launcher-updates, the folder this updater runs from) other than this
// updater itself, the newest. Best effort, never a failure: returns what could
// not be removed. Only files named as the launcher names cached builds go,
// never anything in a folder of another name, reached through a link, or a link.
std::vector<std::wstring> removeOtherCachedBuilds(const std::wstring& ownProgram);

} // namespace vexa
