#pragma once
// The release feed (latest.json): what the publisher announces, judged by
// strict rules. Only a strictly newer, well-formed release is offered.
#include <nlohmann/json_fwd.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

struct ReleaseVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    auto operator<=>(const ReleaseVersion&) const = default;
};

// The running launcher's own version, a constant of the build (VEXA_LAUNCHER_VERSION).
constexpr ReleaseVersion launcherVersion{VEXA_VERSION_MAJOR, VEXA_VERSION_MINOR, VEXA_VERSION_PATCH};

// An empty version means nothing newer is published.
struct UpdateRelease {
    std::string version;
    std::string url;
    std::string sha256;
    std::string notes;
    std::int64_t bytes = 0;
    // When the feed stops being valid: UTC, YYYY-MM-DDTHH:MM:SSZ, as written in the feed.
    std::string expires;
    // The publisher's ECDSA P-256 signature of releaseStatement (r and s, 32
    // bytes each, s in the lower half of the group order).
    std::vector<unsigned char> signature;
};

// Raises "Launcher update is not signed by the publisher." unless the
// release's signature verifies over its releaseStatement.
using SignatureCheck = std::function<void(const UpdateRelease&)>;

// Three dot-separated components of 1 to 5 ASCII digits each; anything else
// raises "Unsupported release version".
ReleaseVersion parseReleaseVersion(std::string_view text);

// The feed judged in order: its format, then its signature, then its expiry
// against now (the player's clock), and only then its version. Every feed is
// signed, so that neither "nothing newer" nor an old release can be served
// by anyone but the publisher, and every feed expires, so that a host cannot
// keep serving an old signed feed for ever. JSON library errors (wrong key
// types, a missing required key) travel unchanged. A feed whose signature is
// missing or malformed (standard base64 of 64 bytes, s at most n/2), or whose
// expires is missing or malformed, is "Launcher update is not signed by the
// publisher." before verify, the publisher's check, is asked; one that
// expired at or before now is "The update server's release list is out of
// date. Try again later.".
UpdateRelease readReleaseFeed(const nlohmann::json& feed, std::chrono::sys_seconds now, const SignatureCheck& verify);

// What the publisher signs for a release: seven lines, each ended by a line
// feed: product, platform, version, url, sha256, bytes in decimal and expires.
std::string releaseStatement(const UpdateRelease& release);

// The moment of an expires text (UTC, YYYY-MM-DDTHH:MM:SSZ, a real date and
// time of day, no leap second); nothing for any other text.
std::optional<std::chrono::sys_seconds> parseExpiry(std::string_view text);

// Where the build of a version must be served: nothing else is accepted.
std::string downloadUrlOf(std::string_view version);

} // namespace vexa
