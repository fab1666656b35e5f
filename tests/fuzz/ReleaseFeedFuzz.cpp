// The release feed: the input read as the feed's JSON, and as a version text.
// An offered release is strictly newer, names the one place, size and digest
// the download is held to, carries a signature of 64 bytes that was put to
// the publisher's check, and has not expired; version syntax is checked
// against a regular expression.
#include "FuzzSupport.h"
#include "update/ReleaseFeed.h"

#include <nlohmann/json.hpp>

#include <regex>

using namespace vexa;

namespace {

void judgeFeed(std::string_view text) {
    nlohmann::json feed = nlohmann::json::parse(text, nullptr, false);
    if (feed.is_discarded()) return;
    // The publisher signed every feed; the player's clock reads 2026-05-01T00:00:00Z.
    const auto now = std::chrono::sys_days(std::chrono::year(2026) / 5 / 1);
    bool verified = false;
    auto publisher = [&](const UpdateRelease& offered) {
        fuzz::check(offered.signature.size() == 64 && parseExpiry(offered.expires).has_value(),
                    "only a well-formed signature and expiry are verified");
        verified = true;
    };
    UpdateRelease release;
    if (fuzz::refusalOf<nlohmann::json::exception>([&] { release = readReleaseFeed(feed, now, publisher); })) return;
    fuzz::check(verified, "every feed judged is verified");
    if (release.version.empty()) {
        fuzz::check(release.url.empty() && release.sha256.empty() && release.notes.empty() && release.bytes == 0 &&
                        release.expires.empty() && release.signature.empty(),
                    "nothing newer offers nothing");
        return;
    }
    fuzz::check(parseReleaseVersion(release.version) > launcherVersion, "an offer is strictly newer");
    fuzz::check(release.url == downloadUrlOf(release.version), "served from the one place");
    fuzz::check(release.sha256.find_first_not_of("0123456789abcdef") == std::string::npos &&
                    release.sha256.size() == 64,
                "a lowercase SHA-256");
    fuzz::check(release.bytes >= 1 && release.bytes <= 64 * 1024 * 1024, "a size within the limit");
    fuzz::check(release.signature.size() == 64, "a signature of r and s");
    fuzz::check(*parseExpiry(release.expires) > now, "not expired");
}

void judgeVersion(const std::string& text) {
    static const std::regex syntax("([0-9]{1,5})\\.([0-9]{1,5})\\.([0-9]{1,5})");
    std::smatch digits;
    bool valid = std::regex_match(text, digits, syntax);
    ReleaseVersion version;
    std::optional<std::string> refusal = fuzz::refusalOf([&] { version = parseReleaseVersion(text); });
    fuzz::check(refusal.has_value() != valid, "three components of 1 to 5 digits");
    if (refusal) {
        fuzz::check(*refusal == "Unsupported release version", "the version sentence");
        return;
    }
    fuzz::check(version == ReleaseVersion{static_cast<std::uint32_t>(std::stoul(digits[1])),
                                          static_cast<std::uint32_t>(std::stoul(digits[2])),
                                          static_cast<std::uint32_t>(std::stoul(digits[3]))},
                "the components' values");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    judgeFeed(text);
    judgeVersion(text);
    return 0;
}
