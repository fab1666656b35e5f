#pragma once
#include "updater/PayloadTable.h"
#include "updater/SwapPlan.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexa {

// Carries out swap steps on the file system, with the payload's contents for
// the writes. Moves replace and write through; a write creates its file
// exclusively, flushes it, and removes it again when it cannot finish; so
// does a backup, a copy of its file.
SwapStepRunner fileSystemRunner(std::string_view payload, const std::vector<PayloadFile>& files);

// Brings the folder back to wholly old or wholly new when its journal shows a
// swap that an earlier run did not finish, and removes that run's new files,
// backups and journal. Nothing to do without a journal. Every target must
// pass the swap's own checks first; a journal naming anything else is refused
// as damaged before anything is touched. Returns the files that the finished
// swap added (relative paths), none when it was undone.
std::vector<std::wstring> finishInterruptedSwap(const std::wstring& folder, const SwapStepRunner& run);

// The whole swap, journalled: written before the first new file, marked
// complete once every new file is in, removed with the last backup. A failed
// swap that was undone leaves no journal; one that was not leaves it for the
// next run. Returns the backups left for the next run to remove.
std::vector<std::wstring> swapLauncherFiles(const std::wstring& folder, const std::vector<SwapTarget>& targets,
                                            const std::wstring& tag, const SwapStepRunner& run);

} // namespace vexa
