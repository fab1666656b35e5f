#include "integrity/TaskProgress.h"
#include "mods/PlayModsCommands.h"
#include "support/TestSupport.h"

namespace {

using Control = PlayModsControl;

// The window as the commands see it: texts, check box, boxes shown, and the
// picker's answer. (Pages and F4 are shown on the real window.)
struct RecordingSurface : PlayModsSurface {
    std::map<Control, std::wstring> texts;
    bool checked = false;
    int tab = -1;
    bool destroyed = false;
    std::vector<std::wstring> boxes;  // "caption|flags|text"
    std::wstring picked;

    void setText(Control control, const std::wstring& text) override { texts[control] = text; }
    void show(Control, bool) override {}
    bool isChecked() override { return checked; }
    void setChecked(bool value) override { checked = value; }
    int selectedTab() override { return tab; }
    void selectTab(int index) override { tab = index; }
    void destroy() override { destroyed = true; }
    void showMessage(const std::wstring& text, const std::wstring& caption, unsigned flags) override {
        boxes.push_back(caption + L"|" + std::to_wstring(flags) + L"|" + text);
    }
    std::wstring pickFolder() override { return picked; }
    // The work runs here; the player cancels once it has begun, when asked to.
    bool cancelling = false;
    void runBesideWindow(const std::function<void(TaskProgress&)>& work) override {
        TaskProgress progress;
        if (cancelling) progress.cancel();
        work(progress);
    }
};

const std::wstring initialStatus = L"(status as it was)";

struct Window {
    RecordingSurface surface;
    PlayModsCommands commands;
    Window(const std::wstring& app, const std::wstring& data, ModsSettings settings, std::function<bool()> update)
        : commands(app, data, std::move(settings), surface, std::move(update)) {
        commands.opened();
        surface.texts[Control::status] = initialStatus;
    }
};

} // namespace

