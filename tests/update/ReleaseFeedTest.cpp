#include "integrity/MessageError.h"
#include "support/TestSupport.h"
#include "update/ReleaseFeed.h"
#include "update/UpdateHost.h"

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

constexpr const char* identity = "Launcher update identity, size or SHA-256 is invalid.";
constexpr const char* unsupportedFeed = "Unsupported launcher update feed.";
constexpr const char* editions = "Launcher update does not cover the four supported editions.";
constexpr const char* syntax = "Unsupported release version";
constexpr const char* notSigned = "Launcher update is not signed by the publisher.";
constexpr const char* outOfDate = "The update server's release list is out of date. Try again later.";
// Well-formed, 64 bytes, s of 0: the stand-in publisher below accepts it.
const std::string signature = std::string(86, 'A') + "==";
// r of 0, then s of n/2 rounded down, the highest accepted, and one above it (n the P-256 group order).
const std::string highestLowS = std::string(42, 'A') + "B/////gAAAAH//////////3nN9VtOLz0J53OVhfjGSqA==";
const std::string lowestHighS = std::string(42, 'A') + "B/////gAAAAH//////////3nN9VtOLz0J53OVhfjGSqQ==";
// Well-formed too, but not the publisher's.
const std::string forged = "AQ" + std::string(84, 'A') + "==";
// The player's clock in every row.
const auto now = std::chrono::sys_days(std::chrono::year(2026) / 5 / 1);

json feedFor(const std::string& version) {
    json feed = releaseFeedFor(version, std::string(64, 'a'), 1000);
    feed["notes"] = "n";
    feed["expires"] = "2026-06-30T00:00:00Z";
    feed["signature"] = signature;
    return feed;
}

// The release's version, "nothing newer", or the failure (JSON errors cut to their id).
std::string judged(const json& feed) {
    auto publisher = [](const UpdateRelease& release) {
        if (release.signature[0] != 0) throw MessageError(notSigned);
    };
    return libraryErrorId(outcomeOf([&] {
        UpdateRelease release = readReleaseFeed(feed, now, publisher);
        return release.version.empty() ? "nothing newer" : release.version + " " + release.url.substr(release.url.rfind('/'));
    }));
}

} // namespace

