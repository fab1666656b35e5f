#pragma once
// Long work's progress, shared by the thread that does the work and the
// window's thread that shows it: the work says what it does and how far it
// is, the player may ask it to stop. No Windows here, so the rules that
// report stay pure.
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>

namespace vexa {

// Raised by work that stopped because the player cancelled it. Not a failure:
// nothing is shown for it, and it is no MessageError so no catch shows it by mistake.
class TaskCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "The task was cancelled."; }
};

enum class ProgressUnit { none, images, bytes };

struct ProgressSnapshot {
    std::wstring activity;
    ProgressUnit unit = ProgressUnit::none;  // none: no measure yet, an indeterminate bar
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    bool cancelled = false;
};

class TaskProgress {
public:
    // A new step of the work, measured in nothing yet.
    void begin(std::wstring activity);
    // From now on the step counts unit up to total.
    void measure(ProgressUnit unit, std::uint64_t total);
    // How far the step is; raises TaskCancelled once the player cancelled, so
    // work that reports often stops within one of its steps.
    void advance(std::uint64_t done);
    void throwIfCancelled() const;

    void cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }
    ProgressSnapshot snapshot() const;

private:
    mutable std::mutex mutex_;  // guards activity_ and unit_
    std::wstring activity_;
    ProgressUnit unit_ = ProgressUnit::none;
    std::atomic<std::uint64_t> done_ = 0;
    std::atomic<std::uint64_t> total_ = 0;
    std::atomic<bool> cancelled_ = false;
};

// "41,200 of 100,000 images", "2.1 of 5.5 MB" (decimal megabytes, one
// decimal), or empty without a measure.
std::wstring progressDetail(const ProgressSnapshot& progress);
// The share done, 0 to 1000, for a bar (0 without a measure).
int progressPermille(const ProgressSnapshot& progress);

} // namespace vexa
