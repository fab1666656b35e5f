#include "update/ReleaseFeed.h"

#include "integrity/MessageError.h"
#include "update/UpdateHost.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <limits>

namespace vexa {
namespace {

constexpr std::int64_t maxUpdateBytes = 67108864;

bool isLowercaseHex(const std::string& text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// The library's conversion to a whole number: integers as they are, real
// numbers cut toward zero (and, for the 32-bit schema, true as 1). A real number
// beyond the type's range has no such value: it becomes 0, which every rule
// here refuses, instead of an undefined conversion.
template <typename Whole>
Whole wholeNumber(const nlohmann::json& value) {
    if (!value.is_number_float()) return value.get<Whole>();
    double real = value.get<double>();
    constexpr double limit = static_cast<double>(std::numeric_limits<Whole>::max()) + 1.0;  // a power of two
    return real > -limit && real < limit ? static_cast<Whole>(real) : Whole{0};
}

// Standard base64 with its padding, nothing else: no blanks, no line breaks,
// no bits set beyond the last byte. Empty when the text is not such.
std::vector<unsigned char> decodeBase64(std::string_view text) {
    auto sextet = [](char c) {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        return c == '+' ? 62 : c == '/' ? 63 : -1;
    };
    std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    if (text.size() % 4 != 0) return {};
    std::vector<unsigned char> bytes;
    std::uint32_t bits = 0;
    int held = 0;
    for (char c : text.substr(0, text.size() - padding)) {
        int value = sextet(c);
        if (value < 0) return {};
        bits = (bits << 6 | static_cast<std::uint32_t>(value)) & 0xffffff;
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<unsigned char>(bits >> held));
        }
    }
    if ((bits & ((1u << held) - 1)) != 0) return {};
    return bytes;
}

const char* notSigned = "Launcher update is not signed by the publisher.";

// Half the order n of the P-256 group, rounded down (n is odd). With (r, s)
// every (r, n - s) verifies as well; only the one with s at most this is
// accepted, so that a feed has one signature and not two.
constexpr std::array<unsigned char, 32> halfGroupOrder{
    0x7f, 0xff, 0xff, 0xff, 0x80, 0x00, 0x00, 0x00, 0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xde, 0x73, 0x7d, 0x56, 0xd3, 0x8b, 0xcf, 0x42, 0x79, 0xdc, 0xe5, 0x61, 0x7e, 0x31, 0x92, 0xa8};

// s as 32 big-endian bytes after r: comparing the bytes in order compares the numbers.
bool hasLowS(const std::vector<unsigned char>& signature) {
    return !std::lexicographical_compare(halfGroupOrder.begin(), halfGroupOrder.end(), signature.begin() + 32,
                                         signature.end());
}

// Digits only, no sign or blank: the value of text[at, at + count).
std::optional<int> digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (char c : text.substr(at, count)) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The signature and the expiry it covers, in their one accepted form each;
// anything else cannot be verified.
void readSignedParts(const nlohmann::json& feed, UpdateRelease& release) {
    auto expires = feed.find("expires");
    if (expires == feed.end() || !expires->is_string() || !parseExpiry(expires->get_ref<const std::string&>()))
        throw MessageError(notSigned);
    release.expires = expires->get<std::string>();
    auto signature = feed.find("signature");
    if (signature == feed.end() || !signature->is_string()) throw MessageError(notSigned);
    release.signature = decodeBase64(signature->get_ref<const std::string&>());
    if (release.signature.size() != 64 || !hasLowS(release.signature)) throw MessageError(notSigned);
}

} // namespace

ReleaseVersion parseReleaseVersion(std::string_view text) {
    const char* unsupported = "Unsupported release version";
    std::uint32_t components[3] = {};
    std::size_t at = 0;
    for (int index = 0; index < 3; ++index) {
        if (index > 0) {
            if (at >= text.size() || text[at] != '.') throw MessageError(unsupported);
            ++at;
        }
        std::size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 6) {
            components[index] = components[index] * 10 + static_cast<std::uint32_t>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 5) throw MessageError(unsupported);
    }
    if (at != text.size()) throw MessageError(unsupported);
    return {components[0], components[1], components[2]};
}

std::string downloadUrlOf(std::string_view version) {
    return "https://" + std::string(updateHostText) + "/assets/game-mods/Relicade-Vexa3711-Mods-v" +
           std::string(version) + "-Update.exe";
}

std::optional<std::chrono::sys_seconds> parseExpiry(std::string_view text) {
    using namespace std::chrono;
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return std::nullopt;
    auto y = digitsAt(text, 0, 4), mo = digitsAt(text, 5, 2), d = digitsAt(text, 8, 2);
    auto h = digitsAt(text, 11, 2), mi = digitsAt(text, 14, 2), sec = digitsAt(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !sec || *h > 23 || *mi > 59 || *sec > 59) return std::nullopt;
    year_month_day date{year(*y), month(static_cast<unsigned>(*mo)), day(static_cast<unsigned>(*d))};
    if (!date.ok()) return std::nullopt;
    return sys_days(date) + hours(*h) + minutes(*mi) + seconds(*sec);
}

UpdateRelease readReleaseFeed(const nlohmann::json& feed, std::chrono::sys_seconds now, const SignatureCheck& verify) {
    const char* unsupportedFeed = "Unsupported launcher update feed.";
    if (!feed.is_object()) throw MessageError(unsupportedFeed);
    // A missing schema counts as 0.
    auto schema = feed.find("schema");
    if ((schema == feed.end() ? 0 : wholeNumber<std::int32_t>(*schema)) != 1) throw MessageError(unsupportedFeed);
    if (feed.value("product", std::string()) != "vexa3711-launcher") throw MessageError(unsupportedFeed);
    if (feed.value("platform", std::string()) != "windows-x64") throw MessageError(unsupportedFeed);

    UpdateRelease release;
    release.version = feed.at("version").get<std::string>();
    if (release.version.empty() || release.version.front() == 'v')
        throw MessageError("Unsupported launcher patch version.");
    ReleaseVersion version = parseReleaseVersion(release.version);

    static const nlohmann::json editions = {"original-native", "remastered-native", "original-lus", "remastered-lus"};
    if (feed.at("profiles") != editions)
        throw MessageError("Launcher update does not cover the four supported editions.");

    release.url = feed.at("url").get<std::string>();
    release.sha256 = feed.at("sha256").get<std::string>();
    release.bytes = wholeNumber<std::int64_t>(feed.at("bytes"));
    if (release.url != downloadUrlOf(release.version) || release.sha256.size() != 64 ||
        !isLowercaseHex(release.sha256) || release.bytes < 1 || release.bytes > maxUpdateBytes)
        throw MessageError("Launcher update identity, size or SHA-256 is invalid.");

    // Signed and current before the version is believed: "nothing newer" is
    // the publisher's word too, and an expired feed offers nothing at all.
    readSignedParts(feed, release);
    verify(release);
    if (*parseExpiry(release.expires) <= now)
        throw MessageError("The update server's release list is out of date. Try again later.");
    // Equal or older: nothing newer is published, and the notes are never read.
    if (!(version > launcherVersion)) return {};
    release.notes = feed.value("notes", std::string());
    return release;
}

std::string releaseStatement(const UpdateRelease& release) {
    return "vexa3711-launcher\nwindows-x64\n" + release.version + "\n" + release.url + "\n" + release.sha256 + "\n" +
           std::to_string(release.bytes) + "\n" + release.expires + "\n";
}

} // namespace vexa
