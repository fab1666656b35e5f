#pragma once
// The record of a swap in progress. It lies in the application folder from
// before the first new file is written until the last backup is gone, so that
// the next updater can finish a swap that was cut off (a killed process, a
// power loss) before it changes anything itself:
//
//   vexa3711-update-journal 1\n
//   <begun|complete> <tag>\n
//   <1: the target existed, 0: it did not> <relative path, '/'-separated>\n   (one line per file)
#include "updater/SwapPlan.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexa {

inline constexpr const wchar_t* swapJournalName = L"Vexa3711-update.journal";

struct SwapJournal {
    bool complete = false;  // every new file is in place; only backups may remain
    std::wstring tag;
    std::vector<SwapTarget> targets;
};

std::string journalText(const SwapJournal& journal);
// Fails with one sentence unless the text is a journal as this updater writes them.
SwapJournal parseJournal(std::string_view text);
// That sentence: the journal is refused as a whole and nothing is touched.
[[noreturn]] void refuseDamagedJournal();

// The steps that bring the folder back from any point of the journal's swap:
// wholly old while it is begun, wholly new once it is complete, and in both
// cases without its new files or backups.
std::vector<SwapStep> recoveryOf(const SwapJournal& journal, const std::wstring& folder);

} // namespace vexa
