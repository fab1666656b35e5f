#include "launcher/Entry.h"
#include "launcher/LaunchOptions.h"
#include "support/TestSupport.h"

#include <windows.h>

namespace {
struct Parsed {
    std::string failure;
    LaunchOptions options;
    LauncherState state;
};

Parsed parse(std::vector<std::wstring> arguments) {
    Parsed parsed;
    parsed.failure = failureOf([&] {
        parseLaunchOptions(arguments, parsed.options, parsed.state,
                           [](const std::wstring& path) { return L"N(" + path + L")"; });
    });
    return parsed;
}

constexpr const char* unknown = "Unknown launch option.";
constexpr const char* edition = "Choose original or remaster.";
}

TEST(LaunchOptions, FailuresAndWhereReportingStands) {
    struct Case { std::vector<std::wstring> arguments; const char* failure; bool console; };
    for (const Case& c : std::vector<Case>{
             {{}, "(no failure)", false},
             {{L"--edition"}, unknown, false},
             {{L"--preflight", L"--bogus"}, unknown, true},
             {{L"--bogus", L"--preflight"}, unknown, false},
             {{L"--PREFLIGHT"}, unknown, false},
             {{L"--preflight", L"--edition", L"remastered"}, edition, true},
             {{L"--edition", L"remastered", L"--preflight"}, edition, false},
             {{L"--verify-rollback-helper", L"--edition", L""}, edition, true},
             {{L"--no-shortcut"}, "(no failure)", false},
             {{L"--verify-application"}, "(no failure)", true}}) {
        Parsed parsed = parse(c.arguments);
        EXPECT_EQ(parsed.failure, c.failure) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.state.consoleReporting, c.console) << ::testing::PrintToString(c.arguments);
    }
}

TEST(LaunchOptions, ValuesFlagsAndRepeats) {
    Parsed parsed = parse({L"--data-dir", L"--preflight", L"--edition", L"original", L"--rom", L"r.z64",
                           L"--directory", L"app", L"--edition", L"remaster", L"--data-dir", L"second",
                           L"--verify-application", L"--verify-rollback-helper"});
    // How switches of several arguments combine is the fuzz target's; here, what each value becomes.
    ASSERT_EQ(parsed.failure, "(no failure)");
    const LauncherState& s = parsed.state;
    EXPECT_EQ(s.playerDataFolder + L"|" + s.romPath + L"|" + s.applicationFolder, L"N(second)|N(r.z64)|N(app)");
    EXPECT_EQ(s.selectedEdition, Edition::Remaster);
    EXPECT_FALSE(parsed.options.preflightOnly);  // "--preflight" was consumed as a value
    EXPECT_EQ(parse({}).state.selectedEdition, Edition::Unset);
}

TEST(EntryReporting, EveryFailureEndsWithASentenceAnd65) {
    TempFolder folder;
    std::wstring captured = folder / L"stderr.txt";
    LauncherState state;
    state.consoleReporting = true;
    HANDLE original = GetStdHandle(STD_ERROR_HANDLE);
    const char* unexpected = "The launcher stopped unexpectedly. Reinstall this version.";
    struct Case { std::function<int()> body; int exitCode; std::string reported; };
    for (const Case& c : std::vector<Case>{
             {[] { return 7; }, 7, ""},
             {[]() -> int { throw MessageError("Unknown launch option."); }, 65, "Unknown launch option."},
             // A library's own text is shown with what is not UTF-8 replaced, not lost.
             {[]() -> int { throw std::runtime_error("not UTF-8: \xff"); }, 65, "not UTF-8: \xef\xbf\xbd"},
             {[]() -> int { throw std::runtime_error(""); }, 65, unexpected},
             {[]() -> int { throw 42; }, 65, unexpected}}) {
        HANDLE file = CreateFileW(captured.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
        SetStdHandle(STD_ERROR_HANDLE, file);
        int exitCode = runReportingFailures(c.body, state);
        SetStdHandle(STD_ERROR_HANDLE, original);
        CloseHandle(file);
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_EQ(readFile(captured), c.reported);
    }
}