TEST(ReleaseFeed, VersionsDecideWhatIsOffered) {
    struct Case { std::string version; std::string outcome; };
    for (const Case& c : std::vector<Case>{
             // Syntax in full is the fuzz target's: three components of 1 to 5 digits.
             {VEXA_TEST_LAUNCHER_VERSION, "nothing newer"}, {"0.2.99", "nothing newer"}, {"0.3.3", "nothing newer"},
             {"0.3.5", "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"1.0.0", "1.0.0 /Relicade-Vexa3711-Mods-v1.0.0-Update.exe"},
             {"00.003.00005", "00.003.00005 /Relicade-Vexa3711-Mods-v00.003.00005-Update.exe"},
             {"v0.3.5", "Unsupported launcher patch version."}, {"", "Unsupported launcher patch version."},
             {"1.2", syntax}, {"1.2.100000", syntax}}) {
        EXPECT_EQ(judged(feedFor(c.version)), c.outcome) << c.version;
    }
}

TEST(ReleaseFeed, EveryRuleInItsOrder) {
    const std::string newer = "0.3.5";
    auto with = [&](std::function<void(json&)> change) {
        json feed = feedFor(newer);
        change(feed);
        return feed;
    };
    const std::string host(updateHostText);
    struct Case { const char* what; json feed; std::string outcome; };
    for (const Case& c : std::vector<Case>{
             {"not an object", json::array({feedFor(newer)}), unsupportedFeed},
             {"no schema", with([](json& f) { f.erase("schema"); }), unsupportedFeed},
             {"schema 2, nothing else valid", json{{"schema", 2}, {"version", 7}}, unsupportedFeed},
             {"schema true counts as 1", with([](json& f) { f["schema"] = true; }), "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"schema 1.5 counts as 1", with([](json& f) { f["schema"] = 1.5; }), "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"schema as text", with([](json& f) { f["schema"] = "1"; }), "[json.exception.type_error.302]"},
             {"no product", with([](json& f) { f.erase("product"); }), unsupportedFeed},
             {"other platform", with([](json& f) { f["platform"] = "windows-x86"; }), unsupportedFeed},
             {"no version", with([](json& f) { f.erase("version"); }), "[json.exception.out_of_range.403]"},
             {"profiles reordered", with([](json& f) { std::swap(f["profiles"][0], f["profiles"][1]); }), editions},
             {"five profiles", with([](json& f) { f["profiles"].push_back("original-native"); }), editions},
             {"upper-case sha256", with([](json& f) { f["sha256"] = std::string(64, 'A'); }), identity},
             {"bytes 0", with([](json& f) { f["bytes"] = 0; }), identity},
             {"bytes 67108865", with([](json& f) { f["bytes"] = 67108865; }), identity},
             {"bytes beyond the signed range", with([](json& f) { f["bytes"] = 18446744073709551615u; }), identity},
             {"bytes 67108864", with([](json& f) { f["bytes"] = 67108864; }), "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"bytes true", with([](json& f) { f["bytes"] = true; }), "[json.exception.type_error.302]"},
             {"bytes as a real number, cut toward zero", with([](json& f) { f["bytes"] = 1000.9; }), "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"bytes beyond every integer", with([](json& f) { f["bytes"] = 1e30; }), identity},
             {"url on another host", with([&](json& f) { f["url"] = "https://other.example/assets/game-mods/Relicade-Vexa3711-Mods-v0.3.5-Update.exe"; }), identity},
             {"url in other case", with([&](json& f) { f["url"] = "https://" + host + "/assets/game-mods/relicade-vexa3711-mods-v0.3.5-update.exe"; }), identity},
             {"notes of the wrong type, newer", with([](json& f) { f["notes"] = 5; }), "[json.exception.type_error.302]"},
             {"notes of the wrong type, not newer", [&] { json f = feedFor(VEXA_TEST_LAUNCHER_VERSION); f["notes"] = 5; return f; }(), "nothing newer"},
             {"no signature, newer", with([](json& f) { f.erase("signature"); }), notSigned},
             // Signed whatever the version: nothing newer is the publisher's word too.
             {"no signature, the running version", [&] { json f = feedFor(VEXA_TEST_LAUNCHER_VERSION); f.erase("signature"); return f; }(), notSigned},
             {"no signature, older", [&] { json f = feedFor("0.3.3"); f.erase("signature"); return f; }(), notSigned},
             {"not the publisher's, the running version", [&] { json f = feedFor(VEXA_TEST_LAUNCHER_VERSION); f["signature"] = forged; return f; }(), notSigned},
             {"not the publisher's, newer", with([](json& f) { f["signature"] = forged; }), notSigned},
             {"s at half the group order", with([](json& f) { f["signature"] = highestLowS; }), "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"s above half the group order", with([](json& f) { f["signature"] = lowestHighS; }), notSigned},
             // The expiry is signed: without it there is nothing to verify.
             {"no expiry, newer", with([](json& f) { f.erase("expires"); }), notSigned},
             {"no expiry, the running version", [&] { json f = feedFor(VEXA_TEST_LAUNCHER_VERSION); f.erase("expires"); return f; }(), notSigned},
             {"expiry as a number", with([](json& f) { f["expires"] = 1782777600; }), notSigned},
             {"expiry without its Z", with([](json& f) { f["expires"] = "2026-06-30T00:00:00"; }), notSigned},
             {"expiry with an offset", with([](json& f) { f["expires"] = "2026-06-30T00:00:00+00:00"; }), notSigned},
             {"expiry with fractions", with([](json& f) { f["expires"] = "2026-06-30T00:00:00.0Z"; }), notSigned},
             {"expiry in lower case", with([](json& f) { f["expires"] = "2026-06-30t00:00:00z"; }), notSigned},
             {"expiry with a blank for its T", with([](json& f) { f["expires"] = "2026-06-30 00:00:00Z"; }), notSigned},
             {"expiry with a signed year", with([](json& f) { f["expires"] = "+026-06-30T00:00:00Z"; }), notSigned},
             {"expiry on 30 February", with([](json& f) { f["expires"] = "2028-02-30T00:00:00Z"; }), notSigned},
             {"expiry on 29 February of a common year", with([](json& f) { f["expires"] = "2027-02-29T00:00:00Z"; }), notSigned},
             {"expiry on 29 February of a leap year", with([](json& f) { f["expires"] = "2028-02-29T00:00:00Z"; }), "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"expiry in month 13", with([](json& f) { f["expires"] = "2026-13-01T00:00:00Z"; }), notSigned},
             {"expiry at hour 24", with([](json& f) { f["expires"] = "2026-06-30T24:00:00Z"; }), notSigned},
             {"expiry at second 60", with([](json& f) { f["expires"] = "2026-06-30T23:59:60Z"; }), notSigned},
             // Expired at or before the player's clock, whatever the version.
             {"expired a second ago", with([](json& f) { f["expires"] = "2026-04-30T23:59:59Z"; }), outOfDate},
             {"expiring now", with([](json& f) { f["expires"] = "2026-05-01T00:00:00Z"; }), outOfDate},
             {"expiring in a second", with([](json& f) { f["expires"] = "2026-05-01T00:00:01Z"; }), "0.3.5 /Relicade-Vexa3711-Mods-v0.3.5-Update.exe"},
             {"expired, the running version", [&] { json f = feedFor(VEXA_TEST_LAUNCHER_VERSION); f["expires"] = "2026-01-01T00:00:00Z"; return f; }(), outOfDate},
             {"expired and unsigned", with([](json& f) { f["expires"] = "2026-01-01T00:00:00Z"; f.erase("signature"); }), notSigned},
             {"signature as a number", with([](json& f) { f["signature"] = 5; }), notSigned},
             {"signature of 63 bytes", with([](json& f) { f["signature"] = std::string(84, 'A'); }), notSigned},
             {"signature of 65 bytes", with([](json& f) { f["signature"] = std::string(87, 'A') + "="; }), notSigned},
             {"signature without its padding", with([](json& f) { f["signature"] = std::string(86, 'A'); }), notSigned},
             {"signature in the URL alphabet", with([](json& f) { f["signature"] = "-" + signature.substr(1); }), notSigned},
             {"signature with a line break", with([](json& f) { f["signature"] = signature.substr(0, 76) + "\n" + signature.substr(76); }), notSigned},
             {"signature with bits past its last byte", with([](json& f) { f["signature"] = std::string(85, 'A') + "B=="; }), notSigned}}) {
        EXPECT_EQ(judged(c.feed), c.outcome) << c.what;
    }
}
