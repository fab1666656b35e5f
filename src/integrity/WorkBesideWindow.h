#pragma once
// Long work kept off the window's thread, and the small progress window that
// shows it: nothing the player sees freezes, and nothing flashes for work that
// ends within half a second.
#include "integrity/TaskProgress.h"

#include <functional>
#include <memory>
#include <string>

namespace vexa {

struct ProgressLook {
    std::wstring title;    // the progress window's caption, one no message box uses
    std::wstring heading;  // a fixed first line; empty: the work's activity is the first line
    bool cancellable = true;  // a Cancel button; Escape and the close button mean Cancel too
};

// Runs work on a thread of its own while this thread, the owner's, keeps
// handling messages: the owner repaints and moves but, disabled, takes no
// input. Once the work has run half a second, a progress window owned by the
// owner shows what it reports; Cancel asks it to stop. The work's failure is
// raised here, TaskCancelled when the player cancelled; a quit asked for
// meanwhile is posted again for the loop that runs the owner.
void runBesideWindow(void* owner, const ProgressLook& look, const std::function<void(TaskProgress&)>& work);

// A progress window with no owner, on a thread of its own, for work that runs
// on this thread while no other window of the launcher is shown. It appears
// once the work has run half a second and is gone when this is.
class ProgressOnItsOwn {
public:
    explicit ProgressOnItsOwn(const ProgressLook& look);
    ~ProgressOnItsOwn();
    ProgressOnItsOwn(const ProgressOnItsOwn&) = delete;
    ProgressOnItsOwn& operator=(const ProgressOnItsOwn&) = delete;

    TaskProgress& progress();
    // The window is gone when this returns.
    void close();

private:
    struct Shown;
    std::unique_ptr<Shown> shown_;
};

} // namespace vexa
