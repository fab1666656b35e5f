#pragma once
#include "updater/PayloadTable.h"
#include "updater/SwapPlan.h"

#include <string_view>
#include <vector>

namespace vexa {

// Carries out swap steps on the file system, with the payload's contents for
// the writes. Moves replace and write through; a write creates its file
// exclusively, flushes it, and removes it again when it cannot finish.
SwapStepRunner fileSystemRunner(std::string_view payload, const std::vector<PayloadFile>& files);

} // namespace vexa
