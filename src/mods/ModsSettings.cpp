#include "mods/ModsSettings.h"

#include "integrity/MessageError.h"
#include "integrity/TextConversion.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace vexa {

ModsSettings parseModsSettings(std::string_view text) {
    // Exceptions on, comments refused, nothing but white space after the value.
    nlohmann::json document = nlohmann::json::parse(text, nullptr, true, false);
    // The library's number equality: 1 and 1.0 pass, "1", true and null do not.
    if (!(document.at("schema") == 1)) throw MessageError("Unsupported Mods settings version.");
    ModsSettings settings;
    settings.enabled = document.at("enabled").get<bool>();
    settings.folder = utf8ToWide(document.at("folder").get<std::string>());
    return settings;
}

std::string formatModsSettings(const ModsSettings& settings) {
    std::string folder = wideToUtf8(settings.folder);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    nlohmann::json document{{"schema", 1}, {"enabled", settings.enabled}, {"folder", folder}};
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::strict) + '\n';
}

} // namespace vexa
