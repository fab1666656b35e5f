// The updater's rules without a process: its command line, its payload table,
// and the swap undone after a failure at any step.
#include "updater/ApplicationFolder.h"
#include "updater/FileSwap.h"
#include "updater/PayloadTable.h"
#include "updater/SwapPlan.h"
#include "updater/UpdaterOptions.h"
#include "support/TestSupport.h"

TEST(UpdaterOptions, OnlyItsOwnCommandLineIsAccepted) {
    const char* unknown = "The updater was given an unknown option.";
    const char* twice = "The updater was given an option twice.";
    const char* noValue = "The updater was given an option without its value.";
    const char* missing = "The updater needs --directory and --wait-pid.";
    const char* badPid = "The updater was given an invalid --wait-pid.";
    struct Row {
        std::vector<std::wstring> arguments;
        std::string outcome;  // the failure, or "<directory>|<pid>|<restart>"
    };
    for (const Row& row : std::vector<Row>{
             {{L"--directory", L"C:\\V 1", L"--wait-pid", L"4242", L"--restart"}, "C:\\V 1|4242|1"},
             {{L"--directory", L"C:\\V", L"--wait-pid", L"7"}, "C:\\V|7|0"},
             {{L"--directory", L"C:\\V"}, missing},
             {{L"--directory", L"C:\\V", L"--wait-pid", L"7", L"--directory", L"C:\\W"}, twice},
             {{L"--directory", L"C:\\V", L"--wait-pid", L"7", L"--force"}, unknown},
             {{L"C:\\V", L"--wait-pid", L"7"}, unknown},
             {{L"--directory", L"C:\\V", L"--wait-pid"}, noValue},
             {{L"--directory", L"--wait-pid", L"7"}, noValue},
             {{L"--directory", L"", L"--wait-pid", L"7"}, noValue},
             {{L"--directory", L"C:\\V", L"--wait-pid", L"0"}, badPid},
             {{L"--directory", L"C:\\V", L"--wait-pid", L"4294967296"}, badPid}}) {
        EXPECT_EQ(outcomeOf([&] {
                      UpdaterOptions options = parseUpdaterOptions(row.arguments);
                      return wideToUtf8(options.directory) + "|" + std::to_string(options.waitPid) + "|" +
                             (options.restart ? "1" : "0");
                  }), row.outcome) << row.arguments.size() << " arguments";
    }
}

TEST(PayloadTable, RefusesAnyTableButAnIntactOneOfLauncherFiles) {
    auto damaged = [](const char* reason) { return "The update package is damaged: " + std::string(reason) + "."; };
    auto withSecond = [](const std::string& path) {
        return buildPayload({{"Vexa3711.exe", "MZ new launcher"}, {path, "second"}});
    };
    const std::string good = withSecond("sub dir/Vexa3711 (1).extra");
    std::string flipped = good, leadingZero = good, nextFormat = good;
    flipped[flipped.size() - 3] ^= 1;
    leadingZero.insert(good.find(" 15 ") + 1, "0");
    nextFormat[good.find(" 1\n") + 1] = '2';
    struct Row {
        const char* what;
        std::string resource;
        std::string outcome;  // the failure, or the files' paths and contents
    };
    for (const Row& row : std::vector<Row>{
             {"intact", good, "Vexa3711.exe=MZ new launcher;sub dir\\Vexa3711 (1).extra=second;"},
             {"empty file", buildPayload({{"Vexa3711.exe", "MZ"}, {"Vexa3711.log", ""}}), "Vexa3711.exe=MZ;Vexa3711.log=;"},
             {"altered content", flipped, damaged("a file does not match its checksum")},
             {"byte appended", good + "x", damaged("its contents do not match its file table")},
             {"other format", nextFormat, damaged("its file table is unreadable")},
             {"size with a leading zero", leadingZero, damaged("its file table is unreadable")},
             {"no end of table", good.substr(0, good.find("\n\n") + 1), damaged("its file table is unreadable")},
             {"parent folder", withSecond("../Vexa3711.dll"), damaged("a file path is not allowed")},
             {"backslash", withSecond("sub\\x.dll"), damaged("a file path is not allowed")},
             {"trailing dot", withSecond("x.dll."), damaged("a file path is not allowed")},
             {"device", withSecond("sub/nul.txt"), damaged("a file path is not allowed")},
             {"same name in other case", withSecond("vexa3711.EXE"), damaged("it names a file twice")},
             {"the game in other case", withSecond("VEXAWindowsRT64.exe"), damaged("it would change a file that is not the launcher's")},
             {"the updater's list of added files", withSecond("Launcher-Files-Added.txt"), damaged("it would change a file that is not the launcher's")},
             {"no launcher", buildPayload({{"Vexa3711.dll", "x"}}), damaged("it does not carry Vexa3711.exe")}}) {
        EXPECT_EQ(outcomeOf([&] {
                      std::string listing;
                      for (const PayloadFile& file : verifyPayload(row.resource))
                          listing += wideToUtf8(file.relativePath) + "=" + row.resource.substr(file.offset, file.size) + ";";
                      return listing;
                  }), row.outcome) << row.what;
    }
}

