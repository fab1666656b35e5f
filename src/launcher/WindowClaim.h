#pragma once
// One Play / Mods window per installation and user: a start that would open
// a second brings the first to the front instead. The claim is a named
// section of this logon session, keyed by the application folder as the
// system resolves it; the system frees it with the last process that holds
// it, so a launcher that died blocks nothing.
#include "integrity/UniqueHandle.h"

#include <optional>
#include <string>

namespace vexa {

class WindowClaim {
public:
    // The installation's window claimed for this start; nothing when another
    // launcher of the same folder holds it, whose window (or whatever it shows
    // meanwhile) has then been brought to the front.
    static std::optional<WindowClaim> claimOrShowOther(const std::wstring& applicationFolder);

    // The window is shown: a later start brings it to the front.
    void windowShown(void* window);
    // The window has closed (the game may be starting): later starts go on as
    // any start does, and the session guard decides at Play.
    void release();

    WindowClaim(WindowClaim&&) noexcept = default;
    WindowClaim& operator=(WindowClaim&& other) noexcept {
        if (this != &other) {
            release();
            section_ = std::move(other.section_);
            view_ = std::move(other.view_);
        }
        return *this;
    }
    ~WindowClaim() { release(); }

private:
    WindowClaim() = default;
    UniqueKernelHandle section_;
    UniqueMappedView view_;
};

} // namespace vexa
