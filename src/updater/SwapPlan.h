#pragma once
// How new launcher files replace the old ones without the folder ever lacking
// a complete Vexa3711.exe: every new file is first written next to its
// target, then each old file is copied beside itself (its backup), and each
// new file moves in over its target in one replacing move. Every step has
// an exact inverse, so a failure at any step is undone by running the inverses
// of the steps before it, last first.
#include "integrity/MessageError.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vexa {

struct SwapStep {
    enum class Kind { Write, Backup, Move, Remove };
    Kind kind;
    std::wstring path;         // Write, Remove: the file; Backup, Move: the existing name
    std::wstring destination{};  // Backup: the copy; Move: the new name
    std::size_t file = 0;      // Write: which payload file
    std::wstring backup{};       // Move over an old file: the backup that undoing it moves back
    bool ifPresent = false;    // Move: a missing source means there is nothing left to do
};
// Removing a file that is already gone succeeds: undoing and recovering may
// meet a backup that an earlier step has moved back.

struct SwapPlan {
    std::vector<SwapStep> steps;
    std::vector<std::wstring> backups;  // removed once every step succeeded
};

struct SwapTarget {
    std::wstring relativePath;
    bool exists = false;
};

// Names of one run's files beside a target; tag makes them unique (the process id).
std::wstring newFileOf(const std::wstring& target, const std::wstring& tag);
std::wstring backupOf(const std::wstring& target, const std::wstring& tag);
// A backup is copied under this name and moved to its own once complete, so a
// backup that exists is always whole.
std::wstring backupDraftOf(const std::wstring& backup);

SwapPlan planSwap(const std::wstring& folder, const std::vector<SwapTarget>& targets, const std::wstring& tag);

SwapStep inverseOf(const SwapStep& step);

// A failed swap: restored tells whether every step before the failure was undone.
class SwapFailure : public MessageError {
public:
    SwapFailure(bool restored, std::string detail);
    bool restored;
    std::string detail;  // what failed first, for the log
};

using SwapStepRunner = std::function<void(const SwapStep&)>;

// Runs the plan's steps; on the first failure runs the inverses of the steps
// before it and throws SwapFailure. A backup whose file could not be moved
// back is kept: it is then the only copy of the old file.
void applySwap(const SwapPlan& plan, const SwapStepRunner& run);
// After a complete swap: removes the backups and returns those that could not
// be removed (the update itself is complete then).
std::vector<std::wstring> removeBackups(const SwapPlan& plan, const SwapStepRunner& run);

} // namespace vexa
