#include "integrity/UniqueHandle.h"
#include "launcher/SessionGuard.h"
#include "support/TestSupport.h"

#include <windows.h>

constexpr const char* folderInUse = "Your save folder is in use. Close the other session first.";

TEST(SessionGuard, HoldsBothClaimsAndGivesThemBack) {
    TempFolder data;
    writeFile(data / L"session.lock", "stale");  // left by an earlier session: no obstacle
    {
        SessionGuard guard(data.path());
        EXPECT_EQ(probe(L"try-mutex"), 1u);
        EXPECT_EQ(probe(L"try-write", data / L"session.lock"), 1u);
        EXPECT_EQ(probe(L"try-read", data / L"session.lock"), 1u) << "no other opener at all";
        TempFolder otherData;
        EXPECT_EQ(probe(L"guard", otherData.path()), 4u);
    }
    EXPECT_EQ(probe(L"try-mutex"), 0u);
    EXPECT_EQ(readFile(data / L"session.lock"), "stale");  // never written, never deleted
}

TEST(SessionGuard, AnotherProcessHoldingEitherClaimRefusesTheSession) {
    // The other session's mutex: GameSession.WholeSessionsFromGatesToExitCode.
    TempFolder data;
    for (const wchar_t* sharing : {L"none", L"read", L"all"}) {
        auto holder = startHelper({L"hold-file", data / L"session.lock", sharing});
        EXPECT_EQ(failureOf([&] { SessionGuard guard(data.path()); }), folderInUse) << sharing;
        EXPECT_EQ(probe(L"try-mutex"), 0u) << "mutex released before the failure left";
    }
    EXPECT_EQ(failureOf([&] { SessionGuard guard(data / L"no-such-folder"); }), folderInUse);
}

TEST(SessionGuard, AbandonedMutexCountsAsAcquired) {
    TempFolder data;
    // Held open here, the mutex outlives the helper that owns it and is abandoned,
    // instead of vanishing with its last handle.
    UniqueKernelHandle kept(CreateMutexW(nullptr, FALSE, L"Local\\Vexa3711-Native-Session"));
    auto abandoning = startHelper({L"abandon-mutex"});
    abandoning->waitForExit();
    EXPECT_EQ(failureOf([&] { SessionGuard guard(data.path()); }), "(no failure)");
}

TEST(ProcessScan, NamesBeginningWithVexaInAnyCaseAreRefused) {
    TempFolder folder;
    EXPECT_EQ(failureOf(requireNoOtherGameProcess), "(no failure)");
    struct Case { const wchar_t* name; const char* failure; };
    for (Case c : std::initializer_list<Case>{
             {L"VEXAtool.exe", "Another Vexa game or installer is running. Close it first."},
             {L"vexa.exe", "Another Vexa game or installer is running. Close it first."},
             {L"MyVexa.exe", "(no failure)"},
             {L"Vex.exe", "(no failure)"}}) {
        std::wstring copy = folder / c.name;
        fs::copy_file(binPath(L"VexaWindowsRT64.exe"), copy);
        ScopedVariable sleep(L"STAND_IN_SLEEP_MS", L"20000");
        RunningProcess running(copy, {});
        Sleep(300);  // let it appear in the process list
        EXPECT_EQ(failureOf(requireNoOtherGameProcess), c.failure) << c.name;
    }
    // The scanning process itself never matches, whatever its name.
    std::wstring self = folder / L"VexaScanner.exe";
    fs::copy_file(binPath(L"launcher_test_helper.exe"), self);
    EXPECT_EQ(runProgram(self, {L"-", L"scan"}).exitCode, 0u);
}
