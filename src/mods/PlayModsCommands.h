#pragma once
// What the Play / Mods window does, apart from the window itself: the six
// commands, page switching and the F4 rule, acting on the window through
// PlayModsSurface so that tests can drive them in-process.
#include "mods/ModsSettings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vexa {

class TaskProgress;

// The window's controls, in creation order (their rows in the layout table).
enum class PlayModsControl : std::size_t {
    tabs, title, about, notes,                                               // tabs, then the Play page
    modsHeader, packFolder, choose, enablePack, validatePack, status,        // the Mods page
    updates, play, close,                                                    // always shown
};
constexpr std::size_t playModsControlCount = 13;

enum PlayModsCommand : int { chooseCommand = 201, enableCommand = 202, validateCommand = 203,
                             playCommand = 301, closeCommand = 302, updatesCommand = 303 };

class PlayModsSurface {
public:
    virtual ~PlayModsSurface() = default;
    virtual void setText(PlayModsControl control, const std::wstring& text) = 0;
    virtual void show(PlayModsControl control, bool visible) = 0;
    virtual bool isChecked() = 0;  // the enable check box
    virtual void setChecked(bool checked) = 0;
    virtual int selectedTab() = 0;
    virtual void selectTab(int index) = 0;
    virtual void destroy() = 0;
    // A box owned by the window.
    virtual void showMessage(const std::wstring& text, const std::wstring& caption, unsigned flags) = 0;
    // Empty when the player cancelled.
    virtual std::wstring pickFolder() = 0;
    // Long work (a pack's validation) beside the window, which keeps answering
    // and takes no input meanwhile; its progress is shown with Cancel once it
    // has run half a second. TaskCancelled when the player cancelled it.
    virtual void runBesideWindow(const std::function<void(TaskProgress&)>& work) = 0;
};

class PlayModsCommands {
public:
    // runUpdate: the Updates command; true when the launcher hands over to a
    // new build and the window must close.
    PlayModsCommands(std::wstring applicationFolder, std::wstring playerDataFolder, ModsSettings settings,
                     PlayModsSurface& surface, std::function<bool()> runUpdate);

    void opened();      // the controls exist: show the settings and the Play page
    void tabChanged();  // the player picked a tab
    void f4Pressed();   // F4 anywhere in the window: the Mods page
    void switchTab(bool backwards);  // Ctrl+Tab, Ctrl+Shift+Tab: the next or previous page, round
    // False for ids that are not commands of the window (Enter and Escape
    // arrive as 1 and 2 and do nothing).
    bool command(int id);

    const ModsSettings& settings() const { return settings_; }
    bool playRequested() const { return playRequested_; }

private:
    void run(int id);
    std::uint64_t validateBesideWindow(const ModsSettings& settings);
    void showPage(int page);
    void refreshModsControls();

    std::wstring applicationFolder_;
    std::wstring playerDataFolder_;
    ModsSettings settings_;
    bool playRequested_ = false;
    bool running_ = false;  // a command is under way: no second one starts meanwhile
    PlayModsSurface& surface_;
    std::function<bool()> runUpdate_;
};

} // namespace vexa
