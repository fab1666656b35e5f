#pragma once
// How new launcher files replace the old ones so that the application folder
// is wholly old or wholly new: every new file is first written next to its
// target, then each target moves aside to a backup and its new file moves in.
// Every step has an exact inverse, so a failure at any step is undone by
// running the inverses of the steps before it, last first.
#include "integrity/MessageError.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vexa {

struct SwapStep {
    enum class Kind { Write, Move, Remove };
    Kind kind;
    std::wstring path;         // Write, Remove: the file; Move: the source
    std::wstring destination;  // Move only
    std::size_t file = 0;      // Write: which payload file
};

struct SwapPlan {
    std::vector<SwapStep> steps;
    std::vector<std::wstring> backups;  // removed once every step succeeded
};

struct SwapTarget {
    std::wstring relativePath;
    bool exists = false;
};

// tag makes the temporary and backup names of this run unique (the process id).
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
// before it and throws SwapFailure. On success removes the backups and returns
// those that could not be removed (the update itself is complete then).
std::vector<std::wstring> applySwap(const SwapPlan& plan, const SwapStepRunner& run);

} // namespace vexa
