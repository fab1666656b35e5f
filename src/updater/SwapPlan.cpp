#include "updater/SwapPlan.h"

#include "integrity/PathGrammar.h"

namespace vexa {

SwapPlan planSwap(const std::wstring& folder, const std::vector<SwapTarget>& targets, const std::wstring& tag) {
    using Kind = SwapStep::Kind;
    SwapPlan plan;
    // All writes first: a full disk or a refused name then stops the update
    // before any launcher file has moved.
    for (std::size_t file = 0; file < targets.size(); ++file)
        plan.steps.push_back({Kind::Write, joinPath(folder, targets[file].relativePath) + L"." + tag + L".new", L"", file});
    for (std::size_t file = 0; file < targets.size(); ++file) {
        std::wstring target = joinPath(folder, targets[file].relativePath);
        if (targets[file].exists) {
            plan.backups.push_back(target + L"." + tag + L".old");
            plan.steps.push_back({Kind::Move, target, plan.backups.back()});
        }
        plan.steps.push_back({Kind::Move, target + L"." + tag + L".new", target});
    }
    return plan;
}

SwapStep inverseOf(const SwapStep& step) {
    switch (step.kind) {
    case SwapStep::Kind::Write: return {SwapStep::Kind::Remove, step.path, L"", step.file};
    case SwapStep::Kind::Move: return {SwapStep::Kind::Move, step.destination, step.path};
    case SwapStep::Kind::Remove: break;
    }
    // Removing is only ever the inverse of a write, never planned forward.
    return {SwapStep::Kind::Write, step.path, L"", step.file};
}

SwapFailure::SwapFailure(bool restored, std::string detail)
    : MessageError(restored ? "The launcher files could not be replaced, so the previous version was kept. "
                              "Close every program that uses the Vexa 3711 folder and try again."
                            : "The update failed and the previous launcher files could not all be restored. "
                              "Install Vexa 3711 again."),
      restored(restored), detail(std::move(detail)) {}

std::vector<std::wstring> applySwap(const SwapPlan& plan, const SwapStepRunner& run) {
    std::size_t done = 0;
    try {
        for (; done < plan.steps.size(); ++done) run(plan.steps[done]);
    } catch (const std::exception& failure) {
        // A failed step changed nothing (moves are atomic; a failed write
        // removes what it created), so undoing starts with the step before it.
        bool restored = true;
        while (done > 0) {
            try {
                run(inverseOf(plan.steps[--done]));
            } catch (const std::exception&) {
                restored = false;  // keep undoing the rest: as much old as possible
            }
        }
        throw SwapFailure(restored, failure.what());
    }
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