TEST(PlayModsCommands, CommandsKeepTheirPromises) {
    TempFolder root(L"packs");  // the retained runtime wants ASCII pack paths
    std::wstring app = root / L"app", data = root / L"data", good = root / L"good", bad = root / L"bad",
                 notUtf8 = root / L"not UTF-8";
    for (const std::wstring& folder : {app, data, good, bad, notUtf8}) fs::create_directories(folder);
    writeFile(joinPath(notUtf8, L"rt64.json"), "\"\xff\"");
    writeTexturePack(good, {{"a.png", minimalPng}, {"a.png", minimalPng}});
    std::wstring settingsFile = joinPath(data, L"vexa-mods.json");
    const std::wstring previous = root / L"previous";
    struct Case {
        const char* what;
        std::function<void(Window&)> act;
        std::wstring box;            // the last box, "" for none
        std::wstring folder;         // the folder field afterwards
        bool checked;
        std::wstring status;
        bool destroyed, play;
        bool updateAnswer = false;
        const char* keptFile = nullptr;  // the settings file before and after, when one was there
    };
    std::unique_ptr<RunningProcess> editor;
    auto press = [](int id) { return [id](Window& w) { w.commands.command(id); }; };
    for (const Case& c : std::vector<Case>{
             {"choose, cancelled", press(chooseCommand), L"", previous, false, initialStatus, false, false},
             {"choose a refused pack", [&](Window& w) { w.surface.picked = bad; w.commands.command(chooseCommand); },
              L"Vexa 3711 Mods|16|A Mods file is missing or unreadable.", previous, false, initialStatus, false, false},
             // The library's own text, its byte that is not UTF-8 shown as U+FFFD.
             {"choose a pack whose description is not UTF-8", [&](Window& w) { w.surface.picked = notUtf8; press(chooseCommand)(w); },
              L"Vexa 3711 Mods|16|[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing "
              L"value - invalid string: ill-formed UTF-8 byte; last read: '\"\xfffd'", previous, false, initialStatus, false, false},
             {"choose a good pack", [&](Window& w) { w.surface.picked = good; w.commands.command(chooseCommand); },
              L"", good, true, L"Verified 2 mappings. Changes apply on next Play.", false, false},
             // A cancelled validation is no failure: nothing is said, taken or saved.
             {"choose a good pack, cancelled", [&](Window& w) {
                  w.surface.picked = good;
                  w.surface.cancelling = true;
                  press(chooseCommand)(w);
              }, L"", previous, false, initialStatus, false, false},
             {"play with a good pack, cancelled", [&](Window& w) {
                  w.surface.picked = good;
                  press(chooseCommand)(w);
                  w.surface.cancelling = true;
                  press(playCommand)(w);
              }, L"", good, true, L"Verified 2 mappings. Changes apply on next Play.", false, false},
             {"validate with the box clear", press(validateCommand),
              L"Vexa 3711 Mods|16|Enable a selected pack to validate it.", previous, false, initialStatus, false, false},
             {"validate a good pack", [&](Window& w) { w.surface.picked = good; press(chooseCommand)(w); press(validateCommand)(w); },
              L"", good, true, L"Verified 2 runtime-hash mappings. Visual compatibility still requires in-game testing.", false, false},
             {"play with a refused pack", [](Window& w) { w.surface.checked = true; w.commands.command(playCommand); },
              L"Vexa 3711 Mods|16|Choose an existing absolute texture pack folder.", previous, true, initialStatus, false, false},
             {"play with the box cleared", [](Window& w) {
                  w.surface.checked = true;
                  w.commands.command(enableCommand);
                  w.surface.checked = false;
                  w.commands.command(playCommand);
              }, L"", previous, false, initialStatus, true, true},
             {"play with the settings file held", [&](Window& w) {
                  writeFile(settingsFile, "old");
                  editor = startHelper({L"hold-file", settingsFile, L"read"});
                  w.commands.command(playCommand);
              }, L"Vexa 3711 Mods|16|Cannot save Mods settings; previous choices were retained.", previous, false,
              initialStatus, false, false, false, "old"},
             {"close", press(closeCommand), L"", previous, false, initialStatus, true, false},
             {"updates, declined", press(updatesCommand), L"", previous, false, initialStatus, false, false, false},
             {"updates, handed over", press(updatesCommand), L"", previous, false, initialStatus, true, false, true},
             {"enter and escape", [](Window& w) { EXPECT_FALSE(w.commands.command(1) || w.commands.command(2)); },
              L"", previous, false, initialStatus, false, false}}) {
        editor.reset();
        fs::remove(settingsFile);
        int updates = 0;
        Window window(app, data, ModsSettings{false, previous}, [&] { ++updates; return c.updateAnswer; });
        c.act(window);
        RecordingSurface& s = window.surface;
        EXPECT_EQ(s.boxes.empty() ? L"" : s.boxes.back(), c.box) << c.what;
        EXPECT_EQ(s.texts[Control::packFolder], c.folder) << c.what;
        EXPECT_EQ(s.checked, c.checked) << c.what;
        EXPECT_EQ(s.texts[Control::status], c.status) << c.what;
        EXPECT_EQ(s.destroyed, c.destroyed) << c.what;
        EXPECT_EQ(window.commands.playRequested(), c.play) << c.what;
        EXPECT_EQ(window.commands.settings().folder, c.folder) << c.what;
        EXPECT_EQ(updates, std::string(c.what).starts_with("updates") ? 1 : 0) << c.what;
        // Only Play writes the file: enabled false with the last folder, unchecked.
        if (c.keptFile) EXPECT_EQ(readFile(settingsFile), c.keptFile) << c.what;
        else EXPECT_EQ(fileExists(settingsFile), c.play) << c.what;
        if (c.play) EXPECT_EQ(readFile(settingsFile), formatModsSettings({false, previous})) << c.what;
    }
}