TEST(UpdateSwap, AFailureOrACutAtAnyStepIsUndoneOrFinishedToOneWholeVersionAndDamagedJournalsTouchNothing) {
    const std::string payload = buildPayload({{"Vexa3711.exe", "new launcher"}, {"extra.dat", "new extra"}});
    const std::vector<PayloadFile> files = parsePayloadTable(payload);
    const std::map<std::wstring, std::string> oldFolder{{L"Vexa3711.exe", "old launcher"}};
    const std::map<std::wstring, std::string> newFolder{{L"Vexa3711.exe", "new launcher"}, {L"extra.dat", "new extra"}};
    // One target the update replaces, one it adds. Steps: two writes,
    // Vexa3711.exe backed up, two moves in, (the journal marked complete) the
    // backup removed, (the journal removed). Calls past the failing step are
    // the undoing ones; a power loss stops the run where it is.
    struct PowerLoss {};
    constexpr std::size_t never = 99;
    struct Row {
        std::size_t failAt, alsoFailAt, lossBefore, lossAfter;
        std::string outcome;
        std::map<std::wstring, std::string> left;  // right after the run; empty: not compared
        // What the next run makes of it: "old" (no journal or a begun one, undone),
        // "finished new" (a complete journal, its added file reported) or "new".
        std::string next;
    };
    const std::string restored = SwapFailure(true, "").what(), broken = SwapFailure(false, "").what();
    std::vector<Row> rows;
    for (std::size_t at = 0; at < 5; ++at) rows.push_back({at, never, never, never, restored, oldFolder, "old"});
    rows.push_back({never, never, never, never, "(no failure)", newFolder, "new"});
    // The backup survives a failed move back: the only old copy, and the journal says how to use it.
    rows.push_back({4, 5, never, never, broken,
                    {{L"Vexa3711.exe", "new launcher"}, {L"Vexa3711.exe.update-1.old", "old launcher"},
                     {L"Vexa3711-update.journal", "vexa3711-update-journal 1\nbegun update-1\n1 Vexa3711.exe\n0 extra.dat\n"}},
                    "old"});
    // Begun journal: before any step, between the writes, after the backup, after each move.
    for (std::size_t at = 0; at < 5; ++at) rows.push_back({never, never, at, never, "(power loss)", {}, "old"});
    rows.push_back({never, never, never, 4, "(power loss)", {}, "old"});
    // Complete journal: with the backup still there, and with it gone.
    rows.push_back({never, never, 5, never, "(power loss)", {}, "finished new"});
    rows.push_back({never, never, never, 5, "(power loss)", {}, "finished new"});
    for (const Row& row : rows) {
        TempFolder folder;
        const std::wstring launcher = folder / L"Vexa3711.exe";
        writeFile(launcher, "old launcher");
        SwapStepRunner real = fileSystemRunner(payload, files);
        std::size_t calls = 0;
        std::string torn;
        std::string outcome = "(power loss)";
        try {
            outcome = failureOf([&] {
                swapLauncherFiles(folder.path(), inspectTargets(folder.path(), files), L"update-1", [&](const SwapStep& step) {
                    std::size_t call = calls++;
                    if (call == row.lossBefore) throw PowerLoss{};
                    if (call == row.failAt || call == row.alsoFailAt) throw MessageError("injected");
                    real(step);
                    // The launcher is never missing nor half written, at any step.
                    std::string now = fileExists(launcher) ? readFile(launcher) : "(missing)";
                    if (now != "old launcher" && now != "new launcher") torn = now;
                    if (call == row.lossAfter) throw PowerLoss{};
                });
            });
        } catch (const PowerLoss&) {
        }
        std::string what = "failing at " + std::to_string(row.failAt) + ", losing power before " +
                           std::to_string(row.lossBefore) + " or after " + std::to_string(row.lossAfter);
        EXPECT_EQ(outcome, row.outcome) << what;
        EXPECT_EQ(torn, "") << what;
        if (!row.left.empty()) EXPECT_TRUE(folderContents(folder.path()) == row.left) << what;
        // The next run first brings the folder back to one whole version, then updates it.
        std::vector<std::wstring> added = finishInterruptedSwap(folder.path(), real);
        EXPECT_TRUE(folderContents(folder.path()) == (row.next == "old" ? oldFolder : newFolder)) << what;
        EXPECT_EQ(added, row.next == "finished new" ? std::vector<std::wstring>{L"extra.dat"} : std::vector<std::wstring>{})
            << what;
        swapLauncherFiles(folder.path(), inspectTargets(folder.path(), files), L"update-2", real);
        EXPECT_TRUE(folderContents(folder.path()) == newFolder) << what;
    }

    // Journals that name anything but this updater's own files: refused whole,
    // before their first target (whose backup lies ready) is touched.
    const std::string damaged = "The record of an earlier update, Vexa3711-update.journal in the Vexa 3711 folder, is damaged.";
    for (const char* second : {"1 sub", "0 player-data-location.txt", "0 launcher-files-added.txt", "0 sub/../../x.dll"}) {
        TempFolder folder;
        writeFile(folder / L"Vexa3711.exe", "new launcher");
        writeFile(folder / L"Vexa3711.exe.update-7.old", "old launcher");
        writeFile(folder / L"Vexa3711-update.journal",
                  std::string("vexa3711-update-journal 1\nbegun update-7\n1 Vexa3711.exe\n") + second + "\n");
        writeFile(folder / L"player-data-location.txt", "X:\\data");
        writeFile(folder / L"launcher-files-added.txt", "extra.dat\n");
        fs::create_directory(folder / L"sub");
        writeFile(folder / L"sub\\precious.sav", "saved");
        const std::map<std::wstring, std::string> before = folderContents(folder.path());
        EXPECT_EQ(failureOf([&] { finishInterruptedSwap(folder.path(), fileSystemRunner(payload, files)); }), damaged)
            << second;
        EXPECT_TRUE(folderContents(folder.path()) == before) << second;
    }
}
