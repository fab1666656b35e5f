// Runs inside tools/wine-sandbox: the stand-in host serves
// X:\update-host on 127.0.0.1:443 for the update host's name, with a test CA
// that this sandbox alone trusts, and S: is a 1 MiB drive of its own.
#include "integrity/CartridgeSelection.h"
#include "integrity/Digest.h"
#include "mods/ModsSettings.h"
#include "support/TestSupport.h"
#include "update/UpdateCommand.h"
#include "update/UpdateHost.h"
#include "update/UpdateTransport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

using nlohmann::json;

namespace {

const std::wstring hostRoot = std::wstring(VEXA_TEST_DRIVE) + L"update-host";
const std::string host(updateHostText);
const std::string feedUrl = "https://" + host + "/programs/vexa3711/latest.json";

std::string base64(const std::vector<unsigned char>& bytes) {
    char text[128];
    DWORD length = sizeof text;
    if (!CryptBinaryToStringA(bytes.data(), static_cast<DWORD>(bytes.size()), CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                              text, &length))
        throw std::runtime_error("cannot write base64");
    return std::string(text, length);
}

// The other form of a signature r and s: r and n - s (n the P-256 group
// order), which verifies as well.
std::vector<unsigned char> otherForm(std::vector<unsigned char> signature) {
    static const unsigned char order[32] = {0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff,
                                            0xff, 0xff, 0xff, 0xff, 0xff, 0xbc, 0xe6, 0xfa, 0xad, 0xa7, 0x17,
                                            0x9e, 0x84, 0xf3, 0xb9, 0xca, 0xc2, 0xfc, 0x63, 0x25, 0x51};
    int borrow = 0;
    for (int at = 31; at >= 0; --at) {
        int digit = order[at] - signature[32 + at] - borrow;
        borrow = digit < 0;
        signature[32 + at] = static_cast<unsigned char>(digit + 256 * borrow);
    }
    return signature;
}

// The feed's signature of a statement, by the publisher (the build's throwaway
// release key) or by anyone else (a key of its own); in its low form as the
// publisher's tools write it, or in its high form.
std::string signatureOf(const std::string& statement, bool byPublisher = true, bool highS = false) {
    std::string key = VEXA_TEST_RELEASE_KEY;
    if (byPublisher && key.size() != 192)
        throw std::runtime_error("feeds are signed with the throwaway release key: no VEXA_RELEASE_PUBLIC_KEY");
    // Everything that can throw comes first: no handle is left open.
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
    auto* start = reinterpret_cast<unsigned char*>(&header);
    std::vector<unsigned char> blob(start, start + sizeof header);
    for (std::size_t at = 0; at < key.size(); at += 2)
        blob.push_back(static_cast<unsigned char>(std::stoi(key.substr(at, 2), nullptr, 16)));
    std::vector<unsigned char> digest = digestBytes(statement.data(), statement.size(), L"SHA256"), signature(64);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE signer = nullptr;
    ULONG length = 0;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) == 0 &&
        (byPublisher ? BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPRIVATE_BLOB, &signer, blob.data(),
                                           static_cast<ULONG>(blob.size()), 0) == 0
                     : BCryptGenerateKeyPair(algorithm, &signer, 256, 0) == 0 && BCryptFinalizeKeyPair(signer, 0) == 0))
        BCryptSignHash(signer, nullptr, digest.data(), 32, signature.data(), 64, &length, 0);
    if (signer) BCryptDestroyKey(signer);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    if (length != 64) throw std::runtime_error("cannot sign a feed");
    std::vector<unsigned char> other = otherForm(signature);
    bool low = !std::lexicographical_compare(other.begin() + 32, other.end(), signature.begin() + 32, signature.end());
    return base64(low != highS ? signature : other);
}

std::string statementOf(const json& feed) {
    return releaseStatement({feed["version"].get<std::string>(), feed["url"].get<std::string>(),
                             feed["sha256"].get<std::string>(), "", feed["bytes"].get<std::int64_t>(),
                             feed["expires"].get<std::string>()});
}

