#pragma once
// The per-user uninstall entry the installer writes
// (HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vexa3711), kept
// true after an update so that the system's list of programs shows the
// version that is installed and its size.
#include <string>

namespace vexa {

enum class UninstallEntryOutcome { rewritten, noEntry, otherFolder };

// Rewrites DisplayVersion (version) and EstimatedSize (KiB of the folder's
// files, links not followed) when the entry's InstallLocation is this folder:
// the same folder on disk, however either is spelled. Failures raise.
UninstallEntryOutcome updateUninstallEntry(const std::wstring& folder, const std::wstring& version);

} // namespace vexa
