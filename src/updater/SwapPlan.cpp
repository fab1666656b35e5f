#include "updater/SwapPlan.h"

#include "integrity/PathGrammar.h"

#include <set>

namespace vexa {

std::wstring newFileOf(const std::wstring& target, const std::wstring& tag) { return target + L"." + tag + L".new"; }
std::wstring backupOf(const std::wstring& target, const std::wstring& tag) { return target + L"." + tag + L".old"; }
std::wstring backupDraftOf(const std::wstring& backup) { return backup + L".partial"; }

SwapPlan planSwap(const std::wstring& folder, const std::vector<SwapTarget>& targets, const std::wstring& tag) {
    using Kind = SwapStep::Kind;
    SwapPlan plan;
    // All writes first: a full disk or a refused name then stops the update
    // before any launcher file has changed.
    for (std::size_t file = 0; file < targets.size(); ++file)
        plan.steps.push_back({Kind::Write, newFileOf(joinPath(folder, targets[file].relativePath), tag), L"", file});
    // A copy, not a second name of the old file: whoever holds that file open
    // cannot keep its backup from going again.
    for (const SwapTarget& target : targets) {
        if (!target.exists) continue;
        std::wstring path = joinPath(folder, target.relativePath);
        plan.backups.push_back(backupOf(path, tag));
        plan.steps.push_back({Kind::Backup, path, plan.backups.back()});
    }
    for (const SwapTarget& target : targets) {
        std::wstring path = joinPath(folder, target.relativePath);
        plan.steps.push_back({Kind::Move, newFileOf(path, tag), path, 0, target.exists ? backupOf(path, tag) : L""});
    }
    return plan;
}

SwapStep inverseOf(const SwapStep& step) {
    using Kind = SwapStep::Kind;
    switch (step.kind) {
    case Kind::Write: return {Kind::Remove, step.path, L"", step.file};
    case Kind::Backup: return {Kind::Remove, step.destination, L""};
    case Kind::Move:
        // The old file comes back over the new one in one move, so the name
        // never goes missing on the way back either.
        if (!step.backup.empty()) return {Kind::Move, step.backup, step.destination};
        return {Kind::Move, step.destination, step.path};
    case Kind::Remove: break;
    }
    // Removing is only ever the inverse of a write or a backup, never planned forward.
    return {Kind::Write, step.path, L"", step.file};
}

SwapFailure::SwapFailure(bool restored, std::string detail)
    : MessageError(restored ? "The launcher files could not be replaced, so the previous version was kept. "
                              "Close every program that uses the Vexa 3711 folder and try again."
                            : "The update failed and the previous launcher files could not all be restored. "
                              "Install Vexa 3711 again."),
      restored(restored), detail(std::move(detail)) {}

void applySwap(const SwapPlan& plan, const SwapStepRunner& run) {
    std::size_t done = 0;
    try {
        for (; done < plan.steps.size(); ++done) run(plan.steps[done]);
    } catch (const std::exception& failure) {
        // A failed step changed nothing (moves are atomic; a failed write
        // removes what it created), so undoing starts with the step before it.
        bool restored = true;
        std::set<std::wstring> kept;
        while (done > 0) {
            SwapStep inverse = inverseOf(plan.steps[--done]);
            if (inverse.kind == SwapStep::Kind::Remove && kept.contains(inverse.path)) continue;
            try {
                run(inverse);
            } catch (const std::exception&) {
                restored = false;  // keep undoing the rest: as much old as possible
                if (!plan.steps[done].backup.empty()) kept.insert(plan.steps[done].backup);
            }
        }
        throw SwapFailure(restored, failure.what());
    }
}

std::vector<std::wstring> removeBackups(const SwapPlan& plan, const SwapStepRunner& run) {
    std::vector<std::wstring> leftBehind;
    for (const std::wstring& backup : plan.backups) {
        try {
            run({SwapStep::Kind::Remove, backup, L""});
        } catch (const std::exception&) {
            leftBehind.push_back(backup);
        }
    }
    return leftBehind;
}

} // namespace vexa
