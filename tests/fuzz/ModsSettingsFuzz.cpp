// Mods settings: the input read as the file's text, and the same input as
// UTF-16 units taken for a folder to write and read back.
#include "FuzzSupport.h"
#include "mods/ModsSettings.h"

#include <algorithm>
#include <nlohmann/json.hpp>

using namespace vexa;

namespace {

// What reading the written file gives back: the folder with forward slashes.
void writeThenRead(const ModsSettings& settings) {
    std::string text;
    if (fuzz::refusalOf([&] { text = formatModsSettings(settings); })) {
        fuzz::check(std::any_of(settings.folder.begin(), settings.folder.end(),
                                [](wchar_t unit) { return unit >= 0xd800 && unit <= 0xdfff; }),
                    "only a folder with a surrogate half is refused");
        return;
    }
    fuzz::check(std::count(text.begin(), text.end(), '\n') == 5 && text.back() == '\n', "the five-line file");
    ModsSettings back;
    fuzz::check(!fuzz::refusalOf<nlohmann::json::exception>([&] { back = parseModsSettings(text); }),
                "a written file reads back");
    std::wstring expected = settings.folder;
    std::replace(expected.begin(), expected.end(), L'\\', L'/');
    fuzz::check(back.enabled == settings.enabled && back.folder == expected, "write then read keeps the settings");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ModsSettings read;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!fuzz::refusalOf<nlohmann::json::exception>([&] { read = parseModsSettings(text); })) writeThenRead(read);
    writeThenRead({size % 2 == 1, fuzz::wideUnits(data, size)});
    return 0;
}
