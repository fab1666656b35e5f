#include "updater/PayloadTable.h"

#include "integrity/Digest.h"
#include "integrity/InstallationTable.h"
#include "integrity/MessageError.h"
#include "integrity/TextConversion.h"

#include <algorithm>
#include <set>

namespace vexa {
namespace {

constexpr std::size_t maxFiles = 64;
constexpr std::size_t maxFileBytes = 256u << 20;
constexpr std::size_t maxPathBytes = 200;

[[noreturn]] void damaged(const char* reason) {
    throw MessageError(std::string("The update package is damaged: ") + reason + ".");
}

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& unit : lower)
        if (unit >= 'A' && unit <= 'Z') unit = static_cast<char>(unit - 'A' + 'a');
    return lower;
}

bool isDeviceName(std::string_view element) {
    std::string stem = lowerAscii(element.substr(0, element.find('.')));
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' &&
           stem[3] <= '9';
}

} // namespace

bool isAllowedPayloadPath(std::string_view path) {
    if (path.empty() || path.size() > maxPathBytes) return false;
    std::size_t start = 0;
    while (true) {
        std::size_t end = std::min(path.find('/', start), path.size());
        std::string_view element = path.substr(start, end - start);
        if (element.empty() || element == "." || element == ".." || element.front() == ' ' ||
            element.back() == ' ' || element.back() == '.' || isDeviceName(element))
            return false;
        for (char unit : element) {
            bool plain = (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') || (unit >= '0' && unit <= '9') ||
                         unit == '.' || unit == '_' || unit == '-' || unit == ' ' || unit == '(' || unit == ')';
            if (!plain) return false;
        }
        if (end == path.size()) return true;
        start = end + 1;
    }
}

namespace {

// Only launcher files may change: never a shipped game file, the installer's
// record of the player-data folder nor the updater's list of added files.
const std::set<std::string>& protectedPaths() {
    static const std::set<std::string> paths = [] {
        std::set<std::string> lower{"player-data-location.txt", "launcher-files-added.txt"};
        for (const InstallationRow& row : installationTable()) lower.insert(lowerAscii(wideToUtf8(row.relativePath)));
        return lower;
    }();
    return paths;
}

bool isLowerHex(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char unit) {
               return (unit >= '0' && unit <= '9') || (unit >= 'a' && unit <= 'f');
           });
}

bool parseSize(std::string_view text, std::size_t& size) {
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0')) return false;
    size = 0;
    for (char unit : text) {
        if (unit < '0' || unit > '9') return false;
        size = size * 10 + static_cast<std::size_t>(unit - '0');
    }
    return size <= maxFileBytes;
}

} // namespace

bool isLauncherFilePath(std::string_view path) {
    return isAllowedPayloadPath(path) && !protectedPaths().contains(lowerAscii(path));
}

std::vector<PayloadFile> parsePayloadTable(std::string_view resource) {
    if (!resource.starts_with(payloadHeader)) damaged("its file table is unreadable");
    std::size_t at = payloadHeader.size();
    std::vector<PayloadFile> files;
    std::set<std::string> seen;
    while (true) {
        std::size_t end = resource.find('\n', at);
        if (end == std::string_view::npos) damaged("its file table is unreadable");
        std::string_view line = resource.substr(at, end - at);
        at = end + 1;
        if (line.empty()) break;
        std::size_t space = line.find(' '), secondSpace = line.find(' ', space + 1);
        PayloadFile file;
        if (files.size() == maxFiles || space == std::string_view::npos || secondSpace == std::string_view::npos ||
            !isLowerHex(line.substr(0, space)) || !parseSize(line.substr(space + 1, secondSpace - space - 1), file.size))
            damaged("its file table is unreadable");
        std::string_view path = line.substr(secondSpace + 1);
        if (!isAllowedPayloadPath(path)) damaged("a file path is not allowed");
        std::string lower = lowerAscii(path);
        if (!isLauncherFilePath(path)) damaged("it would change a file that is not the launcher's");
        if (!seen.insert(lower).second) damaged("it names a file twice");
        file.sha256 = std::string(line.substr(0, space));
        file.relativePath = utf8ToWide(path);
        std::replace(file.relativePath.begin(), file.relativePath.end(), L'/', L'\\');
        files.push_back(std::move(file));
    }
    if (!seen.contains("vexa3711.exe")) damaged("it does not carry Vexa3711.exe");
    for (PayloadFile& file : files) {
        file.offset = at;
        at += file.size;
    }
    if (at != resource.size()) damaged("its contents do not match its file table");
    return files;
}

std::vector<PayloadFile> verifyPayload(std::string_view resource) {
    std::vector<PayloadFile> files = parsePayloadTable(resource);
    for (const PayloadFile& file : files)
        if (hexDigest(resource.data() + file.offset, file.size, L"SHA256") != file.sha256)
            damaged("a file does not match its checksum");
    return files;
}

} // namespace vexa
