#include "integrity/TaskProgress.h"

#include <algorithm>

namespace vexa {
namespace {

// Thousands grouped with commas, as the player reads counts in English.
std::wstring grouped(std::uint64_t value) {
    std::wstring digits = std::to_wstring(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, L',');
    return digits;
}

// Megabytes with one decimal, rounded down so a transfer never reads as done early.
std::wstring megabytes(std::uint64_t bytes) {
    std::uint64_t tenths = bytes / 100000;
    return grouped(tenths / 10) + L"." + std::to_wstring(tenths % 10);
}

} // namespace

void TaskProgress::begin(std::wstring activity) {
    throwIfCancelled();
    std::lock_guard lock(mutex_);
    activity_ = std::move(activity);
    unit_ = ProgressUnit::none;
    done_ = 0;
    total_ = 0;
}

void TaskProgress::measure(ProgressUnit unit, std::uint64_t total) {
    throwIfCancelled();
    std::lock_guard lock(mutex_);
    unit_ = unit;
    done_ = 0;
    total_ = total;
}

void TaskProgress::advance(std::uint64_t done) {
    done_ = done;
    throwIfCancelled();
}

void TaskProgress::throwIfCancelled() const {
    if (cancelled_) throw TaskCancelled();
}

ProgressSnapshot TaskProgress::snapshot() const {
    ProgressSnapshot shot;
    {
        std::lock_guard lock(mutex_);
        shot.activity = activity_;
        shot.unit = unit_;
    }
    shot.done = done_;
    shot.total = total_;
    shot.cancelled = cancelled_;
    return shot;
}

std::wstring progressDetail(const ProgressSnapshot& progress) {
    switch (progress.unit) {
    case ProgressUnit::images:
        return grouped(progress.done) + L" of " + grouped(progress.total) + L" images";
    case ProgressUnit::bytes:
        return megabytes(progress.done) + L" of " + megabytes(progress.total) + L" MB";
    case ProgressUnit::none:
        break;
    }
    return {};
}

int progressPermille(const ProgressSnapshot& progress) {
    if (progress.unit == ProgressUnit::none || progress.total == 0) return 0;
    return static_cast<int>(std::min(progress.done, progress.total) * 1000 / progress.total);
}

} // namespace vexa
