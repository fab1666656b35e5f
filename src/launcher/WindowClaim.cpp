#include "launcher/WindowClaim.h"

#include "integrity/Digest.h"
#include "integrity/PathSafety.h"
#include "integrity/TextConversion.h"

#include <windows.h>

#include <chrono>
#include <cstdint>

namespace vexa {
namespace {

// What the section holds. A fresh section is all zeros: claimed by nobody.
struct ClaimRecord {
    std::uint64_t window;  // the holder's shown Play / Mods window, 0 until then
    volatile LONG holder;  // the process id of the launcher holding the claim, 0 for none
};

// Another spelling of the same folder is the same installation.
std::wstring claimName(const std::wstring& applicationFolder) {
    std::wstring folder = resolvedPath(applicationFolder);
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, folder.data(), static_cast<int>(folder.size()), folder.data(),
                  static_cast<int>(folder.size()), nullptr, nullptr, 0);
    std::string text = wideToUtf8(folder);
    return L"Local\\Vexa3711-Window-" + utf8ToWide(hexDigest(text.data(), text.size(), L"SHA256").substr(0, 32));
}

// What the holder shows: its Play / Mods window when it has one, else any
// window of its own (the image prompt, the open dialog, a failure box).
HWND shownWindowOf(DWORD processId, HWND recorded) {
    DWORD owner = 0;
    if (recorded && IsWindowVisible(recorded) && GetWindowThreadProcessId(recorded, &owner) && owner == processId)
        return recorded;
    struct Search { DWORD processId; HWND found; } search{processId, nullptr};
    EnumWindows([](HWND window, LPARAM data) -> BOOL {
        auto& search = *reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != search.processId || !IsWindowVisible(window)) return TRUE;
        search.found = window;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Whether the process of that id is a launcher of this very program: one
// that died leaves its id behind, and the id may since belong to another.
bool isLauncherAlive(DWORD processId) {
    if (processId == 0) return false;
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process || WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return false;
    wchar_t theirs[MAX_PATH * 4] = {}, ours[MAX_PATH * 4] = {};
    DWORD length = MAX_PATH * 4;
    if (!QueryFullProcessImageNameW(process.get(), 0, theirs, &length)) return false;
    length = MAX_PATH * 4;
    if (!QueryFullProcessImageNameW(GetCurrentProcess(), 0, ours, &length)) return false;
    return CompareStringOrdinal(theirs, -1, ours, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

std::optional<WindowClaim> WindowClaim::claimOrShowOther(const std::wstring& applicationFolder) {
    WindowClaim claim;
    claim.section_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ClaimRecord),
                                            claimName(applicationFolder).c_str()));
    if (claim.section_) claim.view_.reset(MapViewOfFile(claim.section_.get(), FILE_MAP_WRITE, 0, 0, sizeof(ClaimRecord)));
    // Nothing to claim with: this start goes on as any start did.
    if (!claim.view_) return claim;
    auto* record = static_cast<ClaimRecord*>(claim.view_.get());
    const LONG self = static_cast<LONG>(GetCurrentProcessId());
    // The holder may still be checking the installation: a short while for
    // its window to come, after which it shows itself anyway.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
        LONG holder = record->holder;
        // Unclaimed, released after its window closed, or left by a launcher
        // that died: whoever swaps in its own id first holds it.
        if (!isLauncherAlive(static_cast<DWORD>(holder))) {
            if (InterlockedCompareExchange(&record->holder, self, holder) != holder) continue;
            record->window = 0;
            return claim;
        }
        if (HWND shown = shownWindowOf(static_cast<DWORD>(holder), reinterpret_cast<HWND>(static_cast<std::uintptr_t>(record->window)))) {
            AllowSetForegroundWindow(static_cast<DWORD>(holder));
            if (IsIconic(shown)) ShowWindowAsync(shown, SW_RESTORE);
            SetForegroundWindow(shown);
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() >= giveUp) return std::nullopt;
        Sleep(50);
    }
}

void WindowClaim::windowShown(void* window) {
    if (view_) static_cast<ClaimRecord*>(view_.get())->window = reinterpret_cast<std::uintptr_t>(window);
}

void WindowClaim::release() {
    if (!view_) return;
    // Only the holder lets go: a start that found another holder merely closes its view.
    auto* record = static_cast<ClaimRecord*>(view_.get());
    const LONG self = static_cast<LONG>(GetCurrentProcessId());
    if (record->holder == self) {
        record->window = 0;
        InterlockedCompareExchange(&record->holder, 0, self);
    }
    view_.reset();
    section_.reset();
}

} // namespace vexa