// A moment from now on this machine's clock, as a feed's expires.
std::string expiresIn(std::chrono::seconds from) {
    auto moment = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) + from;
    auto day = std::chrono::floor<std::chrono::days>(moment);
    std::chrono::year_month_day date(day);
    std::chrono::hh_mm_ss time(moment - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

class UpdateHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::error_code ignored;
        fs::remove_all(hostRoot, ignored);
        fs::create_directories(hostRoot + L"\\programs\\vexa3711");
        fs::create_directories(hostRoot + L"\\assets\\game-mods");
    }

    // The body at a URL path of the host.
    static void serve(const std::string& path, const std::string& body) { writeFile(hostRoot + utf8ToWide(path), body); }
    static void behave(const json& behaviour) { writeFile(hostRoot + L"\\host-behaviour.json", behaviour.dump()); }
    // "<path> <user agent>" of every request that reached the host.
    static std::vector<std::string> requests() {
        std::vector<std::string> lines;
        if (!fileExists(hostRoot + L"\\host-requests.log")) return lines;
        std::istringstream log(readFile(hostRoot + L"\\host-requests.log"));
        for (std::string line; std::getline(log, line);) lines.push_back(line.substr(line.find(' ') + 1));
        return lines;
    }
    // A release of the given version whose build is content.
    static std::string publish(const std::string& version, const std::string& content) {
        std::string name = "/assets/game-mods/Relicade-Vexa3711-Mods-v" + version + "-Update.exe";
        serve(name, content);
        std::string sha256 = hexDigest(content.data(), content.size(), L"SHA256");
        json feed = releaseFeedFor(version, sha256, content.size());
        feed["expires"] = expiresIn(std::chrono::days(60));
        feed["signature"] = signatureOf(statementOf(feed));
        serve("/programs/vexa3711/latest.json", feed.dump());
        return sha256;
    }
    // The published feed changed after it was signed.
    static void changeFeed(const std::function<void(json&)>& change) {
        json feed = json::parse(readFile(hostRoot + L"\\programs\\vexa3711\\latest.json"));
        change(feed);
        serve("/programs/vexa3711/latest.json", feed.dump());
    }
};

std::string fetched(const std::string& url, std::uint64_t limit) {
    TransferTime time{std::chrono::minutes(1), "out of time"};
    return outcomeOf([&] { return std::to_string(fetchUpdateResource(url, limit, time).size()) + " bytes"; });
}

} // namespace

TEST_F(UpdateHostTest, TransportAgainstTheHost) {
    serve("/programs/vexa3711/latest.json", std::string(65536, 'f'));
    serve("/empty", "");
    const std::string untrusted = "Untrusted launcher update URL.";
    const std::string feedPath = "/programs/vexa3711/latest.json";
    std::string otherCase = host;
    otherCase[0] = static_cast<char>(std::toupper(otherCase[0]));
    for (const std::string& url : {"http://" + host + feedPath, "https://" + host + ":8443" + feedPath,
                                   "https://user@" + host + feedPath, "https://user:pass@" + host + feedPath,
                                   feedUrl + "?x=1", feedUrl + "#f", "https://other.vexa3711.example" + feedPath,
                                   "https://" + otherCase + feedPath, "https://" + host + "." + feedPath, std::string("not a URL")})
        EXPECT_EQ(fetched(url, 65536), untrusted) << url;
    EXPECT_TRUE(requests().empty()) << "refused before any connection";

    EXPECT_EQ(fetched("https://" + host + ":443" + feedPath, 65536), "65536 bytes");
    EXPECT_EQ(fetched(feedUrl, 65535), "Launcher update exceeds its declared size.");
    EXPECT_EQ(fetched("https://" + host + "/empty", 10), "0 bytes");
    EXPECT_EQ(fetched("https://" + host + "/missing", 10), "Relicade update is unavailable. Try again later.");
    const std::string agent = " Relicade-VexaLauncher-Updates/1";
    EXPECT_EQ(requests(), (std::vector<std::string>{feedPath + agent, feedPath + agent, "/empty" + agent, "/missing" + agent}));

    behave({{"paths", {{feedPath, {{"status", 302}, {"location", "https://" + host + "/elsewhere"}}}}}});
    EXPECT_EQ(fetched(feedUrl, 65536), "Relicade update is unavailable. Try again later.");
    behave({{"certificate", "untrusted"}});
    EXPECT_EQ(fetched(feedUrl, 65536), "Cannot reach the Relicade update server.");
    behave({{"paths", {{feedPath, {{"stall", 20}}}}}});
    EXPECT_EQ(fetched(feedUrl, 65536), "Cannot reach the Relicade update server.") << "15 s receive bound";
    for (const std::string& line : requests()) EXPECT_EQ(line.find("/elsewhere"), std::string::npos);
}

