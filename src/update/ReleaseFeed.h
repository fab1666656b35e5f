#pragma once
// The release feed (latest.json): what the publisher announces, judged by
// strict rules. Only a strictly newer, well-formed release is offered.
#include <nlohmann/json_fwd.hpp>

#include <cstdint>
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
    // The publisher's ECDSA P-256 signature of releaseStatement (r and s, 32
    // bytes each), still to be verified against the built-in key.
    std::vector<unsigned char> signature;
};

// Three dot-separated components of 1 to 5 ASCII digits each; anything else
// raises "Unsupported release version".
ReleaseVersion parseReleaseVersion(std::string_view text);

// The feed judged in order; JSON library errors (wrong key types, a missing
// required key) travel unchanged. A newer release without a well-formed
// signature (standard base64 of 64 bytes) is "Launcher update is not signed
// by the publisher."; its verification is requirePublisherSignature's.
UpdateRelease readReleaseFeed(const nlohmann::json& feed);

// What the publisher signs for a release: six lines, each ended by a line
// feed: product, platform, version, url, sha256 and bytes in decimal.
std::string releaseStatement(const UpdateRelease& release);

// Where the build of a version must be served: nothing else is accepted.
std::string downloadUrlOf(std::string_view version);

} // namespace vexa
