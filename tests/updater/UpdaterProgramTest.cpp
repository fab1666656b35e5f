// The packaged updater as the launcher's Updates command starts it, on staged
// installations: what it changes, what it refuses and what it says. Test
// packages carry launcher_test_helper.exe as their Vexa3711.exe, which
// records how it was started.
#include "support/TestSupport.h"

#include <windows.h>

namespace {

struct Packages {
    Packages();
    TempFolder folder;
    std::wstring good = folder / L"good.exe", twoFiles = folder / L"two-files.exe", altered = folder / L"altered.exe";
};

Packages::Packages() {
    const std::wstring launcher = binPath(L"launcher_test_helper.exe"), stub = binPath(L"Vexa3711Updater.exe");
    writeFile(folder / L"extra", "new extra");
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{stub, good, L"Vexa3711.exe", launcher},
          std::vector<std::wstring>{stub, twoFiles, L"Vexa3711.exe", launcher, L"Vexa3711.extra", folder / L"extra"}}) {
        ProcessResult packed = runProgram(binPath(L"Vexa3711UpdatePacker.exe"), arguments);
        if (packed.exitCode != 0) throw std::runtime_error("packing failed: " + packed.error);
    }
    // One byte of the carried launcher changed after packaging.
    std::string bytes = readFile(good);
    std::size_t at = bytes.find(readFile(launcher).substr(0, 4096));
    if (at == std::string::npos) throw std::runtime_error("carried launcher not found in the package");
    bytes[at + 2000] ^= 0x20;
    writeFile(altered, bytes);
}

using Holder = std::unique_ptr<RunningProcess>;

struct UpdaterRun {
    const char* what;
    std::wstring package;
    std::vector<std::wstring> arguments;  // APP, ROOT, ENDED and HOLDER (the pid of what prepare holds) are replaced
    std::function<Holder(const Installation&, const std::wstring& cache)> prepare;
    std::wstring message;                 // empty: no message box
    unsigned long exitCode;
    bool replaced;                        // Vexa3711.exe is now the packaged one
    bool restarted;
    const char* lastLogLine;              // its step and outcome; null when the log cannot be written
    std::map<std::wstring, std::string> written{};  // files below the root it writes beside Vexa3711.exe
    bool entryRewritten = false;          // the uninstall entry names the new version and size
    std::wstring cache{};                 // the download cache it runs from; empty: the installation's own
    std::wstring outside{};               // a folder beyond the root, left as it was; its journal removed after
};

constexpr const wchar_t* uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vexa3711";

// As the installer leaves it, with a version and size that no update writes.
void plantUninstallEntry(const std::wstring& location) {
    const std::wstring version = L"0.0.1";
    const DWORD size = 1;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, uninstallKey, L"InstallLocation", REG_SZ, location.c_str(),
                              static_cast<DWORD>((location.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, uninstallKey, L"DisplayVersion", REG_SZ, version.c_str(),
                              static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, uninstallKey, L"EstimatedSize", REG_DWORD, &size, sizeof size),
              ERROR_SUCCESS);
}

// "<DisplayVersion>|<EstimatedSize>", or "none" without an entry.
std::string uninstallEntry() {
    wchar_t version[64] = L"";
    DWORD versionBytes = sizeof version, size = 0, sizeBytes = sizeof size;
    if (RegGetValueW(HKEY_CURRENT_USER, uninstallKey, L"DisplayVersion", RRF_RT_REG_SZ, nullptr, version,
                     &versionBytes) != ERROR_SUCCESS)
        return "none";
    RegGetValueW(HKEY_CURRENT_USER, uninstallKey, L"EstimatedSize", RRF_RT_REG_DWORD, nullptr, &size, &sizeBytes);
    return wideToUtf8(version) + "|" + std::to_string(size);
}

} // namespace