namespace {

// The player's answers and what the boxes said.
struct ScriptedDialogs : UpdateDialogs {
    int answer = IDOK;
    std::vector<std::wstring> boxes;  // "title|flags|text"
    int messageBox(void*, const std::wstring& text, const std::wstring& title, unsigned flags) override {
        boxes.push_back(title + L"|" + std::to_wstring(flags) + L"|" + text);
        return answer;
    }
};

std::wstring stopped(const std::wstring& text) { return L"Vexa 3711 update check stopped|16|" + text; }

// Whether the owner's thread handled messages while the command ran, and
// whether the owner was disabled whenever it did.
HWND watchedOwner;
int ticks, ticksWhileEnabled;
void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    ++ticks;
    ticksWhileEnabled += IsWindowEnabled(watchedOwner) != FALSE;
}

} // namespace

TEST_F(UpdateHostTest, TheWholeCommand) {
    const std::string build = readFile(binPath(L"launcher_test_helper.exe"));  // records how it was started
    const std::wstring question =
        L"Vexa 3711 Updates|33|Launcher update 0.3.5 is available. Download, verify and apply it now?\n\nVexa will "
        L"close, update its launcher in the same folder, and restart. Your native game runtime, ROM, saves, "
        L"settings and shortcuts stay in place.";
    const std::wstring checksum = L"Update checksum mismatch or incomplete download; installation refused";
    const std::wstring notSigned = stopped(L"Launcher update is not signed by the publisher.");
    const std::wstring outOfDate = stopped(L"The update server's release list is out of date. Try again later.");
    const std::string running = VEXA_TEST_LAUNCHER_VERSION;  // a feed of it offers nothing newer
    HWND owner = CreateWindowExW(0, L"STATIC", L"hidden owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    watchedOwner = owner;
    UINT_PTR timer = SetTimer(nullptr, 0, 100, tick);
    // The host's time, short: a host that trickles ends the command in seconds.
    const UpdateTransferTimes times{std::chrono::seconds(4), std::chrono::seconds(6)};
    const std::string feedPath = "/programs/vexa3711/latest.json";
    struct Case {
        const char* what;
        std::string version;
        int answer;
        // Given the cache folder and the cached build's path, before the command runs.
        std::function<void(const std::wstring& cache, const std::wstring& cached)> prepare;
        bool result;
        std::wstring lastBox;  // "" when the question was the last
    };
    const std::string shortBy1 = "/assets/game-mods/Relicade-Vexa3711-Mods-v0.3.5-Update.exe";
    auto nothing = [](const std::wstring&, const std::wstring&) {};
    std::unique_ptr<RunningProcess> holder;
    auto cachedAs = [&](std::string content, bool old = false, bool held = false) {
        return [&, content, old, held](const std::wstring& cache, const std::wstring& cached) {
            fs::create_directories(cache);
            writeFile(cached, content);
            if (old) fs::last_write_time(cached, fs::file_time_type::clock::now() - std::chrono::hours(48));
            // Another program reads it: it cannot be removed, only read.
            if (held) holder = startHelper({L"hold-file", cached, L"reader"});
        };
    };
    // The player's Cancel once the download's progress shows megabytes done.
    std::string progressShown;
    std::chrono::steady_clock::time_point cancelled;
    std::thread player;
    auto cancelWhenShown = [&](const std::wstring&, const std::wstring&) {
        // Left alone, the download would end in about three seconds, well within its time.
        behave({{"paths", {{shortBy1, {{"drip", {16384, 0.05}}}}}}});
        player = std::thread([&] {
            HWND dialog = nullptr;
            waitUntil([&] { return (dialog = FindWindowW(nullptr, L"Vexa 3711 \u2014 Launcher update")) != nullptr; }, 20000);
            waitUntil([&] {
                wchar_t text[64] = {};
                GetDlgItemTextW(dialog, 11, text, 64);
                progressShown = wideToUtf8(text);
                return progressShown.ends_with(" MB") && !progressShown.starts_with("0.0 ");
            });
            cancelled = std::chrono::steady_clock::now();
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
    };
    auto feedChanged = [](std::function<void(json&)> change) {
        return [change](const std::wstring&, const std::wstring&) { changeFeed(change); };
    };
    // Changed and signed again by the publisher.
    auto feedResigned = [](std::function<void(json&)> change) {
        return [change](const std::wstring&, const std::wstring&) {
            changeFeed([&](json& f) {
                change(f);
                f["signature"] = signatureOf(statementOf(f));
            });
        };
    };
    for (const Case& c : std::vector<Case>{
             {"nothing newer", running, IDOK, nothing, false,
              L"Vexa 3711 Updates|64|You have the latest published launcher Mods update. Native game files, ROM "
              L"and saves are unchanged."},
             // The library's own text reaches the player with its byte that is not UTF-8 as U+FFFD.
             {"a feed that is not UTF-8", running, IDOK,
              [&](auto&, auto&) { serve("/programs/vexa3711/latest.json", "\"\xff\""); }, false,
              stopped(L"[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing "
                      L"value - invalid string: ill-formed UTF-8 byte; last read: '\"\xfffd'")},
             {"declined", "0.3.5", IDCANCEL, nothing, false, L""},
             {"accepted", "0.3.5", IDOK, nothing, true, L""},
             {"a download one byte short", "0.3.5", IDOK,
              [&](auto&, auto&) { behave({{"paths", {{shortBy1, {{"cut", build.size() - 1}}}}}}); }, false, stopped(checksum)},
             {"a cached build reused", "0.3.5", IDOK, cachedAs(build, true), true, L""},
             // A damaged one is replaced by the download, which is then locked and verified like any other.
             {"a damaged cached build", "0.3.5", IDOK, cachedAs(build.substr(1)), true, L""},
             {"a changed cached build", "0.3.5", IDOK, cachedAs("x" + build.substr(1)), true, L""},
             {"a damaged cached build that cannot be removed", "0.3.5", IDOK, cachedAs(build.substr(1), false, true), false,
              stopped(L"Cached update size mismatch.")},
             {"a changed cached build that cannot be removed", "0.3.5", IDOK, cachedAs("x" + build.substr(1), false, true),
              false, stopped(checksum)},
             // Resolved elsewhere once opened, as a folder re-pointed after the link rules: nothing starts.
             {"a cache folder that resolves elsewhere", "0.3.5", IDOK, nothing, false,
              stopped(L"Cannot lock the verified update.")},
             // No download happens, so the row counts as one without anything newer.
             {"a feed that trickles", running, IDOK,
              [&](auto&, auto&) { behave({{"paths", {{feedPath, {{"drip", {16, 1}}}}}}}); }, false,
              stopped(L"Cannot reach the Relicade update server.")},
             {"a build that trickles", "0.3.5", IDOK,
              [&](auto&, auto&) { behave({{"paths", {{shortBy1, {{"drip", {1024, 1}}}}}}}); }, false,
              stopped(L"Launcher update download interrupted.")},
             // No box, nothing stored or started, the connection closed at once.
             {"a build that trickles, cancelled", "0.3.5", IDOK, cancelWhenShown, false, L""},
             {"a folder where the cached build belongs", "0.3.5", IDOK,
              [&](const std::wstring&, const std::wstring& cached) { fs::create_directories(cached); }, false,
              stopped(L"Cannot lock the verified update.")},
             // Judged after the download; nothing is written through the link.
             {"a linked player-data folder", "0.3.5", IDOK, nothing, false, stopped(L"Linked update folders are unsupported.")},
             {"a linked cache folder", "0.3.5", IDOK, nothing, false, stopped(L"Linked update folders are unsupported.")},
             // Refused before the player is asked: nothing is downloaded or cached.
             {"an unsigned feed", "0.3.5", IDOK, feedChanged([](json& f) { f.erase("signature"); }), false, notSigned},
             {"a signature of 63 bytes", "0.3.5", IDOK,
              feedChanged([](json& f) { f["signature"] = f["signature"].get<std::string>().substr(0, 84); }), false, notSigned},
             {"a feed signed by another key", "0.3.5", IDOK,
              feedChanged([](json& f) { f["signature"] = signatureOf(statementOf(f), false); }), false, notSigned},
             {"a signature of another version's feed", "0.3.5", IDOK, feedChanged([](json& f) {
                  json other = f;
                  other["version"] = "0.3.6";
                  other["url"] = "https://" + host + "/assets/game-mods/Relicade-Vexa3711-Mods-v0.3.6-Update.exe";
                  f["signature"] = signatureOf(statementOf(other));
              }), false, notSigned},
             // Every feed is signed, whatever its version.
             {"an unsigned feed of the running version", running, IDOK, feedChanged([](json& f) { f.erase("signature"); }),
              false, notSigned},
             {"an unsigned feed of an older version", "0.3.3", IDOK, feedChanged([](json& f) { f.erase("signature"); }),
              false, notSigned},
             {"a feed of the running version signed by another key", running, IDOK,
              feedChanged([](json& f) { f["signature"] = signatureOf(statementOf(f), false); }), false, notSigned},
             {"a signature with s above half the group order", "0.3.5", IDOK,
              feedChanged([](json& f) { f["signature"] = signatureOf(statementOf(f), true, true); }), false, notSigned},
             // The expiry is signed: a host cannot move it.
             {"an expiry moved after signing", "0.3.5", IDOK,
              feedChanged([](json& f) { f["expires"] = expiresIn(std::chrono::days(365)); }), false, notSigned},
             {"a feed without expiry", "0.3.5", IDOK, feedChanged([](json& f) { f.erase("expires"); }), false, notSigned},
             {"an expired feed", "0.3.5", IDOK, feedResigned([](json& f) { f["expires"] = expiresIn(-std::chrono::minutes(1)); }),
              false, outOfDate},
             {"an expired feed of the running version", running, IDOK,
              feedResigned([](json& f) { f["expires"] = expiresIn(-std::chrono::days(1)); }), false, outOfDate},
             {"a feed expiring in a minute", "0.3.5", IDCANCEL,
              feedResigned([](json& f) { f["expires"] = expiresIn(std::chrono::minutes(1)); }), false, L""}}) {
        SetUp();
        TempFolder root;
        std::wstring app = root / L"Vexa App\\", data = root / L"Player Data";
        if (std::string(c.what) == "a linked player-data folder") data = std::wstring(VEXA_TEST_DRIVE) + L"links\\linked";
        if (std::string(c.what) == "a linked cache folder") data = std::wstring(VEXA_TEST_DRIVE) + L"links\\linked-cache";
        if (std::string(c.what) == "a cache folder that resolves elsewhere") {
            data = std::wstring(VEXA_TEST_DRIVE) + L"aliased\\Player Data";  // W:\Player Data once opened
            fs::remove_all(data);
        }
        fs::create_directories(data);
        std::wstring sha256 = utf8ToWide(publish(c.version, build));
        std::wstring cache = joinPath(data, L"launcher-updates");
        std::wstring cached = joinPath(cache, L"Relicade-Vexa3711-Mods-" + sha256 + L".exe");
        c.prepare(cache, cached);
        std::string before = fs::is_regular_file(cached) ? readFile(cached) : "";
        auto stamp = before.empty() ? fs::file_time_type() : fs::last_write_time(cached);

        ScriptedDialogs dialogs;
        dialogs.answer = c.answer;
        ticks = ticksWhileEnabled = 0;
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(runLauncherUpdate(owner, app, data, dialogs, times), c.result) << c.what;
        auto took = std::chrono::steady_clock::now() - started;
        holder.reset();
        if (player.joinable()) {
            player.join();
            EXPECT_TRUE(std::regex_match(progressShown, std::regex(R"(\d\.\d of 0\.8 MB)"))) << progressShown;
            // Stopped at once, not at the end of its time.
            EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(3)) << c.what;
            EXPECT_FALSE(fileExists(cache)) << c.what << ": nothing cached";
        }
        EXPECT_TRUE(IsWindowEnabled(owner)) << c.what;
        EXPECT_EQ(ticksWhileEnabled, 0) << c.what << ": the owner takes no input while the host is asked";
        if (std::string(c.what).ends_with("trickles")) {
            // Its time plus a second's trickle; the whole body would take minutes.
            EXPECT_LT(took, times.feed + times.build + std::chrono::seconds(3)) << c.what;
            EXPECT_GT(ticks, 0) << c.what << ": the window's thread went on";
        }
        ASSERT_FALSE(dialogs.boxes.empty()) << c.what;
        const bool asked = c.version != running && c.lastBox != notSigned && c.lastBox != outOfDate;
        if (asked) EXPECT_EQ(dialogs.boxes[0], question) << c.what;
        else EXPECT_EQ(dialogs.boxes.size(), 1u) << c.what;
        EXPECT_EQ(c.lastBox.empty() ? question : c.lastBox, dialogs.boxes.back()) << c.what;
        EXPECT_EQ(requests().size(), c.answer == IDOK && asked ? 2u : 1u) << c.what;
        if (c.answer != IDOK || !asked) EXPECT_FALSE(fileExists(cache)) << c.what << ": nothing written";
        std::string after = fs::is_regular_file(cached) ? readFile(cached) : "";
        if (c.result) EXPECT_EQ(after, build) << c.what << ": what was started is the build";
        else if (!before.empty()) EXPECT_EQ(after, before) << c.what << ": one that cannot be removed is kept";
        else EXPECT_TRUE(after.empty() || after == build) << c.what << ": nothing unverified cached";
        if (before == build) EXPECT_EQ(fs::last_write_time(cached), stamp) << c.what << ": a sound one is never rewritten";
        if (c.result) {
            std::wstring record = joinPath(cache, L"updater-started.txt");
            waitUntil([&] { return fileExists(record); });
            EXPECT_EQ(readWideFile(record), L"\"" + cached + L"\" --directory \"" + app + L"\\\" --restart --wait-pid " +
                                std::to_wstring(GetCurrentProcessId()) + L"\n" + cache) << c.what;
        } else {
            EXPECT_FALSE(fileExists(joinPath(cache, L"updater-started.txt"))) << c.what << ": nothing started";
        }
    }
    KillTimer(nullptr, timer);
    DestroyWindow(owner);
}

TEST_F(UpdateHostTest, EveryReplacedRecordSurvivesAFailedWrite) {
    const std::wstring pid = std::to_wstring(GetCurrentProcessId()), cache = L"launcher-updates\\";
    const std::string build = "the build of 0.3.5";
    const std::wstring cached = cache + L"Relicade-Vexa3711-Mods-" + utf8ToWide(publish("0.3.5", build)) + L".exe";
    struct Record {
        const char* name;
        std::wstring old, temporary, held;  // in the player-data folder; temporary is "" when it has no fixed name
        std::function<std::wstring(const std::wstring& data)> save;  // what the player is told
    };
    const std::vector<Record> records{
        {"cartridge record", L"rom-location.txt", L"rom-location-" + pid + L".tmp", L"rom-location.txt",
         [](auto& data) { return utf8ToWide(failureOf([&] { saveCartridgeLocation(data, L"X:\\new.z64"); })); }},
        // Its temporary name holds the tick count; the primitives are the cartridge record's.
        {"Mods settings", L"vexa-mods.json", L"", L"vexa-mods.json",
         [](auto& data) { return utf8ToWide(failureOf([&] { saveModsSettings(data, {true, L"X:\\Pack"}); })); }},
        // The old file is a build cached before; the held one is the build the feed names.
        {"update cache", cache + L"Relicade-Vexa3711-Mods-" + std::wstring(64, L'0') + L".exe",
         cache + L".verified-" + pid + L".exe", cached,
         [](auto& data) { ScriptedDialogs s; runLauncherUpdate(nullptr, L"X:\\app", data, s); return s.boxes.back(); }}};
    enum Way { TemporaryNameTaken, TargetHeld, DiskFull };
    const char* ways[] = {"a folder at the temporary name", "the target held", "a full disk"};
    const std::wstring unfinished = L"Cannot finish writing installation files.";
    struct Case { int record; Way way; std::wstring sentence; bool temporaryKept; };
    for (const Case& c : std::vector<Case>{
             // A failed write leaves its temporary file (named after this process, so no later
             // run meets it), a failed move removes it.
             {0, TemporaryNameTaken, L"Cannot create a new installation file. Existing files are preserved.", false},
             {0, TargetHeld, L"Cannot save the selected ROM location.", false},
             {0, DiskFull, unfinished, true},
             {1, TargetHeld, L"Cannot save Mods settings; previous choices were retained.", false},
             {1, DiskFull, unfinished, true},
             // The cache removes it after any failure; a cached build is never rewritten, only locked.
             {2, TemporaryNameTaken, stopped(L"Cannot create update cache file."), false},
             {2, TargetHeld, stopped(L"Cannot lock the verified update."), false},
             {2, DiskFull, stopped(L"Cannot finish update cache file."), false}}) {
        const Record& r = records[c.record];
        const std::string row = r.name + std::string(", ") + ways[c.way];
        const std::wstring data = L"S:\\Player Data";  // the sandbox's 1 MiB drive
        fs::remove_all(data);
        fs::remove(L"S:\\filler");
        fs::create_directories(fs::path(joinPath(data, r.old)).parent_path());
        writeFile(joinPath(data, r.old), "old");
        if (c.way == TargetHeld && !fileExists(joinPath(data, r.held))) writeFile(joinPath(data, r.held), build);
        auto holder = c.way == TargetHeld ? startHelper({L"hold-file", joinPath(data, r.held), L"read"}) : nullptr;
        if (c.way == DiskFull) {
            std::ofstream filler(fs::path(L"S:\\filler"), std::ios::binary);
            int pages = 0;
            while (pages++ < 1024 && filler.write(std::string(4096, 'f').data(), 4096).flush()) {}
            ASSERT_LT(pages, 1024) << "S: is not the sandbox's small drive";
        }
        if (c.way == TemporaryNameTaken) fs::create_directory(joinPath(data, r.temporary));
        auto before = folderContents(data);

        EXPECT_EQ(r.save(data), c.sentence) << row;
        holder.reset();
        auto after = folderContents(data);
        const std::wstring temporary = r.temporary.empty() ? L"mods-settings-" : r.temporary;
        auto isTemporary = [&](auto& file) { return !before.count(file.first) && file.first.starts_with(temporary); };
        EXPECT_EQ(std::erase_if(after, isTemporary), c.temporaryKept ? 1u : 0u) << row << ": the temporary file";
        EXPECT_EQ(after, before) << row << ": the old file unchanged, nothing else written";
    }
}

TEST(UpdateCache, TwoLaunchersStoringOneBuildCarryOnWithTheFirstStored) {
    TempFolder root;
    const std::wstring cache = root / L"launcher-updates", cached = joinPath(cache, L"Relicade-Vexa3711-Mods-b.exe");
    fs::create_directories(cache);
    writeFile(cached, "stored first");  // by the other launcher, after this one found no build there
    EXPECT_EQ(failureOf([&] { storeDownload(cache, cached, ByteBuffer{'b'}); }), "(no failure)");
    EXPECT_EQ(readFile(cached), "stored first");
    EXPECT_EQ(std::distance(fs::directory_iterator(cache), fs::directory_iterator()), 1) << "no temporary file left";
}

TEST(LockedUpdate, NobodyChangesTheVerifiedBuildWhileItIsHeld) {
    TempFolder folder;
    std::wstring path = folder / L"build.exe";
    writeFile(path, "build");
    UpdateRelease release{"0.3.5", "", hexDigest("build", 5, L"SHA256"), "", 5};
    {
        LockedUpdate locked(path, release);
        EXPECT_EQ(probe(L"try-write", path), 1u);
        EXPECT_EQ(probe(L"try-delete", path), 1u);
        EXPECT_EQ(readFile(path), "build") << "readers are welcome";
    }
    EXPECT_EQ(probe(L"try-write", path), 0u);
    EXPECT_EQ(failureOf([&] { LockedUpdate(folder / L"none.exe", release); }), "Cannot lock the verified update.");
}