TEST(UpdaterProgram, InstallsIntactPackagesAndRefusesEverythingElse) {
    if (!haveDisplay()) GTEST_SKIP() << "message boxes need a display (xvfb-run)";
    // A bcrypt.dll planted beside the updater (its folder is the player's
    // download cache) never loads: it would show up as a changed cache folder.
    PreferFolderDlls preferred({L"Relicade-Vexa3711-Mods-test.exe"});
    static const Packages made;
    // The launcher has exited but its handle is held, so its id stays its own.
    RunningProcess endedLauncher(binPath(L"launcher_test_helper.exe"), {L"-", L"exit"});
    endedLauncher.waitForExit();
    const std::vector<std::wstring> usual{L"--directory", L"APP", L"--wait-pid", L"ENDED"};
    auto with = [&](std::vector<std::wstring> extra) {
        extra.insert(extra.begin(), usual.begin(), usual.end());
        return extra;
    };
    const auto nothing = [](const Installation&, const std::wstring&) { return Holder(); };
    const std::wstring unchanged = L"\n\nNothing was changed.";
    const std::wstring kept = L"The launcher files could not be replaced, so the previous version was kept. "
                              L"Close every program that uses the Vexa 3711 folder and try again.";
    const std::wstring damagedJournal =
        L"The record of an earlier update, Vexa3711-update.journal in the Vexa 3711 folder, is damaged.\n\n"
        L"An earlier update could not be finished. Close every program that uses the Vexa 3711 folder and "
        L"try again, or install Vexa 3711 again.";
    const std::wstring linkedApp = L"X:\\links\\sub-linked\\app";
    for (const UpdaterRun& run : std::vector<UpdaterRun>{
             {"update and restart", made.good, with({L"--restart"}), nothing, L"", 0, true, true, "restart ok"},
             {"launcher id never used, log unwritable", made.good,
              {L"--wait-pid", L"4000000000", L"--directory", L"APP"},
              [](const Installation&, const std::wstring& cache) {
                  fs::create_directory(joinPath(cache, L"updater.log"));
                  return Holder();
              },
              L"", 0, true, false, nullptr},
             {"altered package", made.altered, with({L"--restart"}), nothing,
              L"The update package is damaged: a file does not match its checksum." + unchanged, 3, false, false,
              "package failed"},
             {"second file held open", made.twoFiles, usual,
              [](const Installation& installation, const std::wstring&) {
                  std::wstring extra = joinPath(installation.app, L"Vexa3711.extra");
                  writeFile(extra, "old extra");
                  return startHelper({L"hold-file", extra, L"read"});
              },
              kept, 6, false, false, "swap failed"},
             {"missing folder", made.good, {L"--directory", L"ROOT\\gone", L"--wait-pid", L"ENDED"}, nothing,
              L"The Vexa 3711 folder does not exist." + unchanged, 5, false, false, "application-folder failed"},
             {"linked folder", made.good, {L"--directory", L"X:\\links\\linked\\app", L"--wait-pid", L"ENDED"}, nothing,
              L"Linked installation or save folders are unsupported." + unchanged, 5, false, false,
              "application-folder failed"},
             {"no launcher in the folder", made.good, usual,
              [](const Installation& installation, const std::wstring&) {
                  fs::remove(joinPath(installation.app, L"Vexa3711.exe"));
                  return Holder();
              },
              L"The folder to update does not hold Vexa3711.exe." + unchanged, 5, false, false,
              "application-folder failed"},
             {"journal naming a game file", made.good, usual,
              [](const Installation& installation, const std::wstring&) {
                  writeFile(joinPath(installation.app, L"Vexa3711-update.journal"),
                            "vexa3711-update-journal 1\nbegun update-7\n0 VexaWindowsRT64.exe\n");
                  return Holder();
              },
              damagedJournal, 7, false, false, "earlier-update failed"},
             // Its sub is a link to the folder beside it: undoing would remove the file there.
             {"journal reaching through a folder link", made.good,
              {L"--directory", linkedApp, L"--wait-pid", L"ENDED"},
              [&](const Installation&, const std::wstring&) {
                  fs::copy_file(binPath(L"launcher_test_helper.exe"), joinPath(linkedApp, L"Vexa3711.exe"),
                                fs::copy_options::overwrite_existing);
                  writeFile(L"X:\\links\\sub-linked\\elsewhere\\precious.sav", "the player's own");
                  writeFile(joinPath(linkedApp, L"Vexa3711-update.journal"),
                            "vexa3711-update-journal 1\nbegun update-7\n0 sub/precious.sav\n");
                  return Holder();
              },
              damagedJournal, 7, false, false, "earlier-update failed", {}, false, L"", L"X:\\links\\sub-linked"},
             // Entries whose files are gone, or that could reach beyond the folder, drop out.
             {"update adding a file", made.twoFiles, usual,
              [](const Installation& installation, const std::wstring&) {
                  writeFile(joinPath(installation.app, L"Vexa3711.older-extra"), "added earlier");
                  writeFile(joinPath(installation.app, L"launcher-files-added.txt"),
                            "Vexa3711.older-extra\ngone.dll\n..\\data\\input.cfg\n");
                  plantUninstallEntry(installation.app + L"\\");
                  return Holder();
              },
              L"", 0, true, false, "uninstall-entry rewritten",
              {{L"app\\Vexa3711.extra", "new extra"},
               {L"app\\launcher-files-added.txt", "Vexa3711.older-extra\nVexa3711.extra\n"}},
              true},
             {"uninstall entry of another folder", made.good, usual,
              [](const Installation& installation, const std::wstring&) {
                  plantUninstallEntry(installation.data);
                  return Holder();
              },
              L"", 0, true, false, "uninstall-entry left: another folder's"},
             // Its builds are reached through the link: none of them goes.
             {"running from a linked cache", made.good, usual, nothing, L"", 0, true, false,
              "uninstall-entry left: there is none", {}, false, L"X:\\links\\linked-updater-cache\\launcher-updates"},
             {"unknown option", made.good, with({L"--force"}), nothing,
              L"The updater was given an unknown option.\n\nStart the update from the Vexa 3711 launcher.", 2, false,
              false, "command-line failed"},
             {"launcher never closes", made.good, {L"--directory", L"APP", L"--wait-pid", L"HOLDER", L"--restart"},
              [](const Installation& installation, const std::wstring&) {
                  std::wstring launcher = joinPath(installation.app, L"Vexa3711.exe"), held = joinPath(installation.data, L"held");
                  fs::copy_file(binPath(L"launcher_test_helper.exe"), launcher, fs::copy_options::overwrite_existing);
                  auto running = std::make_unique<RunningProcess>(launcher, std::vector<std::wstring>{L"-", L"hold-file", held, L"all"});
                  waitUntil([&] { return fileExists(held); });
                  return running;
              },
              L"Vexa 3711 did not close within 30 seconds. Close it and try again." + unchanged, 4, false, false,
              "wait-for-launcher failed"},
             {"its id now another program's", made.good, {L"--directory", L"APP", L"--wait-pid", L"HOLDER"},
              [](const Installation& installation, const std::wstring&) {
                  return startHelper({L"hold-file", joinPath(installation.data, L"held"), L"all"});
              },
              L"", 0, true, false, "uninstall-entry left: there is none"}}) {
        TempFolder root;
        Installation installation = stageInstallation(root.path());
        RegDeleteTreeW(HKEY_CURRENT_USER, uninstallKey);
        // A successful update leaves only its own build in the cache; other files stay.
        const std::wstring ownCache = joinPath(installation.data, L"launcher-updates"),
                           cache = run.cache.empty() ? ownCache : run.cache,
                           cached = joinPath(cache, L"Relicade-Vexa3711-Mods-test.exe"),
                           olderName = L"data\\launcher-updates\\Relicade-Vexa3711-Mods-" + std::wstring(64, L'0') + L".exe",
                           older = joinPath(cache, olderName.substr(olderName.rfind(L'\\') + 1));
        fs::create_directory(ownCache);
        writeFile(older, "older build");
        fs::copy_file(run.package, cached, fs::copy_options::overwrite_existing);
        fs::copy_file(binPath(L"planted_library.dll"), joinPath(cache, L"bcrypt.dll"), fs::copy_options::overwrite_existing);
        Holder holder = run.prepare(installation, cache);
        const std::string entryBefore = uninstallEntry();
        std::map<std::wstring, std::string> expected = folderContents(root.path());
        const std::map<std::wstring, std::string> outsideBefore =
            run.outside.empty() ? std::map<std::wstring, std::string>{} : folderContents(run.outside);
        expected.erase(L"data\\launcher-updates\\Relicade-Vexa3711-Mods-test.exe");
        if (run.replaced) expected[L"app\\Vexa3711.exe"] = readFile(binPath(L"launcher_test_helper.exe"));
        if (run.replaced) expected.erase(olderName);
        for (const auto& [path, bytes] : run.written) expected[path] = bytes;

        std::vector<std::wstring> arguments;
        for (std::wstring argument : run.arguments) {
            for (const auto& [name, value] :
                 {std::pair{L"APP", installation.app}, {L"ROOT", root.path()},
                  {L"ENDED", std::to_wstring(GetProcessId(endedLauncher.handle()))},
                  {L"HOLDER", holder ? std::to_wstring(GetProcessId(holder->handle())) : L""}})
                if (auto at = argument.find(name); at != std::wstring::npos) argument.replace(at, wcslen(name), value);
            arguments.push_back(argument);
        }
        RunningProcess updater(cached, arguments);
        if (!run.message.empty()) EXPECT_EQ(answerMessageBox(L"Vexa 3711 Updater", IDOK, 45000), run.message) << run.what;
        EXPECT_EQ(updater.waitForExit(), run.exitCode) << run.what;
        holder.reset();

        const std::wstring record = joinPath(installation.app, L"restarted.txt");
        // A restarted launcher shows within moments, after the updater has ended: none may come unasked.
        EXPECT_EQ(waitUntil([&] { return fileExists(record); }, run.restarted ? 10000 : run.replaced ? 3000 : 0),
                  run.restarted) << run.what;
        if (run.restarted) {
            EXPECT_EQ(readWideFile(record), installation.app + L"|0") << run.what;
            fs::remove(record);
        }
        std::map<std::wstring, std::string> after = folderContents(root.path());
        const std::wstring logPath = joinPath(cache, L"updater.log");
        std::string log = fileExists(logPath) && !fs::is_directory(logPath) ? readFile(logPath) : "";
        after.erase(L"data\\launcher-updates\\Relicade-Vexa3711-Mods-test.exe");
        after.erase(L"data\\launcher-updates\\updater.log");
        EXPECT_TRUE(after == expected) << run.what << ": the installation or player data changed unexpectedly";
        if (!run.outside.empty()) {
            EXPECT_TRUE(folderContents(run.outside) == outsideBefore) << run.what << ": " << wideToUtf8(run.outside) << " changed";
            fs::remove(joinPath(run.outside, L"app\\Vexa3711-update.journal"));
        }
        if (!run.cache.empty()) {
            EXPECT_TRUE(fileExists(older)) << run.what << ": a build beyond the link was removed";
            for (const std::wstring& path : {cached, older, joinPath(cache, L"bcrypt.dll"), logPath}) fs::remove(path);
        }
        std::uint64_t appBytes = 0;
        for (const auto& [path, bytes] : after)
            if (path.starts_with(L"app\\")) appBytes += bytes.size();
        EXPECT_EQ(uninstallEntry(), run.entryRewritten ? std::string(VEXA_TEST_LAUNCHER_VERSION) + "|" +
                                                             std::to_string((appBytes + 1023) / 1024)
                                                       : entryBefore) << run.what;
        RegDeleteTreeW(HKEY_CURRENT_USER, uninstallKey);
        if (run.lastLogLine) {
            std::size_t lastLine = log.rfind('\n', log.size() - 2) + 1;
            EXPECT_NE(log.find(std::string(" ") + run.lastLogLine, lastLine), std::string::npos) << run.what << "\n" << log;
        }
    }
}
